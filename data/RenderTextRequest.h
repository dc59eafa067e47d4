#pragma once
// UM_RENDER_TEXT (sent to a console view, payload CPayload::Borrow of this):
// the record to render, and the string that receives its text as the view's
// style translates it, without fonts or colours. The view replaces the
// string's contents (keeping its capacity).

#include <string>

#include "data/SDataRecord.h"

namespace quillpad {

struct SRenderTextRequest {
    SDataRecord record;
    std::string* text = nullptr;
};

}  // namespace quillpad
