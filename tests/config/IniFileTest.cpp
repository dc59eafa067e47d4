// The INI engine on disk: CR LF line ends, load/save cycles, the stored path,
// and saves that fail without harming the old file.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "config/CIniDocument.h"
#include "tests/platform/ChildProcess.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

std::size_t FilesIn(const std::string& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

TEST(IniFile, DiskFormIsCrLfBothWays) {
    CTempDir dir;
    CIniDocument doc;
    doc.WriteString("S", "k", "v");
    doc.WriteString("S", "", "bare");
    doc.FindOrCreateSection("Empty");
    const std::string path = dir.File("a.ini");
    ASSERT_TRUE(doc.SaveFile(path));
    EXPECT_EQ(ReadFileBytes(path), "[S]\r\nk=v\r\nbare\r\n\r\n[Empty]\r\n\r\n");

    // CR LF pairs read as LF; a lone CR stays a byte of the line.
    ASSERT_TRUE(WriteFileBytes(path, "[S]\r\nk=v\r\nx=a\rb\r\nlone\rcr\r\n"));
    CIniDocument back;
    ASSERT_TRUE(back.LoadFile(path, false, true));
    EXPECT_EQ(back.ReadString("S", "k", ""), "v");
    EXPECT_EQ(back.ReadString("S", "x", ""), "a");
    EXPECT_EQ(back.SectionAt(0)->entries.at(2).value, "lone\rcr\n");
    // Files with bare LF line ends read the same.
    ASSERT_TRUE(WriteFileBytes(path, "[S]\nk=v\n"));
    ASSERT_TRUE(back.LoadFile(path, false, true));
    EXPECT_EQ(back.ReadString("S", "k", ""), "v");
}

TEST(IniFile, RepeatedLoadSaveCyclesAreStable) {
    CTempDir dir;
    const std::string path = dir.File("cycle.ini");
    ASSERT_TRUE(WriteFileBytes(path,
                               "junk before\r\n[S]\r\nfoo\r\nkey = value // c\r\n\r\n[T]\r\n"
                               "[S]\r\nk=2\r\n=x=y\r\nlast"));
    CIniDocument doc;
    ASSERT_TRUE(doc.LoadFile(path, false, true));
    // A bare line keeps its LF; the one at the end of the file had none.
    EXPECT_EQ(doc.SectionAt(0)->entries.at(0).value, "foo\n");
    EXPECT_EQ(doc.SectionAt(0)->entries.back().value, "last");
    ASSERT_TRUE(doc.SaveFile());
    ASSERT_TRUE(doc.LoadFile(path, false, true));
    ASSERT_TRUE(doc.SaveFile());
    const std::string second = ReadFileBytes(path);
    EXPECT_EQ(second,
              "[S]\r\nfoo\r\n\r\nkey = value \r\nk=2\r\n=x=y\r\nlast\r\n\r\n\r\n"
              "[T]\r\n\r\n");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(doc.LoadFile(path, false, true));
        ASSERT_TRUE(doc.SaveFile());
        EXPECT_EQ(ReadFileBytes(path), second);
    }
}

TEST(IniFile, LongLinesSurviveTheDisk) {
    CTempDir dir;
    const std::string path = dir.File("long.ini");
    // Each would have crossed the 4095-byte line buffer at a "[" or an "=".
    const std::string value = std::string(4093, 'a') + "[x]=y" + std::string(3000, 'b');
    CIniDocument doc;
    doc.WriteString("S", "k", value);
    doc.WriteString("S", "", std::string(5000, 'c'));
    doc.WriteString("S", "after", "1");
    ASSERT_TRUE(doc.SaveFile(path));
    CIniDocument back;
    ASSERT_TRUE(back.LoadFile(path, false, true));
    EXPECT_EQ(back.ReadString("S", "k", ""), value);
    EXPECT_EQ(back.SectionAt(0)->entries.at(1).value, std::string(5000, 'c') + "\n");
    EXPECT_EQ(back.ReadString("S", "after", ""), "1");
    EXPECT_EQ(back.SectionCount(), 1u);
}

