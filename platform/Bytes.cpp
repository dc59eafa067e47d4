#include "platform/Bytes.h"

namespace quillpad {

WideString BytesToWide(std::string_view bytes) {
    WideString wide(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        wide[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]));
    }
    return wide;
}

ByteString WideToBytes(std::u16string_view wide) {
    ByteString bytes(wide.size(), '\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const char16_t c = wide[i];
        bytes[i] = c <= 0xFF ? static_cast<char>(static_cast<unsigned char>(c)) : '?';
    }
    return bytes;
}

}  // namespace quillpad
