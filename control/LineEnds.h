#pragma once
// Line ends of text that goes to the device as one block (a paste, a line
// from the command history). The clipboard of this platform ends lines with
// a bare LF, where a device waits for CR: each lone LF goes out as CR LF.
// CR LF and a lone CR already end a line for the device and stay as they are.

#include <string_view>

#include "platform/Bytes.h"

namespace quillpad {

ByteString EndLinesForDevice(std::string_view text);

}  // namespace quillpad
