#include "tools/console/ConsoleRequest.h"

#include "nxr/NxrCodes.h"
#include "nxr/NxrRequestBlocks.h"

namespace quillpad {

ByteString ConsoleRequestBlock(const SConsoleRequest& request) {
    switch (request.code) {
        case nxr_request::SendBreak:
            return NxrBreakBlock(kNxrDefaultBreakMs).Encode();
        case nxr_request::AsciiSend:
            return NxrAsciiSendBlock(request.path, request.pacing).Encode();
        case nxr_request::XModemSend:
            return NxrXModemBlock(request.path, request.use1K).Encode();
        default:
            return NxrTransferBlock(request.path).Encode();
    }
}

}  // namespace quillpad
