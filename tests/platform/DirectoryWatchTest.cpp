// The directory watch under the style sheet cache, on real folders: a change
// gives a new mark, nothing happening keeps it, and a report that events were
// lost leaves no folder trusted.

#include <gtest/gtest.h>

#ifdef __linux__
#include <sys/inotify.h>
#endif
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/CDirectoryWatch.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

#ifdef __linux__

namespace fs = std::filesystem;

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A watch whose next reads of the event queue are given by the test; after
// them it reads the kernel's queue again.
class CScriptedWatch : public CDirectoryWatch {
  public:
    struct SRead {
        long result;
        int error;
        std::string bytes;
    };
    std::deque<SRead> reads;

  protected:
    long ReadEvents(int fd, char* buffer, std::size_t size) override {
        if (reads.empty()) {
            return CDirectoryWatch::ReadEvents(fd, buffer, size);
        }
        SRead next = reads.front();
        reads.pop_front();
        std::memcpy(buffer, next.bytes.data(), next.bytes.size());
        errno = next.error;
        return next.result;
    }
};

std::string OverflowEvent() {
    inotify_event event{};
    event.wd = -1;
    event.mask = IN_Q_OVERFLOW;
    return std::string(reinterpret_cast<const char*>(&event), sizeof event);
}

class DirectoryWatchTest : public ::testing::Test {
  protected:
    void SetUp() override {
        a = dir.File("a");
        b = dir.File("b");
        fs::create_directory(a);
        fs::create_directory(b);
        if (CDirectoryWatch().Mark(a) == 0) {
            GTEST_SKIP() << dir.Path() << " is on a file system no watch vouches for";
        }
    }
    test::CTempDir dir;
    std::string a;
    std::string b;
};

TEST_F(DirectoryWatchTest, EveryKindOfChangeInTheFolderGivesANewMark) {
    CDirectoryWatch watch;
    std::uint64_t mark = watch.Mark(a);
    ASSERT_NE(mark, 0u);
    const auto changed = [&](const char* what) {
        const std::uint64_t now = watch.Mark(a);
        EXPECT_NE(now, mark) << what;
        EXPECT_NE(now, 0u) << what;
        mark = now;
    };
    Write(a + "/x.tss", "[Scheme1.Info]\n");
    changed("a file made");
    Write(a + "/x.tss", "[Scheme1.Info]\nName=X\n");
    changed("a file written");
    fs::rename(a + "/x.tss", a + "/y.tss");
    changed("a file renamed");
    ::chmod((a + "/y.tss").c_str(), 0600);
    changed("a file's mode changed");
    fs::remove(a + "/y.tss");
    changed("a file removed");
}

TEST_F(DirectoryWatchTest, NothingHappeningKeepsTheMarkAndOtherFoldersDoNotCount) {
    CDirectoryWatch watch;
    Write(a + "/x.tss", "kept");
    const std::uint64_t markA = watch.Mark(a);
    const std::uint64_t markB = watch.Mark(b);
    ASSERT_NE(markA, 0u);
    ASSERT_NE(markB, 0u);
    EXPECT_NE(markA, markB);
    // Reading and looking are no changes.
    EXPECT_EQ(test::ReadFileBytes(a + "/x.tss"), "kept");
    struct stat st {};
    ASSERT_EQ(::stat((a + "/x.tss").c_str(), &st), 0);
    EXPECT_EQ(watch.Mark(a), markA);
    Write(b + "/other.tss", "elsewhere");
    EXPECT_EQ(watch.Mark(a), markA) << "a change in another folder";
    EXPECT_NE(watch.Mark(b), markB);
}

TEST_F(DirectoryWatchTest, LostEventsLeaveNoFolderTrusted) {
    CScriptedWatch watch;
    std::uint64_t markA = watch.Mark(a);
    std::uint64_t markB = watch.Mark(b);
    ASSERT_NE(markA, 0u);

    watch.reads.push_back({-1, EAGAIN, ""});
    EXPECT_EQ(watch.Mark(a), markA) << "an empty queue says nothing";
    EXPECT_EQ(watch.Mark(b), markB);

    watch.reads.push_back({static_cast<long>(OverflowEvent().size()), 0, OverflowEvent()});
    const std::uint64_t afterOverflow = watch.Mark(a);
    EXPECT_NE(afterOverflow, markA) << "the kernel's queue overflowed";
    EXPECT_NE(watch.Mark(b), markB);
    markA = afterOverflow;
    markB = watch.Mark(b);

    watch.reads.push_back({-1, EIO, ""});
    EXPECT_NE(watch.Mark(a), markA) << "the queue could not be read";
    EXPECT_NE(watch.Mark(b), markB);
}

TEST_F(DirectoryWatchTest, OnlyTheFolderWatchedAtThePathIsVouchedFor) {
    CDirectoryWatch watch;
    const std::uint64_t first = watch.Mark(a);
    struct stat st {};
    ASSERT_EQ(::stat(a.c_str(), &st), 0);
    EXPECT_TRUE(watch.Watches(a, st.st_dev, st.st_ino));
    struct stat other {};
    ASSERT_EQ(::stat(b.c_str(), &other), 0);
    EXPECT_FALSE(watch.Watches(a, other.st_dev, other.st_ino)) << "a listing of another folder";
    EXPECT_FALSE(watch.Watches(dir.File("c"), st.st_dev, st.st_ino)) << "a path never asked about";

    // Another folder moved into the path: the old watch says nothing about it.
    fs::rename(a, dir.File("old"));
    fs::rename(b, a);
    const std::uint64_t moved = watch.Mark(a);
    EXPECT_NE(moved, first);
    EXPECT_TRUE(watch.Watches(a, other.st_dev, other.st_ino));

    fs::remove_all(a);
    EXPECT_EQ(watch.Mark(a), 0u) << "no folder";
    Write(a, "a file where the folder was");
    EXPECT_EQ(watch.Mark(a), 0u) << "not a folder";
    EXPECT_EQ(watch.Mark(dir.File("missing")), 0u);
}

#endif

}  // namespace
}  // namespace quillpad
