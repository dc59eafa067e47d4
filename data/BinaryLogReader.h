#pragma once
// Reading a binary console log. The reader takes hostile input: no content
// makes it crash, and it never allocates more for a record's data than the
// source still holds (a declared length beyond the end is not believed).

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "data/BinaryLogFormat.h"
#include "data/RecordArena.h"

namespace quillpad {

class IByteSource {
  public:
    virtual ~IByteSource() = default;
    // Up to `size` bytes; fewer only at the end of the source.
    virtual std::size_t Read(char* out, std::size_t size) = 0;
    // Bytes still to come, when the source knows (a pipe does not).
    virtual std::optional<std::uint64_t> Remaining() const = 0;
};

// A file opened for reading in binary mode ("rb").
class CFileByteSource final : public IByteSource {
  public:
    // Null, with the reason in `error`, when the file cannot be opened.
    static std::unique_ptr<CFileByteSource> Open(const std::string& path, std::string& error);
    ~CFileByteSource() override;
    CFileByteSource(const CFileByteSource&) = delete;
    CFileByteSource& operator=(const CFileByteSource&) = delete;

    std::size_t Read(char* out, std::size_t size) override;
    std::optional<std::uint64_t> Remaining() const override;

  private:
    explicit CFileByteSource(std::FILE* file, std::optional<std::uint64_t> size);
    std::FILE* m_file;
    std::optional<std::uint64_t> m_size;
    std::uint64_t m_read = 0;
};

class CMemoryByteSource final : public IByteSource {
  public:
    // With sizeKnown false it behaves like a pipe: Remaining() is empty.
    explicit CMemoryByteSource(std::string_view bytes, bool sizeKnown = true)
        : m_bytes(bytes), m_sizeKnown(sizeKnown) {}
    std::size_t Read(char* out, std::size_t size) override;
    std::optional<std::uint64_t> Remaining() const override;

  private:
    std::string_view m_bytes;
    bool m_sizeKnown;
};

// What a load found, beyond the records themselves.
struct SBinaryLogLoad {
    bool accepted = false;
    std::string error;  // why the file was refused
    SBinaryLogHeader header;
    std::size_t records = 0;         // data records kept
    std::size_t otherHeads = 0;      // heads of another kind, skipped
    bool truncated = false;          // the file ends inside a record
    std::uint64_t droppedBytes = 0;  // bytes of that last, incomplete record
};

class CBinaryLogReader {
  public:
    explicit CBinaryLogReader(IByteSource& source);
    ~CBinaryLogReader();
    CBinaryLogReader(const CBinaryLogReader&) = delete;
    CBinaryLogReader& operator=(const CBinaryLogReader&) = delete;

    // Reads and checks the header; false (with result.error set) when the
    // source is not a log this reader takes.
    bool ReadHeader(SBinaryLogLoad& result);
    // Appends every data record to `arena` until the source ends. A record
    // cut short by the end is dropped and ends the load.
    void ReadRecords(CRecordArena& arena, SBinaryLogLoad& result);

  private:
    // Makes `size` bytes (at most 256) readable at m_pos;
    // returns how many are, which is fewer only at the end of the source.
    std::size_t Fill(std::size_t size);
    std::size_t ReadInto(char* out, std::size_t size);
    std::optional<std::uint64_t> Remaining() const;

    IByteSource& m_source;
    std::size_t m_bufferBytes;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_pos = 0;
    std::size_t m_end = 0;
};

}  // namespace quillpad
