#pragma once
// A request the console tool makes of the session: from the command line or
// from a prefix key, built into its parameter block in one place.

#include <cstdint>
#include <string>

#include "nxr/CNxrAsciiTransfer.h"
#include "platform/Bytes.h"

namespace quillpad {

struct SConsoleRequest {
    std::uint32_t code = 0;  // nxr_request::SendBreak, XModemSend, XModemReceive, AsciiSend
    std::string path;        // none for a break
    SAsciiPacing pacing;     // ASCII Send only
    bool use1K = false;      // XModem Send only
};

// The request's parameter block, as the session's worker reads it.
ByteString ConsoleRequestBlock(const SConsoleRequest& request);

}  // namespace quillpad
