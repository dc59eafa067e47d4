#pragma once
// Writing a binary console log, live (record by record while logging) or all
// at once (Save Buffer).
//
// Buffering: records gather in the writer's CLogFile. A live log goes to the
// system when the store flushes it at the end of the event-loop turn (or, in
// a turn that brings more than 16 MiB, as it fills); Save Buffer writes in
// 1 MiB pieces and flushes at the end.

#include <cstdint>
#include <memory>
#include <string>

#include "data/LiveLogWriter.h"

namespace quillpad {

enum class EBinaryLogFlush {
    EachTurn,  // live logging: the store flushes it
    AtClose,   // Save Buffer
};

class CBinaryLogWriter final : public ILiveLogWriter {
  public:
    // Creates or truncates the file ("wb+") and writes the header with the
    // given time base. Null when the file cannot be opened (the reason in
    // `error` when given).
    static std::unique_ptr<CBinaryLogWriter> Create(const std::string& path, std::int64_t startTime,
                                                    std::uint32_t startTick, EBinaryLogFlush flush,
                                                    std::string* error = nullptr);

    // Every record, whatever its kind or source.
    void Write(const SDataRecord& record) override;
    ELogKind Kind() const override { return ELogKind::Binary; }
    CLogFile& File() override { return *m_file; }
    // Flushes and closes; false when any write failed.
    bool Close() { return m_file->Close(); }

  private:
    explicit CBinaryLogWriter(std::unique_ptr<CLogFile> file) : m_file(std::move(file)) {}

    std::unique_ptr<CLogFile> m_file;
};

}  // namespace quillpad
