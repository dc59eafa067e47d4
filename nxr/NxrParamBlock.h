#pragma once
// The parameter block that travels with session requests: a list of typed
// values, each a 32-bit type, a 32-bit length and that many bytes, all
// little-endian, closed by the 32-bit value 255.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"

namespace quillpad {

enum class ENxrParamType : std::uint32_t {
    Integer = 2,  // 32-bit value in an 8-byte slot
    Text = 3,     // characters and their terminating zero
    Blob5 = 5,
    Blob6 = 6,
    Blob21 = 21,
    Blob22 = 22,
};

inline constexpr std::uint32_t kNxrParamEnd = 255;

struct SNxrParamValue {
    ENxrParamType type = ENxrParamType::Blob5;
    ByteString bytes;  // the stored bytes, exactly as in the block

    bool operator==(const SNxrParamValue&) const = default;
};

class CNxrParamBlock {
  public:
    CNxrParamBlock& AddInteger(std::int32_t value);
    // The text must not hold a zero byte: the block stores it zero-terminated.
    CNxrParamBlock& AddText(std::string_view text);
    CNxrParamBlock& AddBlob(ENxrParamType type, std::string_view bytes);

    const std::vector<SNxrParamValue>& Values() const { return m_values; }
    std::size_t Size() const { return m_values.size(); }

    // The value at `index` read as the given kind; nullopt when it is absent
    // or of another type.
    std::optional<std::int32_t> IntegerAt(std::size_t index) const;
    std::optional<std::string> TextAt(std::size_t index) const;

    ByteString Encode() const;

    // Reads a whole block. A block that ends early, holds an unknown type, a
    // length that runs past its end, a malformed integer or text, or bytes
    // after the end mark is rejected with a description of the fault.
    static std::optional<CNxrParamBlock> Decode(std::string_view bytes, std::string* error);

    bool operator==(const CNxrParamBlock&) const = default;

  private:
    std::vector<SNxrParamValue> m_values;
};

// The four bytes FF 00 00 00: a block with no values.
ByteString NxrEmptyParamBlock();

}  // namespace quillpad
