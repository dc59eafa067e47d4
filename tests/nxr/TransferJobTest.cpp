#include "nxr/CNxrTransferJob.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <random>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CTempDir;
using test::ReadFileBytes;
using test::WriteFileBytes;

SNxrTransferOptions With1K() {
    SNxrTransferOptions options;
    options.use1K = true;
    return options;
}

SNxrTransferOptions WithLineDelay(std::uint32_t ms) {
    SNxrTransferOptions options;
    options.pacing.lineDelayMs = ms;
    return options;
}

ByteString RandomBytes(std::size_t n) {
    std::mt19937 gen(3);
    ByteString out(n, '\0');
    for (auto& c : out) {
        c = static_cast<char>(gen() & 0xFF);
    }
    return out;
}

// Runs two jobs against each other on a clock that stands still unless both
// wait; `onTurn` may act between turns. Returns every event of `watched`.
std::vector<SNxrTransferEvent> RunPair(CNxrTransferJob& a, CNxrTransferJob& b,
                                       CNxrTransferJob& watched,
                                       const std::function<void(std::uint32_t)>& onTurn = {}) {
    std::vector<SNxrTransferEvent> events;
    std::uint32_t now = 0;
    for (int turn = 0; turn < 100000 && !(a.Finished() && b.Finished()); ++turn) {
        const ByteString ab = a.TakeOutput();
        const ByteString ba = b.TakeOutput();
        b.Feed(ab, now);
        a.Feed(ba, now);
        for (auto& e : watched.TakeEvents()) {
            events.push_back(e);
        }
        if (onTurn) {
            onTurn(now);
        }
        if (ab.empty() && ba.empty()) {
            now += 50;
            a.Tick(now);
            b.Tick(now);
        }
    }
    for (auto& e : watched.TakeEvents()) {
        events.push_back(e);
    }
    return events;
}

TEST(TransferJob, XModemFileToFileWithEventsInOrder) {
    CTempDir dir;
    const ByteString data = RandomBytes(300 * 1024 + 5);
    ASSERT_TRUE(WriteFileBytes(dir.File("image.bin"), data));
    std::string error;
    auto send = CNxrTransferJob::Start(ENxrTransferKind::XModemSend, dir.File("image.bin"),
                                       With1K(), 0, &error);
    ASSERT_TRUE(send) << error;
    auto receive =
        CNxrTransferJob::Start(ENxrTransferKind::XModemReceive, dir.File("got.bin"), {}, 0, &error);
    ASSERT_TRUE(receive) << error;
    const auto events = RunPair(*send, *receive, *send);
    EXPECT_TRUE(send->Succeeded()) << send->ErrorText();
    EXPECT_TRUE(receive->Succeeded()) << receive->ErrorText();

    const ByteString got = ReadFileBytes(dir.File("got.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(got.substr(0, data.size()) == data);
    EXPECT_FALSE(std::filesystem::exists(dir.File("got.bin.partial")));

    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[0].kind, ENxrTransferEventKind::BatchStart);
    EXPECT_EQ(events[0].values[1], static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(events[1].kind, ENxrTransferEventKind::FileStart);
    EXPECT_TRUE(events[1].flag);
    EXPECT_EQ(events[1].text3, "XModem");
    EXPECT_EQ(events[events.size() - 2].kind, ENxrTransferEventKind::FileFinish);
    EXPECT_EQ(events.back().kind, ENxrTransferEventKind::BatchFinish);
    EXPECT_TRUE(events.back().flag);
    // Progress in between, never more than 64 KiB (plus a block) apart, and
    // the last one tells the whole size.
    std::int32_t last = 0;
    for (std::size_t i = 2; i + 2 < events.size(); ++i) {
        ASSERT_EQ(events[i].kind, ENxrTransferEventKind::FileProgress);
        EXPECT_LE(events[i].values[0] - last, 64 * 1024 + 1024);
        last = events[i].values[0];
    }
    EXPECT_EQ(last, static_cast<std::int32_t>(data.size()));
}

TEST(TransferJob, AFailedReceiveKeepsTheOldFileAndWhatArrivedAsPartial) {
    CTempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("image.bin"), RandomBytes(50000)));
    ASSERT_TRUE(WriteFileBytes(dir.File("got.bin"), "the good old file"));
    std::string error;
    auto send =
        CNxrTransferJob::Start(ENxrTransferKind::XModemSend, dir.File("image.bin"), {}, 0, &error);
    auto receive =
        CNxrTransferJob::Start(ENxrTransferKind::XModemReceive, dir.File("got.bin"), {}, 0, &error);
    ASSERT_TRUE(send && receive);
    RunPair(*send, *receive, *receive, [&](std::uint32_t now) {
        if (std::filesystem::file_size(dir.File("got.bin.partial")) >= 10000 ||
            receive->ErrorText().size() > 0) {
            receive->Cancel(now);
        }
    });
    EXPECT_FALSE(receive->Succeeded());
    EXPECT_FALSE(send->Succeeded());
    EXPECT_EQ(ReadFileBytes(dir.File("got.bin")), "the good old file");
    const ByteString partial = ReadFileBytes(dir.File("got.bin.partial"));
    EXPECT_GE(partial.size(), 10000u);
    EXPECT_NE(receive->ErrorText().find("got.bin.partial"), std::string::npos)
        << receive->ErrorText();
}

