// The XModem engines on arbitrary bytes from the peer. The input is cut into
// pieces at 0xA5 0x5A markers; the byte after a marker moves the clock on, so
// time-outs fire between pieces. The receiver keeps whole blocks only and
// answers with its few control bytes; the sender never claims more than the
// file, and both stop talking once they have ended.

#include <cstdint>
#include <string_view>

#include "nxr/CNxrXModemReceiver.h"
#include "nxr/CNxrXModemSender.h"
#include "tests/fuzz/FuzzCheck.h"

using namespace quillpad;
using quillpad::fuzz::Check;

namespace {

bool OnlyAnswers(const ByteString& out) {
    for (const char c : out) {
        const auto b = static_cast<unsigned char>(c);
        if (b != xmodem::ACK && b != xmodem::NAK && b != xmodem::CAN && b != xmodem::CRC_START) {
            return false;
        }
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool crc = size > 0 && (data[0] & 1);
    CNxrXModemReceiver receiver({.preferCrc = crc, .startTries = 5, .maxRetries = 4}, 0);
    CNxrXModemSender sender(ByteString(300, 'z'), {.use1K = crc, .maxRetries = 4}, 0);
    std::uint32_t now = 0;
    std::size_t kept = 0;
    std::size_t pos = 0;
    while (pos <= input.size()) {
        std::size_t cut = input.find("\xA5\x5A", pos);
        if (cut == std::string_view::npos) {
            cut = input.size();
        }
        const std::string_view piece = input.substr(pos, cut - pos);
        const bool wasRunning = receiver.State() == EXModemState::Running;
        receiver.Feed(piece, now);
        sender.Feed(piece, now);
        const ByteString out = receiver.TakeOutput();
        Check(OnlyAnswers(out));
        Check(wasRunning || out.empty());
        kept += receiver.TakeData().size();
        Check(kept % 128 == 0 && kept == receiver.BytesDone());
        Check(sender.BytesDone() <= sender.Total());
        sender.TakeOutput();
        if (cut + 2 < input.size()) {
            now += static_cast<std::uint32_t>(static_cast<unsigned char>(input[cut + 2])) * 100;
            receiver.Tick(now);
            sender.Tick(now);
            // A time-out may answer too (a NAK, or CANs as it gives up).
            Check(OnlyAnswers(receiver.TakeOutput()));
            pos = cut + 3;
        } else {
            break;
        }
    }
    return 0;
}
