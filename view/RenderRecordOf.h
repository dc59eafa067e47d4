#pragma once
// The one place a stored record becomes what the renderer reads. The run
// table keeps the store's index of the record, which is what the store
// looks records up by.

#include <cstdint>

#include "data/SDataRecord.h"
#include "view/CStyledRenderer.h"

namespace quillpad {

inline SRenderRecord RenderRecordOf(const SDataRecord& record, std::uint32_t storeIndex) {
    return SRenderRecord{record.kind, storeIndex, record.direction, record.source, record.bytes};
}

}  // namespace quillpad