// What a receive writes is the user's alone however permissive the umask,
// also where a NAME.partial of another mode was left over, and the file it
// becomes replaces one that others could read.
TEST(TransferJob, AReceivedFileIsTheUsersAloneWhateverTheUmask) {
    CTempDir dir;
    const mode_t oldMask = ::umask(0);
    ASSERT_TRUE(WriteFileBytes(dir.File("image.bin"), RandomBytes(3000)));
    ASSERT_TRUE(WriteFileBytes(dir.File("got.bin"), "old"));
    ASSERT_TRUE(WriteFileBytes(dir.File("got.bin.partial"), "left over"));
    ::chmod(dir.File("got.bin").c_str(), 0644);
    ::chmod(dir.File("got.bin.partial").c_str(), 0666);
    std::string error;
    auto send =
        CNxrTransferJob::Start(ENxrTransferKind::XModemSend, dir.File("image.bin"), {}, 0, &error);
    auto receive =
        CNxrTransferJob::Start(ENxrTransferKind::XModemReceive, dir.File("got.bin"), {}, 0, &error);
    ::umask(oldMask);
    ASSERT_TRUE(send && receive) << error;
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("got.bin.partial").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << "while it arrives";
    RunPair(*send, *receive, *receive);
    ASSERT_TRUE(receive->Succeeded()) << receive->ErrorText();
    ASSERT_EQ(::stat(dir.File("got.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
    EXPECT_EQ(ReadFileBytes(dir.File("got.bin")).size(), 3072u);
}

TEST(TransferJob, FilesThatCannotBeUsedFailAtTheStart) {
    CTempDir dir;
    std::string error;
    EXPECT_FALSE(
        CNxrTransferJob::Start(ENxrTransferKind::XModemSend, dir.File("missing"), {}, 0, &error));
    EXPECT_NE(error.find("missing"), std::string::npos);
    EXPECT_FALSE(CNxrTransferJob::Start(ENxrTransferKind::AsciiReceive,
                                        dir.File("no/such/folder/x"), {}, 0, &error));
    EXPECT_NE(error.find("cannot write"), std::string::npos);
}

TEST(TransferJob, AsciiReceiveEndsWhenStoppedAndSucceeds) {
    CTempDir dir;
    std::string error;
    auto job =
        CNxrTransferJob::Start(ENxrTransferKind::AsciiReceive, dir.File("log.txt"), {}, 0, &error);
    ASSERT_TRUE(job) << error;
    EXPECT_FALSE(job->OwnsLink());
    job->Feed("line 1\r\n", 0);
    job->Feed(ByteString("\0\xFF", 2), 10);
    job->Cancel(20);
    EXPECT_TRUE(job->Succeeded());
    EXPECT_EQ(ReadFileBytes(dir.File("log.txt")), ByteString("line 1\r\n\0\xFF", 10));
    const auto events = job->TakeEvents();
    EXPECT_EQ(events.back().kind, ENxrTransferEventKind::BatchFinish);
}

TEST(TransferJob, AsciiSendHandsOutTheFileAndCanBeCancelled) {
    CTempDir dir;
    ASSERT_TRUE(WriteFileBytes(dir.File("prog.txt"), "10 PRINT\r\n20 GOTO 10\r\n"));
    std::string error;
    auto job = CNxrTransferJob::Start(ENxrTransferKind::AsciiSend, dir.File("prog.txt"),
                                      WithLineDelay(100), 0, &error);
    ASSERT_TRUE(job) << error;
    EXPECT_EQ(job->TakeOutput(), "10 PRINT\r\n");
    job->Tick(50);
    EXPECT_EQ(job->TakeOutput(), "");
    job->Cancel(60);
    EXPECT_TRUE(job->Finished());
    EXPECT_FALSE(job->Succeeded());
    EXPECT_NE(job->ErrorText().find("10 of 22"), std::string::npos) << job->ErrorText();
}

// The pacing travels after the path; a block with the path alone, as older
// consoles send it, still reads as unpaced.
TEST(TransferJob, AsciiSendBlockCarriesItsPacingAndOldBlocksStillRead) {
    SAsciiPacing pacing{.charDelayMs = 7, .lineDelayMs = 250};
    std::string error;
    const auto paced =
        CNxrParamBlock::Decode(NxrAsciiSendBlock("/tmp/a b", pacing).Encode(), &error);
    ASSERT_TRUE(paced) << error;
    EXPECT_EQ(paced->TextAt(0), "/tmp/a b");
    SAsciiPacing read{.charDelayMs = 1, .lineDelayMs = 1};
    ASSERT_TRUE(NxrReadAsciiPacing(*paced, read, &error)) << error;
    EXPECT_EQ(read.lineDelayMs, 250u);
    EXPECT_EQ(read.charDelayMs, 7u);

    const ByteString old = CNxrParamBlock().AddText("/tmp/a").Encode();
    EXPECT_EQ(NxrAsciiSendBlock("/tmp/a", {}).Encode(), old);
    ASSERT_TRUE(NxrReadAsciiPacing(*CNxrParamBlock::Decode(old, nullptr), read, &error));
    EXPECT_EQ(read.lineDelayMs, 0u);
    EXPECT_EQ(read.charDelayMs, 0u);
    CNxrParamBlock lineOnly;
    lineOnly.AddText("/tmp/a").AddInteger(kNxrMaxPacingMs);
    ASSERT_TRUE(NxrReadAsciiPacing(lineOnly, read, &error));
    EXPECT_EQ(read.lineDelayMs, kNxrMaxPacingMs);

    CNxrParamBlock negative;
    negative.AddText("/tmp/a").AddInteger(0).AddInteger(-5);
    EXPECT_FALSE(NxrReadAsciiPacing(negative, read, &error));
    EXPECT_NE(error.find("after each character (-5 ms)"), std::string::npos) << error;
    CNxrParamBlock tooLong;
    tooLong.AddText("/tmp/a").AddInteger(10001);
    EXPECT_FALSE(NxrReadAsciiPacing(tooLong, read, &error));
    EXPECT_NE(error.find("after each line"), std::string::npos) << error;
    CNxrParamBlock text;
    text.AddText("/tmp/a").AddText("100");
    EXPECT_FALSE(NxrReadAsciiPacing(text, read, &error));
}

}  // namespace
}  // namespace quillpad
