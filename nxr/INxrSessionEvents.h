#pragma once
// The session's outgoing interface: one call per event, named by its dispatch
// id. Every call arrives on the thread that owns the session, in the order the
// events happened, never from inside a call into the session. Every handler
// returns a 32-bit status; the defaults accept the event and do nothing.

#include <cstdint>
#include <optional>
#include <string_view>

#include "nxr/CSendScheduler.h"
#include "platform/Bytes.h"

namespace quillpad {

class INxrSessionEvents {
  public:
    virtual ~INxrSessionEvents() = default;

    // 2: the user text is the one given to Request, if any.
    virtual std::int32_t OnRequestCompleted(std::uint32_t /*requestId*/, std::uint32_t /*code*/,
                                            bool /*success*/, std::int32_t /*extra*/,
                                            const std::optional<WideString>& /*userText*/) {
        return 0;
    }
    // 3
    virtual std::int32_t OnAbilityCompleted(std::uint32_t /*requestId*/, std::int32_t /*value*/,
                                            bool /*success*/) {
        return 0;
    }
    // 5: an ENxrConnectionStatus value.
    virtual std::int32_t OnConnectionStatus(std::uint16_t /*status*/) { return 0; }
    // 6 and 7: the bytes as they travelled; one byte is one character, never
    // decoded. Owner id 0 is the console's own stream. The view is valid for
    // the call only.
    virtual std::int32_t OnDataReceived(std::uint32_t /*ownerId*/, std::string_view /*data*/) {
        return 0;
    }
    virtual std::int32_t OnDataTransmitted(std::uint32_t /*ownerId*/, std::string_view /*data*/) {
        return 0;
    }
    // 8: also raised when a lost serial device came back under another
    // name; the connection is the old one with the new device.
    virtual std::int32_t OnConnectionParamsChanged(const WideString& /*spec*/) { return 0; }
    // 10, 11, 12: progress of a task (a transfer, an ability that runs long).
    virtual std::int32_t OnTaskStart(std::uint32_t /*requestId*/, const WideString& /*title*/,
                                     const WideString& /*text*/) {
        return 0;
    }
    virtual std::int32_t OnTaskProgress(std::uint32_t /*requestId*/, std::int32_t /*percent*/,
                                        const WideString& /*text*/, std::int32_t /*value*/) {
        return 0;
    }
    virtual std::int32_t OnTaskComplete(std::uint32_t /*requestId*/, bool /*success*/) { return 0; }
    // 20 to 24: a batch of file transfers.
    virtual std::int32_t OnFileBatchStart(std::uint32_t /*requestId*/, const WideString& /*title*/,
                                          std::int32_t /*files*/, std::int32_t /*bytes*/) {
        return 0;
    }
    virtual std::int32_t OnFileStart(std::uint32_t /*requestId*/, const WideString& /*source*/,
                                     const WideString& /*target*/, std::int32_t /*size*/,
                                     bool /*sending*/, const WideString& /*protocol*/) {
        return 0;
    }
    virtual std::int32_t OnFileProgress(std::uint32_t /*requestId*/, std::int32_t /*done*/,
                                        std::int32_t /*total*/, std::int32_t /*errors*/,
                                        std::int32_t /*retries*/) {
        return 0;
    }
    virtual std::int32_t OnFileFinish(std::uint32_t /*requestId*/, bool /*success*/) { return 0; }
    virtual std::int32_t OnFileBatchFinish(std::uint32_t /*requestId*/, bool /*success*/) {
        return 0;
    }
    // 40: the session asks the user; 0 when `answer` was filled, 1 when not.
    virtual std::int32_t OnQuery(std::int32_t /*value*/, std::int32_t /*queryType*/,
                                 const WideString& /*prompt*/, WideString& /*answer*/,
                                 std::int32_t /*flags*/) {
        return 1;
    }
    // 51
    virtual std::int32_t OnLinkUp() { return 0; }
    // Ours (no dispatch id of the design): the modem lines changed, as
    // nxr_line bits (NxrLineScript.h), or nxr_line::kNone when the link has
    // none to tell. Raised only while a serial link is open, and once when it
    // closes.
    virtual std::int32_t OnModemLines(std::int32_t /*lines*/) { return 0; }
    // Ours: a lost link that the session waits for (an ENxrLinkWait value,
    // NxrCodes.h). `where` names the link: the one waited for, or the one
    // it is back on.
    virtual std::int32_t OnLinkWaiting(std::int32_t /*state*/, std::string_view /*where*/) {
        return 0;
    }
    // Ours: the link shared over TCP (request ShareStart): the port it is
    // served on (0: not shared any more), how many clients are attached, and
    // a note for the user when a client was dropped ("" otherwise).
    virtual std::int32_t OnShareChanged(std::int32_t /*port*/, std::int32_t /*clients*/,
                                        std::string_view /*note*/) {
        return 0;
    }
    // Ours: a periodic send (INxrSession2::StartRepeat) made `sent` sends;
    // `end` says how it ended, none while it runs. Counts come at most about
    // twenty times a second, the end at once and exactly once.
    virtual std::int32_t OnSendRepeat(std::uint32_t /*id*/, std::uint32_t /*sent*/,
                                      std::optional<ESendEnd> /*end*/) {
        return 0;
    }
    // Events 1, 29, 30 and 50 carry nothing the console uses; the session
    // does not raise them.
};

}  // namespace quillpad
