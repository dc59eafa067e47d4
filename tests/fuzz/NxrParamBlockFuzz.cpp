// The parameter block reader on arbitrary bytes: never reads past the end,
// and what it accepts encodes back to exactly the same bytes.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nxr/NxrParamBlock.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string error;
    const auto block = quillpad::CNxrParamBlock::Decode(bytes, &error);
    if (block) {
        if (block->Encode() != bytes) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort();  // a rejection always says why
    }
    return 0;
}
