#pragma once
// Doubles for the device session tests: a scripted session object that
// records every call, a host environment and a user interface that record
// what they were asked, and deferred calls that run when the test says.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nxr/INxrSession2.h"
#include "nxr/NxrParamBlock.h"
#include "session/IHostEnvironment.h"
#include "session/ISessionUi.h"

namespace quillpad::test {

struct SSessionCall {
    SSessionCall(std::string o = {}, std::uint32_t c = 0, std::int32_t v = 0)
        : op(std::move(o)), code(c), value(v) {}
    std::string op;          // "Open", "Close", "Request", "RequestWait", "Send", "SetOption", ...
    std::uint32_t code = 0;  // request code; Cancel: the request id
    std::int32_t value = 0;  // option value, time-out
    WideString text;         // spec, sent text
    WideString clientName;
    std::optional<WideString> userText;
    ByteString params;
};

// Runs a fake session's periodic sends; a Qt test supplies one with a
// timer, since the core fake has none.
class IFakeRepeats {
  public:
    virtual ~IFakeRepeats() = default;
    virtual void Start(std::uint32_t id, ByteString bytes, std::uint32_t periodMs,
                       std::uint32_t count, NxrHandle handle) = 0;
    virtual void Stop(std::uint32_t id) = 0;
    // The session closed: every repeat ends as failed.
    virtual void Closed() = 0;
};

class CFakeSession final : public INxrSession2 {
  public:
    // The calls, shared with the test so they outlive the session.
    explicit CFakeSession(std::shared_ptr<std::vector<SSessionCall>> log) : m_log(std::move(log)) {}
    ~CFakeSession() override {
        if (repeats != nullptr) {
            repeats->Closed();  // its timer never fires for a session gone
        }
    }

    void Advise(INxrSessionEvents* sink) override {
        sink_ = sink;
        m_log->push_back({sink ? "Advise" : "Unadvise"});
    }
    std::int32_t Open(const WideString& spec, const WideString& clientName,
                      NxrHandle* handle) override {
        SSessionCall c{"Open"};
        c.text = spec;
        c.clientName = clientName;
        m_log->push_back(c);
        *handle = openFails ? 0 : nextHandle++;
        return openFails ? 3 : 0;
    }
    std::int32_t Close(NxrHandle* handle) override {
        SSessionCall c{"Close"};
        c.value = static_cast<std::int32_t>(*handle);
        m_log->push_back(c);
        *handle = 0;
        status = 1;  // a closed session is not connected
        if (repeats != nullptr) {
            repeats->Closed();
        }
        return 0;
    }
    std::int32_t RequestWait(std::uint32_t code, const ByteString& params, ByteString* result,
                             std::int32_t timeoutMs, std::int32_t, NxrHandle* handle) override {
        SSessionCall c{"RequestWait", code, timeoutMs};
        c.params = params;
        m_log->push_back(c);
        if (result != nullptr) {
            *result = NxrEmptyParamBlock();
        }
        return *handle != 0 ? 0 : 2;
    }
    std::int32_t Request(std::uint32_t code, const ByteString& params, std::int32_t timeoutMs,
                         std::uint32_t* requestId, const WideString* userText, std::int32_t,
                         NxrHandle* handle) override {
        SSessionCall c{"Request", code, timeoutMs};
        c.params = params;
        if (userText != nullptr) {
            c.userText = *userText;
        }
        m_log->push_back(c);
        if (*handle == 0 || requestFails) {
            *requestId = 0;
            return 2;
        }
        *requestId = nextRequestId++;
        return 0;
    }
    std::int32_t Ability(std::int32_t, const WideString& name, std::int32_t timeoutMs,
                         std::uint32_t* requestId, std::int32_t, std::int32_t,
                         NxrHandle* handle) override {
        SSessionCall c{"Ability", 0, timeoutMs};
        c.text = name;
        m_log->push_back(c);
        if (*handle == 0) {
            *requestId = 0;
            return 2;
        }
        *requestId = nextRequestId++;
        return 0;
    }
    std::int32_t Cancel(std::uint32_t requestId, std::int32_t how, NxrHandle*) override {
        m_log->push_back({"Cancel", requestId, how});
        return 0;
    }
    std::int32_t Send(const WideString& text, std::int32_t timeoutMs, NxrHandle* handle) override {
        SSessionCall c{"Send", 0, timeoutMs};
        c.text = text;
        m_log->push_back(c);
        return (*handle == 0 || sendFails) ? 4 : 0;
    }
    // A session that takes bytes records "SendBytes" with the bytes in
    // `params`; any other gets them through Send(), as the interface does.
    std::int32_t SendBytes(std::string_view bytes, std::int32_t timeoutMs,
                           NxrHandle* handle) override {
        if (!takesBytes) {
            return INxrSession2::SendBytes(bytes, timeoutMs, handle);
        }
        SSessionCall c{"SendBytes", 0, timeoutMs};
        c.params = ByteString(bytes);
        m_log->push_back(c);
        return (*handle == 0 || sendFails) ? 4 : 0;
    }
    // Logged as "StartRepeat" (code: the id, value: the period, params: the
    // bytes); refused, as by a session that cannot repeat, without `repeats`.
    std::int32_t StartRepeat(std::uint32_t id, std::string_view bytes, std::uint32_t periodMs,
                             std::uint32_t count, NxrHandle* handle) override {
        SSessionCall c{"StartRepeat", id, static_cast<std::int32_t>(periodMs)};
        c.params = ByteString(bytes);
        m_log->push_back(c);
        if (*handle == 0 || sendFails || repeats == nullptr) {
            return 4;
        }
        repeats->Start(id, ByteString(bytes), periodMs, count, *handle);
        return 0;
    }
    std::int32_t StopRepeat(std::uint32_t id, NxrHandle*) override {
        m_log->push_back({"StopRepeat", id});
        if (repeats != nullptr) {
            repeats->Stop(id);
        }
        return 0;
    }
    std::int32_t AbilityInfo(std::uint32_t* a, std::uint32_t* b, NxrHandle* handle) override {
        m_log->push_back({"AbilityInfo"});
        *a = *handle != 0 ? 7 : 0;
        *b = *handle != 0 ? 4 : 0;
        return *handle != 0 ? 0 : 2;
    }
    std::int32_t SetOption(std::uint32_t option, std::int32_t value, NxrHandle*) override {
        m_log->push_back({"SetOption", option, value});
        return 0;
    }
    std::int32_t SetTextSetting(const WideString& text) override {
        SSessionCall c{"SetTextSetting"};
        c.text = text;
        m_log->push_back(c);
        return 0;
    }
    std::string ErrorText(std::uint32_t requestId) const override {
        return "fake error " + std::to_string(requestId);
    }
    std::uint16_t ConnectionStatus() const override { return status; }

