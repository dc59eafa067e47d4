#pragma once
// File names in Qt's text: the file system's bytes, decoded and encoded as
// the file system does (UTF-8 here), never one character per byte as device
// data is (Latin1.h). A name shown, chosen in a dialog or typed goes through
// these two.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>
#include <string_view>

namespace quillpad {

inline QString FileNameToQString(std::string_view name) {
    return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

inline std::string QStringToFileName(const QString& name) {
    const QByteArray bytes = QFile::encodeName(name);
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace quillpad
