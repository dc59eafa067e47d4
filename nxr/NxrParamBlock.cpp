#include "nxr/NxrParamBlock.h"

#include <cstring>

namespace quillpad {
namespace {

void PutU32(ByteString& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

bool IsKnownType(std::uint32_t type) {
    switch (type) {
        case 2:
        case 3:
        case 5:
        case 6:
        case 21:
        case 22:
            return true;
        default:
            return false;
    }
}

std::optional<CNxrParamBlock> Fail(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
    return std::nullopt;
}

}  // namespace

CNxrParamBlock& CNxrParamBlock::AddInteger(std::int32_t value) {
    ByteString slot;
    PutU32(slot, static_cast<std::uint32_t>(value));
    PutU32(slot, 0);
    m_values.push_back({ENxrParamType::Integer, std::move(slot)});
    return *this;
}

CNxrParamBlock& CNxrParamBlock::AddText(std::string_view text) {
    // A zero inside would cut the text short on the reading side.
    const auto end = text.find('\0');
    ByteString stored(text.substr(0, end));
    stored.push_back('\0');
    m_values.push_back({ENxrParamType::Text, std::move(stored)});
    return *this;
}

CNxrParamBlock& CNxrParamBlock::AddBlob(ENxrParamType type, std::string_view bytes) {
    m_values.push_back({type, ByteString(bytes)});
    return *this;
}

std::optional<std::int32_t> CNxrParamBlock::IntegerAt(std::size_t index) const {
    if (index >= m_values.size() || m_values[index].type != ENxrParamType::Integer) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(GetU32(m_values[index].bytes, 0));
}

std::optional<std::string> CNxrParamBlock::TextAt(std::size_t index) const {
    if (index >= m_values.size() || m_values[index].type != ENxrParamType::Text) {
        return std::nullopt;
    }
    const auto& bytes = m_values[index].bytes;
    return bytes.substr(0, bytes.size() - 1);
}

ByteString CNxrParamBlock::Encode() const {
    ByteString out;
    for (const auto& value : m_values) {
        PutU32(out, static_cast<std::uint32_t>(value.type));
        PutU32(out, static_cast<std::uint32_t>(value.bytes.size()));
        out += value.bytes;
    }
    PutU32(out, kNxrParamEnd);
    return out;
}

std::optional<CNxrParamBlock> CNxrParamBlock::Decode(std::string_view bytes, std::string* error) {
    CNxrParamBlock block;
    std::size_t at = 0;
    while (true) {
        if (bytes.size() - at < 4) {
            return Fail(error, "parameter block ends at byte " + std::to_string(bytes.size()) +
                                   " without its end mark");
        }
        const std::uint32_t type = GetU32(bytes, at);
        if (type == kNxrParamEnd) {
            at += 4;
            break;
        }
        if (!IsKnownType(type)) {
            return Fail(error, "unknown value type " + std::to_string(type) + " at byte " +
                                   std::to_string(at) + " of the parameter block");
        }
        if (bytes.size() - at < 8) {
            return Fail(error, "parameter block ends inside the head of the value at byte " +
                                   std::to_string(at));
        }
        const std::uint32_t length = GetU32(bytes, at + 4);
        const std::size_t dataAt = at + 8;
        if (length > bytes.size() - dataAt) {
            return Fail(error, "value at byte " + std::to_string(at) + " claims " +
                                   std::to_string(length) + " bytes but only " +
                                   std::to_string(bytes.size() - dataAt) + " remain");
        }
        std::string_view data = bytes.substr(dataAt, length);
        if (type == static_cast<std::uint32_t>(ENxrParamType::Integer) && length != 8) {
            return Fail(error, "integer value at byte " + std::to_string(at) + " has length " +
                                   std::to_string(length) + " instead of 8");
        }
        if (type == static_cast<std::uint32_t>(ENxrParamType::Text) &&
            (length == 0 || data.find('\0') != length - 1)) {
            return Fail(error, "text value at byte " + std::to_string(at) +
                                   " is not a single zero-terminated text");
        }
        block.m_values.push_back({static_cast<ENxrParamType>(type), ByteString(data)});
        at = dataAt + length;
    }
    if (at != bytes.size()) {
        return Fail(error, std::to_string(bytes.size() - at) +
                               " stray bytes after the end mark of the parameter block");
    }
    return block;
}

ByteString NxrEmptyParamBlock() {
    return CNxrParamBlock().Encode();
}

}  // namespace quillpad
