#pragma once
// UM_RENDER_TEXT (sent to a console view, payload CPayload::Borrow of this):
// the record to render, and the string that receives its text as the view's
// style translates it, without fonts or colours. The view replaces the
// string's contents (keeping its capacity), and, when asked, says whether
// its stamps are gap stamps (its text has no lines of the device's) and
// their threshold.

#include <string>

#include "data/SDataRecord.h"
#include "platform/StampMode.h"

namespace quillpad {

struct SRenderTextStamps {
    bool gaps = false;
    std::uint32_t gapMs = kDefaultGapMs;
};

struct SRenderTextRequest {
    SDataRecord record;
    std::string* text = nullptr;
    // Filled in when given.
    SRenderTextStamps* stamps = nullptr;
};

}  // namespace quillpad
