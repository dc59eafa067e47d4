#pragma once
// The one place a stored record becomes what the view renders: the record
// itself, except that its runs are credited to the store's index of it,
// which is what the store looks records up by (a loaded log's own sequence
// numbers need not be the indexes).

#include <cstdint>

#include "data/SDataRecord.h"

namespace quillpad {

inline SDataRecord RenderRecordOf(const SDataRecord& record, std::uint32_t storeIndex) {
    SDataRecord r = record;
    r.sequence = storeIndex;
    return r;
}

}  // namespace quillpad
