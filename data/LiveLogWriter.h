#pragma once
// A log file that the store feeds while live logging is active and not
// paused (and Save Buffer, once, with every record): every record the store
// adds, in arrival order, whatever its source. Each writer decides for itself
// what it keeps (the text writers skip other originators' records unless
// show-all-sources was on when they were made; the binary writer keeps
// everything).
//
// Writers gather bytes in their CLogFile; the store flushes every writer at
// the end of each event-loop turn (CDataStore::FlushLiveLogs), one write per
// file.

#include "data/LogFile.h"
#include "data/LogRequest.h"
#include "data/SDataRecord.h"
#include "platform/StampMode.h"

namespace quillpad {

class ILiveLogWriter {
  public:
    virtual ~ILiveLogWriter() = default;
    virtual void Write(const SDataRecord& record) = 0;
    virtual ELogKind Kind() const = 0;
    virtual CLogFile& File() = 0;
    // The console's line stamps changed; only the text logs write them.
    virtual void SetStampMode(EStampMode /*mode*/) {}
};

}  // namespace quillpad
