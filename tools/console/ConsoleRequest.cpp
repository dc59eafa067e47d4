#include "tools/console/ConsoleRequest.h"

#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrParamBlock.h"

namespace quillpad {

ByteString ConsoleRequestBlock(const SConsoleRequest& request) {
    if (request.code == nxr_request::SendBreak) {
        return CNxrParamBlock().AddInteger(500).Encode();
    }
    if (request.code == nxr_request::AsciiSend) {
        return NxrAsciiSendBlock(request.path, request.pacing).Encode();
    }
    CNxrParamBlock block;
    block.AddText(request.path);
    if (request.use1K && request.code == nxr_request::XModemSend) {
        block.AddInteger(1024);
    }
    return block.Encode();
}

}  // namespace quillpad
