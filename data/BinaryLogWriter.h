#pragma once
// Writing a binary console log, live (record by record while logging) or all
// at once (Save Buffer).
//
// Buffering: a live writer hands each record to the operating system with one
// write as it arrives (the stream is unbuffered and each record is assembled
// first), so a record added before the process is killed is in the file. It
// does not sync to the disk; a power cut can still lose what the system has
// not written back. Save Buffer writes through a 1 MiB buffer and flushes at
// the end.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "data/LiveLogWriter.h"

namespace quillpad {

enum class EBinaryLogFlush {
    EachRecord,  // live logging
    AtClose,     // Save Buffer
};

class CBinaryLogWriter final : public ILiveLogWriter {
  public:
    // Creates or truncates the file ("wb+") and writes the header with the
    // given time base. Null when the file cannot be opened.
    static std::unique_ptr<CBinaryLogWriter> Create(const std::string& path, std::int64_t startTime,
                                                    std::uint32_t startTick, EBinaryLogFlush flush);
    ~CBinaryLogWriter() override;
    CBinaryLogWriter(const CBinaryLogWriter&) = delete;
    CBinaryLogWriter& operator=(const CBinaryLogWriter&) = delete;

    // Every record, whatever its kind or source.
    void Write(const SDataRecord& record) override;
    // Flushes and closes; false when any write failed. Writing after it does nothing.
    bool Close();
    // Writes that failed so far (the writer went on after each).
    std::uint64_t FailedWrites() const { return m_failedWrites; }

  private:
    CBinaryLogWriter(std::FILE* file, EBinaryLogFlush flush);
    void Put(const char* bytes, std::size_t size);

    std::FILE* m_file;
    std::unique_ptr<char[]> m_streamBuffer;
    std::string m_scratch;
    std::uint64_t m_failedWrites = 0;
};

}  // namespace quillpad
