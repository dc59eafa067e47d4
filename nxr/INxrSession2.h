#pragma once
// The session object: one connection to one device. Every operation takes a
// pointer to the connection handle that Open wrote (0 = not open) and returns
// a status (0 = success, see ENxrResult). Requests complete later through the
// event sink; a failed request or operation leaves an error text that
// ErrorText() returns for its request id (id 0: the last open or send).

#include <cstdint>
#include <string>
#include <string_view>

#include "nxr/INxrSessionEvents.h"
#include "platform/Bytes.h"

namespace quillpad {

using NxrHandle = std::uint32_t;

class INxrSession2 {
  public:
    virtual ~INxrSession2() = default;

    // The event sink, or nullptr to stop the events.
    virtual void Advise(INxrSessionEvents* sink) = 0;

    virtual std::int32_t Open(const WideString& spec, const WideString& clientName,
                              NxrHandle* handle) = 0;
    virtual std::int32_t Close(NxrHandle* handle) = 0;
    // Waits for the request to end (at most `timeoutMs`, -1 for no limit); its
    // completion is the return value and is not delivered as an event.
    virtual std::int32_t RequestWait(std::uint32_t code, const ByteString& params,
                                     ByteString* result, std::int32_t timeoutMs,
                                     std::int32_t reserved, NxrHandle* handle) = 0;
    // `params` is a parameter block (NxrParamBlock.h); `userText` may be null.
    virtual std::int32_t Request(std::uint32_t code, const ByteString& params,
                                 std::int32_t timeoutMs, std::uint32_t* requestId,
                                 const WideString* userText, std::int32_t reserved,
                                 NxrHandle* handle) = 0;
    virtual std::int32_t Ability(std::int32_t target, const WideString& name,
                                 std::int32_t timeoutMs, std::uint32_t* requestId,
                                 std::int32_t reserved1, std::int32_t reserved2,
                                 NxrHandle* handle) = 0;
    virtual std::int32_t Cancel(std::uint32_t requestId, std::int32_t how, NxrHandle* handle) = 0;
    // Sends text whose characters are bytes (Latin-1), as the design has it.
    virtual std::int32_t Send(const WideString& text, std::int32_t timeoutMs,
                              NxrHandle* handle) = 0;
    // Sends device bytes as they are. A session of our own takes them
    // straight; any other gets them through Send().
    virtual std::int32_t SendBytes(std::string_view bytes, std::int32_t timeoutMs,
                                   NxrHandle* handle) {
        return Send(BytesToWide(bytes), timeoutMs, handle);
    }
    // Ours: sends `bytes` at once and then every `periodMs`, `count` times
    // in all (0: until stopped), where the link is written, so that a busy
    // owner never holds a send up. An `id` that has not ended yet is
    // refused: each run has an id of its own. OnSendRepeat tells its counts and its end; a link
    // that goes down ends it as failed. A session that cannot repeat refuses (not 0).
    virtual std::int32_t StartRepeat(std::uint32_t /*id*/, std::string_view /*bytes*/,
                                     std::uint32_t /*periodMs*/, std::uint32_t /*count*/,
                                     NxrHandle* /*handle*/) {
        return 1;
    }
    // Ends `id` as stopped (its end event follows); no-op when it is not running.
    virtual std::int32_t StopRepeat(std::uint32_t /*id*/, NxrHandle* /*handle*/) { return 0; }
    virtual std::int32_t AbilityInfo(std::uint32_t* a, std::uint32_t* b, NxrHandle* handle) = 0;
    virtual std::int32_t SetOption(std::uint32_t option, std::int32_t value, NxrHandle* handle) = 0;
    // The text setting (the console sets it once to "%D").
    virtual std::int32_t SetTextSetting(const WideString& text) = 0;

    // The link's status now (ENxrConnectionStatus): the one the session's
    // last status event told, or one still on its way. The session keeps
    // it; its users read it here rather than keep a copy.
    virtual std::uint16_t ConnectionStatus() const = 0;

    // The words for a failed request, "" when there are none.
    virtual std::string ErrorText(std::uint32_t requestId) const = 0;
};

}  // namespace quillpad
