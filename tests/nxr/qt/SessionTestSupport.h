#pragma once
// A recording event sink and bounded waits for the session tests.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "nxr/INxrSessionEvents.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"

namespace quillpad::test {

// Event 5's statuses as the sink records them.
inline constexpr auto kNotConnected =
    static_cast<std::uint16_t>(ENxrConnectionStatus::NotConnected);
inline constexpr auto kConnecting = static_cast<std::uint16_t>(ENxrConnectionStatus::Connecting);
inline constexpr auto kConnected = static_cast<std::uint16_t>(ENxrConnectionStatus::Connected);
inline constexpr auto kLinkLost = static_cast<std::uint16_t>(ENxrConnectionStatus::LinkLost);

// The parameters of an XModem or ASCII transfer request: the file, and 1024
// for XModem-1K.
inline ByteString TransferParams(const std::string& path, bool use1K = false) {
    CNxrParamBlock block;
    block.AddText(path);
    if (use1K) {
        block.AddInteger(1024);
    }
    return block.Encode();
}

struct SSeenEvent {
    ENxrEventId id = ENxrEventId::LinkUp;
    std::uint32_t requestId = 0;
    std::uint32_t code = 0;
    bool success = false;
    std::uint16_t status = 0;
    std::optional<WideString> userText;
    Qt::HANDLE thread = nullptr;
};

class CRecordingSink : public INxrSessionEvents {
  public:
    std::int32_t OnRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success,
                                    std::int32_t,
                                    const std::optional<WideString>& userText) override {
        SSeenEvent e = Make(ENxrEventId::RequestCompleted, requestId, code, success);
        e.userText = userText;
        Add(e);
        if (onCompleted) {
            onCompleted(requestId, code, success);
        }
        return 0;
    }
    std::int32_t OnAbilityCompleted(std::uint32_t requestId, std::int32_t, bool success) override {
        Add(Make(ENxrEventId::AbilityCompleted, requestId, 0, success));
        return 0;
    }
    std::int32_t OnConnectionStatus(std::uint16_t status) override {
        SSeenEvent e = Make(ENxrEventId::ConnectionStatus);
        e.status = status;
        Add(e);
        statuses.push_back(status);
        return 0;
    }
    std::int32_t OnDataReceived(std::uint32_t ownerId, std::string_view data) override {
        receivedBy[ownerId] += data;
        received += data;
        ++receivedEvents;
        threads.push_back(QThread::currentThreadId());
        return 0;
    }
    std::int32_t OnDataTransmitted(std::uint32_t ownerId, std::string_view data) override {
        transmittedBy[ownerId] += data;
        transmitted += data;
        return 0;
    }
    std::int32_t OnTaskStart(std::uint32_t requestId, const WideString& title,
                             const WideString& text) override {
        tasks.push_back("start " + std::to_string(requestId) + " " + WideToBytes(title) + ": " +
                        WideToBytes(text));
        return 0;
    }
    std::int32_t OnTaskProgress(std::uint32_t requestId, std::int32_t percent, const WideString&,
                                std::int32_t) override {
        tasks.push_back("progress " + std::to_string(requestId) + " " + std::to_string(percent));
        return 0;
    }
    std::int32_t OnTaskComplete(std::uint32_t requestId, bool success) override {
        tasks.push_back("complete " + std::to_string(requestId) + (success ? " ok" : " failed"));
        return 0;
    }
    std::int32_t OnQuery(std::int32_t value, std::int32_t queryType, const WideString& prompt,
                         WideString& answer, std::int32_t) override {
        queries.push_back(std::to_string(value) + " " + std::to_string(queryType) + " " +
                          WideToBytes(prompt));
        if (!onQuery) {
            return 1;
        }
        const std::optional<std::string> reply = onQuery(WideToBytes(prompt));
        if (!reply) {
            return 1;
        }
        answer = BytesToWide(*reply);
        return 0;
    }
    std::int32_t OnLinkUp() override {
        Add(Make(ENxrEventId::LinkUp));
        ++linkUps;
        if (onLinkUp) {
            onLinkUp();
        }
        return 0;
    }

