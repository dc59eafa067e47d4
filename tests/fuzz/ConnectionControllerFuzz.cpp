// The console's side of the connection under any order of messages and
// session events, with payloads of the wrong kind and counts that lie: it
// never crashes, never sends past a buffer, and the console is open only
// after the device said so.

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "data/DataStore.h"
#include "nxr/NxrCodes.h"
#include "session/CConnectionController.h"
#include "tests/session/SessionDoubles.h"

namespace {

using namespace quillpad;

class CReader {
  public:
    CReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool More() const { return m_pos < m_size; }
    std::uint8_t Byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    std::string Bytes() {
        const std::size_t n = std::min<std::size_t>(Byte() % 24, m_size - m_pos);
        std::string s(reinterpret_cast<const char*>(m_data + m_pos), n);
        m_pos += n;
        return s;
    }

  private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};

constexpr std::uint32_t kCodes[] = {nxr_request::Connect,      nxr_request::OpenConsole,
                                    nxr_request::CloseConsole, nxr_request::Reconnect,
                                    nxr_request::Disconnect,   0x7777};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CReader in(data, size);
    CQueuedChannel channel;
    CManualClock clock(1, 1);
    CDataStore store(channel, clock);
    auto log = std::make_shared<std::vector<test::SSessionCall>>();
    auto shown = std::make_shared<std::vector<test::SShownBox>>();
    auto deferred =
        std::make_shared<std::vector<std::pair<std::uint32_t, std::function<void()>>>>();
    test::CFakeSession* session = nullptr;
    SSessionServices services;
    services.factory = [&] {
        auto fake = std::make_unique<test::CFakeSession>(log);
        session = fake.get();
        return SSessionCreation{std::move(fake), {}};
    };
    services.ui = std::make_unique<test::CRecordingUi>(shown);
    services.deferred = std::make_unique<test::CManualDeferredCalls>(deferred);
    auto controller = std::make_unique<CConnectionController>(channel, std::move(services));
    controller->SetDataStore(&store);
    bool deviceOpened = false;

    while (in.More()) {
        const std::uint8_t op = in.Byte();
        const MessageHandle target = controller->Handle();
        switch (op % 16) {
            case 0:
                channel.Post(target, UM_CONNECT, 0, 0,
                             in.Byte() & 1 ? CPayload::Make(BytesToWide(in.Bytes())) : CPayload());
                break;
            case 1:
                channel.Post(target, UM_SEND_CHAR, 0, static_cast<std::int64_t>(in.Byte()) << 4);
                break;
            case 2:
                channel.Post(target, UM_SEND_TEXT, 0, 0, CPayload::Make(in.Bytes()));
                break;
            case 3: {
                const std::uint64_t count = std::uint64_t{in.Byte()} * 977;
                channel.Post(target, UM_SEND_BYTES, count, 0,
                             in.Byte() & 1 ? CPayload::Make(in.Bytes()) : CPayload::Make(42));
                break;
            }
            case 4:
                channel.Post(target, op & 0x10 ? UM_SHOW_ERROR : UM_NO_CONSOLE, 0, in.Byte());
                break;
            case 5: {
                const std::uint32_t code = kCodes[in.Byte() % 6];
                const bool success = in.Byte() & 1;
                std::optional<WideString> text;
                if (in.Byte() & 1) {
                    text = BytesToWide(in.Bytes());
                }
                controller->OnRequestCompleted(in.Byte(), code, success, 0, text);
                deviceOpened = (code == nxr_request::OpenConsole && success) ||
                               (deviceOpened && code != nxr_request::CloseConsole);
                break;
            }
            case 6:
                session->SetLink(in.Byte() % 6);
                break;
            case 7:
                controller->OnDataReceived(in.Byte(), in.Bytes());
                break;
            case 8:
                controller->OnDataTransmitted(in.Byte(), in.Bytes());
                break;
            case 9:
                controller->OnLinkUp();
                break;
            case 10:
                controller->OnConnectionParamsChanged(BytesToWide(in.Bytes()));
                break;
            case 11:
                if (!deferred->empty()) {
                    auto call = std::move(deferred->front().second);
                    deferred->erase(deferred->begin());
                    call();
                }
                break;
            case 12:
                if (in.Byte() & 1) {
                    controller->SetConnectionParameters(BytesToWide(in.Bytes()));
                } else {
                    controller->SetConnectionParameters(std::nullopt);
                }
                break;
            case 13:
                if (session != nullptr) {
                    session->openFails = in.Byte() & 1;
                    session->sendFails = in.Byte() & 1;
                    session->requestFails = in.Byte() & 1;
                }
                break;
            case 14:
                channel.DrainPending();
                // A UM_CONNECT may have closed the console meanwhile.
                deviceOpened = deviceOpened && controller->ConsoleOpen();
                break;
            default:
                if (op & 0x20) {
                    // A lost link and its wait, as the session tells them.
                    session->SetLink(static_cast<std::uint16_t>(in.Byte() % 6));
                    controller->OnLinkWaiting(in.Byte() % 6, in.Bytes());
                    if (controller->WaitingForLink() && (op & 0x40)) {
                        controller->StopWaiting();
                    }
                    break;
                }
                op & 0x10 ? controller->Reconnect() : controller->Disconnect();
                break;
        }
        if (controller->ConsoleOpen() && !deviceOpened) {
            std::abort();  // open without the device saying so
        }
    }
    channel.DrainPending();
    for (const auto& call : *log) {
        if (call.op == "Send" && call.text.size() > 23) {
            std::abort();  // more than any message carried
        }
    }
    controller.reset();
    // Deferred work left behind does nothing once the console is gone.
    for (auto& entry : *deferred) {
        entry.second();
    }
    return 0;
}