TEST(IniFile, LoadFileStoresThePathOnlyOnSuccess) {
    CTempDir dir;
    const std::string good = dir.File("good.ini");
    ASSERT_TRUE(WriteFileBytes(good, "[S]\r\nk=v\r\n"));
    CIniDocument doc;
    ASSERT_TRUE(doc.LoadFile(good, false, true));
    EXPECT_EQ(doc.GetPath(), good);

    // A failed load without clearing keeps the content but forgets the path.
    EXPECT_FALSE(doc.LoadFile(dir.File("missing.ini"), false, false));
    EXPECT_EQ(doc.GetPath(), "");
    EXPECT_EQ(doc.ReadString("S", "k", ""), "v");

    // With clearing the document is empty afterwards.
    EXPECT_FALSE(doc.LoadFile(dir.File("missing.ini"), false, true));
    EXPECT_EQ(doc.SectionCount(), 0u);
    EXPECT_FALSE(std::filesystem::exists(dir.File("missing.ini")));

    EXPECT_FALSE(doc.LoadFile("", true, true));
    EXPECT_FALSE(doc.LoadFile(dir.Path(), false, true));  // a folder is no file
    EXPECT_FALSE(doc.LoadFile("/dev/zero", true, true));  // nor is an endless device
    EXPECT_EQ(doc.GetPath(), "");
}

TEST(IniFile, AFileOverSixteenMegabytesIsRefusedWithAReason) {
    CTempDir dir;
    const std::string path = dir.File("huge.tss");
    // Sparse: the size is what counts, not what the disk holds.
    ASSERT_TRUE(WriteFileBytes(path, "[S]\r\nk=v\r\n"));
    CIniDocument doc;
    doc.LoadText("[Kept]\nk=1\n", true);
    ASSERT_EQ(::truncate(path.c_str(), CIniDocument::kMaxFileBytes + 1), 0);
    EXPECT_FALSE(doc.LoadFile(path, false, false));
    EXPECT_NE(doc.LastError().find("too large"), std::string::npos) << doc.LastError();
    EXPECT_NE(doc.LastError().find("huge.tss"), std::string::npos);
    EXPECT_EQ(doc.GetPath(), "");
    EXPECT_EQ(doc.ReadString("Kept", "k", ""), "1") << "a refused file loses nothing";

    EXPECT_FALSE(doc.LoadFile(dir.File("missing.ini"), false, false));
    EXPECT_NE(doc.LastError().find("cannot open"), std::string::npos) << doc.LastError();
}

TEST(IniFile, CreateIfMissingMakesAnEmptyFileAndNeverTruncates) {
    CTempDir dir;
    const std::string path = dir.File("new.keyset");
    CIniDocument doc;
    ASSERT_TRUE(doc.LoadFile(path, true, true));
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(ReadFileBytes(path), "");
    EXPECT_EQ(doc.SectionCount(), 0u);
    EXPECT_EQ(doc.GetPath(), path);

    ASSERT_TRUE(WriteFileBytes(path, "[S]\r\nk=v\r\n"));
    ASSERT_TRUE(doc.LoadFile(path, true, true));
    EXPECT_EQ(doc.ReadString("S", "k", ""), "v");
    EXPECT_EQ(ReadFileBytes(path), "[S]\r\nk=v\r\n");

    EXPECT_FALSE(doc.LoadFile(dir.File("no/such/folder.ini"), true, true));
}

