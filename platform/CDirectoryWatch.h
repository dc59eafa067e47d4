#pragma once
// Tells a cache of what a folder holds whether it may still count on it:
// each watched folder has a mark that stays the same while nothing is seen to
// happen in the folder and is new after anything is.
//
// On Linux each folder gets an inotify watch. The kernel queues an event
// before the write that caused it returns, so a change made before Mark is
// asked is always seen. What no watch can vouch for gets mark 0, "check it
// yourself": folders on network or FUSE file systems (a change made on
// another machine raises no event here), a path that is no folder, a path
// pointed at another folder between two looks, and any folder beyond the
// first 64. Elsewhere every mark is 0.
//
// One watch serves any thread; every call takes its lock.

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace quillpad {

class CDirectoryWatch {
  public:
    CDirectoryWatch() = default;
    virtual ~CDirectoryWatch();
    CDirectoryWatch(const CDirectoryWatch&) = delete;
    CDirectoryWatch& operator=(const CDirectoryWatch&) = delete;

    // Takes the reports so far, starts watching the folder at the path if it
    // is not watched yet, and gives its mark: the one of the last call while
    // nothing was reported in the folder, else a new one (marks are never
    // used twice). 0 when the watch cannot vouch for the folder.
    std::uint64_t Mark(const std::string& path);
    // Whether the folder of that identity (a listing's fstat) is the one
    // watched at the path: a listing of another folder proves nothing.
    bool Watches(const std::string& path, dev_t device, ino_t inode);

  protected:
    // One read of the event queue, ::read by default; tests give reports of
    // their own (an overflow, a failed read).
    virtual long ReadEvents(int fd, char* buffer, std::size_t size);

  private:
    static constexpr std::size_t kMaxFolders = 64;
    struct SFolder {
        int watch = -1;
        dev_t device = 0;
        ino_t inode = 0;
        std::uint64_t mark = 0;  // new whenever the watch reports a change
    };

    bool Open();
    void DropUnlessShared(int watch);
    void TakeEvents();
    void TrustNothing();

    std::mutex m_mutex;
    std::map<std::string, SFolder> m_folders;
    std::uint64_t m_lastMark = 0;
    int m_inotify = -1;
    bool m_openFailed = false;
};

}  // namespace quillpad
