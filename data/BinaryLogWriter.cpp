#include "data/BinaryLogWriter.h"

#include "data/BinaryLogFormat.h"

namespace quillpad {
namespace {
constexpr std::size_t kSaveBufferBytes = std::size_t{1} << 20;
}  // namespace

std::unique_ptr<CBinaryLogWriter> CBinaryLogWriter::Create(const std::string& path,
                                                           std::int64_t startTime,
                                                           std::uint32_t startTick,
                                                           EBinaryLogFlush flush,
                                                           std::string* error) {
    std::string reason;
    auto file = CLogFile::Create(path, reason);
    if (!file) {
        if (error != nullptr) {
            *error = reason;
        }
        return nullptr;
    }
    if (flush == EBinaryLogFlush::AtClose) {
        file->SetFlushThreshold(kSaveBufferBytes);
    }
    const auto header = EncodeBinaryLogHeader(MakeBinaryLogHeader(startTime, startTick));
    file->Append(std::string_view(header.data(), header.size()));
    return std::unique_ptr<CBinaryLogWriter>(new CBinaryLogWriter(std::move(file)));
}

void CBinaryLogWriter::Write(const SDataRecord& record) {
    if (!m_file->IsOpen()) {
        return;
    }
    AppendBinaryLogRecord(m_file->Pending(), record);
    m_file->CommitPending();
}

}  // namespace quillpad