    // The link changes as a real session's would: the status is kept here
    // and the sink hears of it.
    void SetLink(std::uint16_t linkStatus) {
        status = linkStatus;
        if (sink_ != nullptr) {
            sink_->OnConnectionStatus(linkStatus);
        }
    }

    INxrSessionEvents* sink_ = nullptr;
    bool openFails = false;
    bool requestFails = false;
    bool sendFails = false;
    bool takesBytes = false;
    IFakeRepeats* repeats = nullptr;
    std::uint16_t status = 1;
    NxrHandle nextHandle = 7;
    std::uint32_t nextRequestId = 100;

  private:
    std::shared_ptr<std::vector<SSessionCall>> m_log;
};

struct SHostCall {
    SHostCall(std::string n, std::int32_t v = 0, WideString t = {})
        : name(std::move(n)), value(v), text(std::move(t)) {}
    std::string name;
    std::int32_t value = 0;
    WideString text;
};

class CRecordingHost final : public IHostEnvironment {
  public:
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override {
        calls.push_back({"IWBENVUpdateConnectionStatus", status});
        return 0;
    }
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override {
        calls.push_back({"IWBENVUpdateConnectionParams", 0, params});
        return 0;
    }
    std::int32_t IWBENVLaunchPlugin(const WideString&, const WideString& address,
                                    const WideString&) override {
        calls.push_back({"IWBENVLaunchPlugin", 0, address});
        return 0;
    }
    std::int32_t IWBENVSetPluginWindowSize(std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                           std::int32_t, std::int32_t) override {
        calls.push_back({"IWBENVSetPluginWindowSize"});
        return 0;
    }
    std::int32_t IWBENVGetCurrentAddress(WideString&, WideString& address, WideString&) override {
        address = currentAddress;
        calls.push_back({"IWBENVGetCurrentAddress", 0, address});
        return 0;
    }
    std::int32_t IWBENVShowFrameFooter(std::int32_t show) override {
        calls.push_back({"IWBENVShowFrameFooter", show});
        return 0;
    }
    std::int32_t IWBENVUpdateModemLines(std::int32_t lines) override {
        calls.push_back({"IWBENVUpdateModemLines", lines});
        return 0;
    }
    std::int32_t IWBENVUpdateShareClients(std::int32_t port, std::int32_t clients) override {
        calls.push_back({"IWBENVUpdateShareClients", port * 1000 + clients});
        return 0;
    }
    std::int32_t IWBENVAppendToWindowTitle(const WideString& text) override {
        calls.push_back({"IWBENVAppendToWindowTitle", 0, text});
        return 0;
    }
    std::int32_t IWBENVSetWindowTitleTool(const WideString& text) override {
        calls.push_back({"IWBENVSetWindowTitleTool", 0, text});
        return 0;
    }

    std::vector<SHostCall> calls;
    WideString currentAddress;
};

struct SShownBox {
    SShownBox(std::string c, std::string t, std::uint32_t id)
        : caption(std::move(c)), text(std::move(t)), requestId(id) {}
    std::string caption;  // "standard error" for the standard error box
    std::string text;
    std::uint32_t requestId = 0;
};

class CRecordingUi final : public ISessionUi {
  public:
    explicit CRecordingUi(std::shared_ptr<std::vector<SShownBox>> shown)
        : m_shown(std::move(shown)) {}
    void ShowStandardError(const INxrSession2* session, std::uint32_t requestId) override {
        m_shown->push_back(
            {"standard error", session ? session->ErrorText(requestId) : "", requestId});
    }
    void ShowMessage(std::string_view caption, std::string_view text, EMessageIcon) override {
        m_shown->push_back({std::string(caption), std::string(text), 0});
    }

  private:
    std::shared_ptr<std::vector<SShownBox>> m_shown;
};

class CManualDeferredCalls final : public IDeferredCalls {
  public:
    explicit CManualDeferredCalls(
        std::shared_ptr<std::vector<std::pair<std::uint32_t, std::function<void()>>>> queue)
        : m_queue(std::move(queue)) {}
    void CallAfter(std::uint32_t delayMs, std::function<void()> call) override {
        m_queue->emplace_back(delayMs, std::move(call));
    }

  private:
    std::shared_ptr<std::vector<std::pair<std::uint32_t, std::function<void()>>>> m_queue;
};

}  // namespace quillpad::test
