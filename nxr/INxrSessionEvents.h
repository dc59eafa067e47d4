#pragma once
// The session's outgoing interface: one call per event, named by its dispatch
// id. Every call arrives on the thread that owns the session, in the order the
// events happened, never from inside a call into the session. Every handler
// returns a 32-bit status; the defaults accept the event and do nothing.

#include <cstdint>
#include <optional>

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
    // 6 and 7: one character per byte. Owner id 0 is the console's own stream.
    virtual std::int32_t OnDataReceived(std::uint32_t /*ownerId*/, const WideString& /*data*/) {
        return 0;
    }
    virtual std::int32_t OnDataTransmitted(std::uint32_t /*ownerId*/, const WideString& /*data*/) {
        return 0;
    }
    // 8
    virtual std::int32_t OnConnectionParamsChanged(const WideString& /*spec*/) { return 0; }
    // 51
    virtual std::int32_t OnLinkUp() { return 0; }
};

}  // namespace quillpad
