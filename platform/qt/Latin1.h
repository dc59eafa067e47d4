#pragma once
// Bytes in Qt's text: one byte is one character (Latin-1), never decoded as
// UTF-8, so device data of any bytes survives the round trip. File names are
// the file system's and go through FileName.h instead.

#include <QString>

#include <string_view>

#include "platform/Bytes.h"

namespace quillpad {

inline QString BytesToQString(std::string_view bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// A character beyond Latin-1 (typed or pasted) becomes '?'.
inline ByteString QStringToBytes(const QString& text) {
    ByteString bytes;
    bytes.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text) {
        bytes.push_back(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : '?');
    }
    return bytes;
}

}  // namespace quillpad
