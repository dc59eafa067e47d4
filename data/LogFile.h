#pragma once
// One log file being written: bytes gather in memory and go to the
// operating system in one write per Flush, so a live log costs one system
// call per event-loop turn however many records the turn brought. What a
// Flush has handed over survives the process being killed; nothing is synced
// to the disk (a power cut can still lose what the system has not written
// back).
//
// The first write that fails ends the file: it is closed, the reason kept,
// and everything after is dropped, so a full disk is reported once instead
// of silently thinning the capture.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quillpad {

class CLogFile {
  public:
    // Creates or truncates the file ("wb+"). Null when it cannot be opened,
    // with the system's reason in `error`.
    static std::unique_ptr<CLogFile> Create(const std::string& path, std::string& error);
    ~CLogFile();
    CLogFile(const CLogFile&) = delete;
    CLogFile& operator=(const CLogFile&) = delete;

    // Keeps the bytes for the next Flush. Past `flushAt` pending bytes it
    // flushes at once (Save Buffer, and a bound on a live turn's memory).
    void Append(std::string_view bytes) {
        if (m_file != nullptr) {
            m_pending.append(bytes);
            if (m_pending.size() >= m_flushAt) {
                Flush();
            }
        }
    }
    // Room to render into directly; Append-equivalent once Commit is called.
    std::string& Pending() { return m_pending; }
    void CommitPending() {
        if (m_pending.size() >= m_flushAt) {
            Flush();
        }
    }
    void SetFlushThreshold(std::size_t bytes) { m_flushAt = bytes; }

    // Hands every pending byte to the system in one write; false when it
    // failed now or earlier.
    bool Flush();
    // Flushes and closes; false when any write failed.
    bool Close();

    bool HasPending() const { return !m_pending.empty(); }
    bool Failed() const { return m_error.has_value(); }
    bool IsOpen() const { return m_file != nullptr; }
    // Why the first failed write failed.
    const std::optional<std::string>& Error() const { return m_error; }
    const std::string& Path() const { return m_path; }
    // System calls made to write (tests and benchmarks count them).
    std::size_t WriteCalls() const { return m_writeCalls; }

  private:
    CLogFile(std::FILE* file, std::string path);
    void Fail(int error);

    std::FILE* m_file;
    std::string m_path;
    std::string m_pending;
    std::size_t m_flushAt = std::size_t{16} << 20;
    std::optional<std::string> m_error;
    std::size_t m_writeCalls = 0;
};

}  // namespace quillpad
