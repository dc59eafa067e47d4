#include "data/LogFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillpad {

std::unique_ptr<CLogFile> CLogFile::Create(const std::string& path, std::string& error) {
    errno = 0;
    // A log holds every byte sent and received: a new one is the user's alone.
    // An existing file keeps its mode, as "wb+" would.
    std::FILE* file = nullptr;
    if (const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        fd >= 0) {
        file = ::fdopen(fd, "wb+");
        if (file == nullptr) {
            const int why = errno;
            ::close(fd);
            errno = why;
        }
    }
    if (file == nullptr) {
        error = errno != 0 ? std::strerror(errno) : "the file cannot be created";
        return nullptr;
    }
    return std::unique_ptr<CLogFile>(new CLogFile(file, path));
}

CLogFile::CLogFile(std::FILE* file, std::string path) : m_file(file), m_path(std::move(path)) {
    // Our own buffer decides when bytes go; the stream adds no second one.
    std::setvbuf(m_file, nullptr, _IONBF, 0);
}

CLogFile::~CLogFile() {
    Close();
}

void CLogFile::Fail(int error) {
    m_error = error != 0 ? std::strerror(error) : "the write failed";
    std::fclose(m_file);
    m_file = nullptr;
    m_pending.clear();
    m_pending.shrink_to_fit();
}

bool CLogFile::Flush() {
    if (m_file == nullptr) {
        m_pending.clear();
        return !Failed();
    }
    if (m_pending.empty()) {
        return true;
    }
    errno = 0;
    ++m_writeCalls;
    const std::size_t written = std::fwrite(m_pending.data(), 1, m_pending.size(), m_file);
    if (written != m_pending.size()) {
        Fail(errno);
        return false;
    }
    m_pending.clear();
    return true;
}

bool CLogFile::Close() {
    if (m_file == nullptr) {
        return !Failed();
    }
    if (!Flush()) {
        return false;
    }
    errno = 0;
    if (std::fclose(m_file) != 0) {
        m_file = nullptr;
        m_error = errno != 0 ? std::strerror(errno) : "the file could not be closed";
        return false;
    }
    m_file = nullptr;
    return true;
}

}  // namespace quillpad