    std::int32_t OnModemLines(std::int32_t lines) override {
        modemLines.push_back(lines);
        return 0;
    }
    std::int32_t OnConnectionParamsChanged(const WideString& spec) override {
        newSpecs.push_back(WideToBytes(spec));
        return 0;
    }
    std::int32_t OnLinkWaiting(std::int32_t state, std::string_view where) override {
        waits.emplace_back(state, std::string(where));
        return 0;
    }
    std::int32_t OnShareChanged(std::int32_t port, std::int32_t clients,
                                std::string_view note) override {
        sharePort = port;
        shareClients.push_back(clients);
        if (!note.empty()) {
            shareNotes.emplace_back(note);
        }
        return 0;
    }
    // Whether OnLinkWaiting told `state` (an ENxrLinkWait).
    bool Waited(ENxrLinkWait state) const {
        for (const auto& w : waits) {
            if (w.first == static_cast<std::int32_t>(state)) {
                return true;
            }
        }
        return false;
    }

    const SSeenEvent* AbilityCompletion(std::uint32_t requestId) const {
        for (const auto& e : events) {
            if (e.id == ENxrEventId::AbilityCompleted && e.requestId == requestId) {
                return &e;
            }
        }
        return nullptr;
    }
    int AbilityCompletions() const {
        int n = 0;
        for (const auto& e : events) {
            n += e.id == ENxrEventId::AbilityCompleted ? 1 : 0;
        }
        return n;
    }
    const SSeenEvent* Completion(std::uint32_t requestId) const {
        for (const auto& e : events) {
            if (e.id == ENxrEventId::RequestCompleted && e.requestId == requestId) {
                return &e;
            }
        }
        return nullptr;
    }
    std::uint16_t LastStatus() const { return statuses.empty() ? 0 : statuses.back(); }

    std::vector<SSeenEvent> events;
    std::vector<std::uint16_t> statuses;
    std::vector<std::int32_t> modemLines;
    std::vector<std::string> newSpecs;
    std::vector<std::pair<std::int32_t, std::string>> waits;
    std::vector<Qt::HANDLE> threads;
    std::int32_t sharePort = -1;  // -1: never told
    std::vector<std::int32_t> shareClients;
    std::vector<std::string> shareNotes;
    ByteString received;
    ByteString transmitted;
    std::map<std::uint32_t, ByteString> receivedBy;
    std::map<std::uint32_t, ByteString> transmittedBy;
    std::vector<std::string> tasks;
    std::vector<std::string> queries;
    std::function<std::optional<std::string>(const std::string&)> onQuery;
    int receivedEvents = 0;
    int linkUps = 0;
    std::function<void()> onLinkUp;
    std::function<void(std::uint32_t, std::uint32_t, bool)> onCompleted;

  private:
    static SSeenEvent Make(ENxrEventId id, std::uint32_t requestId = 0, std::uint32_t code = 0,
                           bool success = false) {
        SSeenEvent e;
        e.id = id;
        e.requestId = requestId;
        e.code = code;
        e.success = success;
        return e;
    }
    void Add(SSeenEvent e) {
        e.thread = QThread::currentThreadId();
        events.push_back(std::move(e));
    }
};

// Runs the event loop until `done` holds or `ms` pass; true when it held.
inline bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::usleep(200);
    }
    return true;
}

// Holds this thread without running its event loop, as a user interface that
// is stuck, until `done` holds or `ms` pass; true when it held.
inline bool BusyUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms) {
            return false;
        }
        QThread::usleep(500);
    }
    return true;
}

inline ByteString AllByteValues(int times = 1) {
    ByteString all;
    for (int t = 0; t < times; ++t) {
        for (int i = 0; i < 256; ++i) {
            all.push_back(static_cast<char>(i));
        }
    }
    return all;
}

}  // namespace quillpad::test
