#pragma once
// A log file that the store feeds while live logging is active and not
// paused: every record the store adds, in arrival order, whatever its source.
// Each writer decides for itself what it keeps (the text writers skip other
// originators' records unless show-all-sources was on when they were made;
// the binary writer keeps everything).

#include "data/SDataRecord.h"

namespace quillpad {

class ILiveLogWriter {
  public:
    virtual ~ILiveLogWriter() = default;
    // Write errors are not reported; the writer goes on with the next record.
    virtual void Write(const SDataRecord& record) = 0;
};

}  // namespace quillpad