TEST(IniFile, SaveFileUsesTheStoredPathAndNeverChangesIt) {
    CTempDir dir;
    CIniDocument doc;
    doc.WriteString("S", "k", "v");
    EXPECT_FALSE(doc.SaveFile());  // never loaded: nowhere to write
    EXPECT_EQ(FilesIn(dir.Path()), 0u);

    const std::string loaded = dir.File("loaded.ini");
    ASSERT_TRUE(WriteFileBytes(loaded, "[S]\r\n"));
    ASSERT_TRUE(doc.LoadFile(loaded, false, false));
    doc.WriteString("S", "k", "new");
    const std::string other = dir.File("other.ini");
    ASSERT_TRUE(doc.SaveFile(other));
    EXPECT_EQ(doc.GetPath(), loaded);
    EXPECT_EQ(ReadFileBytes(loaded), "[S]\r\n");
    ASSERT_TRUE(doc.SaveFile());
    EXPECT_EQ(ReadFileBytes(loaded), ReadFileBytes(other));

    CIniDocument empty;
    ASSERT_TRUE(empty.SaveFile(other));
    EXPECT_EQ(ReadFileBytes(other), "");

    // A name at the file system's limit still leaves room for the temporary file.
    const std::string longName = dir.File(std::string(250, 'n') + ".ini");
    ASSERT_TRUE(doc.SaveFile(longName));
    EXPECT_EQ(ReadFileBytes(longName), ReadFileBytes(loaded));
}

TEST(IniFile, SaveKeepsPermissionsAndWritesThroughLinks) {
    CTempDir dir;
    const std::string real = dir.File("real.ini");
    const std::string link = dir.File("link.ini");
    ASSERT_TRUE(WriteFileBytes(real, "old"));
    ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    CIniDocument doc;
    doc.WriteString("S", "k", "v");
    ASSERT_TRUE(doc.SaveFile(link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadFileBytes(real), "[S]\r\nk=v\r\n\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(FilesIn(dir.Path()), 2u);  // no temporary file left
}

TEST(IniFile, FailedSavesLeaveTheOldFileWhole) {
    CTempDir dir;
    const std::string path = dir.File("keys.keyset");
    CIniDocument doc;
    for (int i = 0; i < 2000; ++i) {
        doc.WriteString("Shortcuts", "F" + std::to_string(i), std::string(20, 'x'));
    }
    const std::string old = "[Shortcuts]\r\nF1=old\r\n\r\n";
    ASSERT_TRUE(WriteFileBytes(path, old));

    // Killed in the middle of writing: the old file is untouched.
    const int killed = test::RunChild([&] {
        test::LimitFileSize(4096, true);
        return doc.SaveFile(path) ? 0 : 1;
    });
    ASSERT_TRUE(WIFSIGNALED(killed));
    EXPECT_EQ(WTERMSIG(killed), SIGXFSZ);
    EXPECT_EQ(ReadFileBytes(path), old);

    // A full disk: the save reports false, and leaves no temporary file.
    std::filesystem::remove_all(dir.Path());
    std::filesystem::create_directories(dir.Path());
    ASSERT_TRUE(WriteFileBytes(path, old));
    const int full = test::RunChild([&] {
        test::LimitFileSize(4096, false);
        return doc.SaveFile(path) ? 0 : 1;
    });
    ASSERT_TRUE(WIFEXITED(full));
    EXPECT_EQ(WEXITSTATUS(full), 1);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(FilesIn(dir.Path()), 1u);

    // The old file still loads; a save with room then succeeds.
    CIniDocument back;
    ASSERT_TRUE(back.LoadFile(path, false, true));
    EXPECT_EQ(back.ReadString("Shortcuts", "F1", ""), "old");
    ASSERT_TRUE(doc.SaveFile(path));
    ASSERT_TRUE(back.LoadFile(path, false, true));
    EXPECT_EQ(back.ReadString("Shortcuts", "F1999", ""), std::string(20, 'x'));

    // Nowhere to write: a missing folder, or a folder in the file's place.
    EXPECT_FALSE(doc.SaveFile(dir.File("missing/keys.keyset")));
    EXPECT_FALSE(doc.SaveFile(dir.Path()));
}

}  // namespace
}  // namespace quillpad
