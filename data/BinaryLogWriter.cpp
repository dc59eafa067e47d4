#include "data/BinaryLogWriter.h"

#include "data/BinaryLogFormat.h"

namespace quillpad {
namespace {
constexpr std::size_t kSaveBufferBytes = std::size_t{1} << 20;
}  // namespace

std::unique_ptr<CBinaryLogWriter> CBinaryLogWriter::Create(const std::string& path,
                                                           std::int64_t startTime,
                                                           std::uint32_t startTick,
                                                           EBinaryLogFlush flush) {
    std::FILE* file = std::fopen(path.c_str(), "wb+");
    if (file == nullptr) {
        return nullptr;
    }
    std::unique_ptr<CBinaryLogWriter> writer(new CBinaryLogWriter(file, flush));
    const auto header = EncodeBinaryLogHeader(MakeBinaryLogHeader(startTime, startTick));
    writer->Put(header.data(), header.size());
    return writer;
}

CBinaryLogWriter::CBinaryLogWriter(std::FILE* file, EBinaryLogFlush flush) : m_file(file) {
    if (flush == EBinaryLogFlush::EachRecord) {
        std::setvbuf(m_file, nullptr, _IONBF, 0);
    } else {
        m_streamBuffer = std::make_unique_for_overwrite<char[]>(kSaveBufferBytes);
        std::setvbuf(m_file, m_streamBuffer.get(), _IOFBF, kSaveBufferBytes);
    }
}

CBinaryLogWriter::~CBinaryLogWriter() {
    Close();
}

void CBinaryLogWriter::Put(const char* bytes, std::size_t size) {
    if (m_file == nullptr || size == 0) {
        return;
    }
    if (std::fwrite(bytes, 1, size, m_file) != size) {
        ++m_failedWrites;
        std::clearerr(m_file);
    }
}

void CBinaryLogWriter::Write(const SDataRecord& record) {
    m_scratch.clear();
    AppendBinaryLogRecord(m_scratch, record);
    Put(m_scratch.data(), m_scratch.size());
}

bool CBinaryLogWriter::Close() {
    if (m_file == nullptr) {
        return m_failedWrites == 0;
    }
    if (std::fclose(m_file) != 0) {
        ++m_failedWrites;
    }
    m_file = nullptr;
    m_streamBuffer.reset();
    return m_failedWrites == 0;
}

}  // namespace quillpad
