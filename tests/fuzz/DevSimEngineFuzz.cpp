// The simulated controller's console on arbitrary input: it must never crash
// and never answer with unbounded output to a short input.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "devsim/CDevSimEngine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillpad::CDevSimEngine engine({}, [] { return std::int64_t{1700000000}; });
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::size_t out = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 7) {
        out += engine.Receive(bytes.substr(i, 7)).size();
        if (engine.Flooding()) {
            out += engine.TakeFlood(engine.FloodDue(5, 4096)).size();
        }
        if (bytes[i] == '\x1b') {
            out += engine.Break().size();
        }
    }
    // Bursts are capped; everything else answers in proportion to the input.
    if (out > quillpad::CDevSimEngine::kMaxBurst * (1 + size / 8) + 4096 * (size + 1)) {
        std::abort();
    }
    return 0;
}
