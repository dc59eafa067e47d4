// The ability engine on arbitrary device bytes. The first byte picks a split
// point: the answer, the data, the events and the bytes taken must not depend
// on how the link cut the bytes up, and only protocol lines may vanish.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "nxr/CNxrAbilityJob.h"

using namespace quillpad;

namespace {

struct SResult {
    std::size_t taken = 0;
    ByteString data;
    std::string answer;
    std::size_t events = 0;
    bool finished = false;
};

SResult Run(std::string_view bytes, std::size_t split) {
    CNxrAbilityJob job("DevInfo", 1000, 0);
    SResult result;
    for (const std::string_view piece : {bytes.substr(0, split), bytes.substr(split)}) {
        if (result.finished) {
            break;
        }
        result.taken += job.Feed(piece, 0);
        result.finished = job.Finished();
    }
    job.Tick(5000);
    result.data = job.TakeData();
    result.answer = job.AnswerText();
    result.events = job.TakeEvents().size();
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::size_t split = bytes.empty() ? 0 : data[0] % (bytes.size() + 1);
    const SResult whole = Run(bytes, bytes.size());
    const SResult cut = Run(bytes, split);
    if (whole.taken != cut.taken || whole.data != cut.data || whole.answer != cut.answer ||
        whole.events != cut.events) {
        std::abort();  // the result depends on how the bytes arrived
    }
    if (whole.taken > bytes.size() || whole.data.size() > whole.taken) {
        std::abort();  // only protocol lines may vanish from what was taken
    }
    return 0;
}
