// Transfers through the session: a serial link on a socat pseudo-terminal
// with lrzsz's rx or sx at the far end. The events come in order, the
// request completes once, and XModem's protocol bytes never become data.

#include <gtest/gtest.h>

#include <filesystem>

#include "nxr/NxrParamBlock.h"
#include "nxr/NxrRequestBlocks.h"
#include "nxr/qt/CNxrIoThread.h"
#include "nxr/qt/CNxrSession.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

using test::CPtyPeer;
using test::WaitFor;

using test::RandomBytes;

// The recording sink, with the file transfer events in order.
class CTransferSink : public test::CRecordingSink {
  public:
    struct SFileEvent {
        ENxrEventId id;
        std::uint32_t requestId;
        std::int32_t a = 0;
        std::int32_t b = 0;
        bool flag = false;
    };
    std::int32_t OnFileBatchStart(std::uint32_t id, const WideString&, std::int32_t files,
                                  std::int32_t bytes) override {
        file.push_back({ENxrEventId::FileBatchStart, id, files, bytes});
        return 0;
    }
    std::int32_t OnFileStart(std::uint32_t id, const WideString&, const WideString&,
                             std::int32_t size, bool sending, const WideString&) override {
        file.push_back({ENxrEventId::FileStart, id, size, 0, sending});
        return 0;
    }
    std::int32_t OnFileProgress(std::uint32_t id, std::int32_t done, std::int32_t total,
                                std::int32_t, std::int32_t) override {
        file.push_back({ENxrEventId::FileProgress, id, done, total});
        return 0;
    }
    std::int32_t OnFileFinish(std::uint32_t id, bool success) override {
        file.push_back({ENxrEventId::FileFinish, id, 0, 0, success});
        return 0;
    }
    std::int32_t OnFileBatchFinish(std::uint32_t id, bool success) override {
        file.push_back({ENxrEventId::FileBatchFinish, id, 0, 0, success});
        return 0;
    }
    int Completions(std::uint32_t id) const {
        int n = 0;
        for (const auto& e : events) {
            n += (e.id == ENxrEventId::RequestCompleted && e.requestId == id) ? 1 : 0;
        }
        return n;
    }
    std::vector<SFileEvent> file;
};

class NxrSessionTransfer : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* tool : {"socat", "sx", "rx"}) {
            if (!test::HaveProgram(tool)) {
                QUILLPAD_PEER_MISSING(tool
                                      << " is not installed (tools/install-deps.sh installs it)");
            }
        }
        pty = std::make_unique<CPtyPeer>(dir.Path(), false);
        ASSERT_TRUE(pty->Ready());
        session.Advise(&sink);
        const std::string spec = "serial:" + pty->Near() + ",115200,8N1";
        ASSERT_EQ(session.Open(BytesToWide(spec), BytesToWide("test"), &handle), 0)
            << session.ErrorText(0);
        std::uint32_t id = 0;
        session.Request(0x5000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    }
    void TearDown() override { session.Close(&handle); }

    std::uint32_t Transfer(std::uint32_t code, const std::string& path, bool use1K = false) {
        std::uint32_t id = 0;
        // The console's 1000 ms time-out: a transfer outlasts it.
        EXPECT_EQ(session.Request(code, test::TransferParams(path, use1K), 1000, &id, nullptr, 0,
                                  &handle),
                  0);
        return id;
    }

    test::CTempDir dir;
    std::unique_ptr<CPtyPeer> pty;
    CNxrSession session;
    CTransferSink sink;
    NxrHandle handle = 0;
};

TEST_F(NxrSessionTransfer, XModem1KSendToRxWithEventsInOrderAndNoRecords) {
    const ByteString data = RandomBytes(600 * 1024 + 3, 1);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("image.bin"), data));
    std::filesystem::create_directory(dir.File("in"));
    pty->Start({"sh", "-c", "cd in && exec rx -q -b -c got.bin"});
    const std::uint32_t id = Transfer(0xE003, dir.File("image.bin"), true);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 60000));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    WaitFor([&] { return false; }, 300);  // nothing more may come
    EXPECT_EQ(sink.Completions(id), 1);
    EXPECT_EQ(sink.received, "");
    EXPECT_EQ(sink.transmitted, "");

    ASSERT_GE(sink.file.size(), 5u);
    EXPECT_EQ(sink.file[0].id, ENxrEventId::FileBatchStart);
    EXPECT_EQ(sink.file[1].id, ENxrEventId::FileStart);
    EXPECT_TRUE(sink.file[1].flag);
    EXPECT_EQ(sink.file[1].a, static_cast<std::int32_t>(data.size()));
    EXPECT_EQ(sink.file[sink.file.size() - 2].id, ENxrEventId::FileFinish);
    EXPECT_EQ(sink.file.back().id, ENxrEventId::FileBatchFinish);
    EXPECT_TRUE(sink.file.back().flag);
    std::int32_t last = 0;
    for (std::size_t i = 2; i + 2 < sink.file.size(); ++i) {
        ASSERT_EQ(sink.file[i].id, ENxrEventId::FileProgress);
        EXPECT_LE(sink.file[i].a - last, 64 * 1024 + 1024);
        last = sink.file[i].a;
    }
    EXPECT_EQ(last, static_cast<std::int32_t>(data.size()));
    for (const auto& e : sink.file) {
        EXPECT_EQ(e.requestId, id);
    }
    ASSERT_TRUE(WaitFor([&] { return pty->PollExit() >= 0; }));
    const ByteString got = test::ReadFileBytes(dir.File("in/got.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(got.substr(0, data.size()) == data);
}

TEST_F(NxrSessionTransfer, XModemReceiveFromSxAndTheConsoleResumesAfter) {
    const ByteString data = RandomBytes(100000, 2);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), data));
    pty->Start({"sx", "-q", "-b", "-k", "out.bin"});
    const std::uint32_t id = Transfer(0xE004, dir.File("got.bin"));
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 60000));
    EXPECT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
    const ByteString got = test::ReadFileBytes(dir.File("got.bin"));
    ASSERT_GE(got.size(), data.size());
    EXPECT_TRUE(got.substr(0, data.size()) == data);
    EXPECT_FALSE(std::filesystem::exists(dir.File("got.bin.partial")));
    EXPECT_EQ(sink.received, "");

    // After it, the link's bytes are console data again.
    ASSERT_TRUE(WaitFor([&] { return pty->PollExit() >= 0; }));
    pty->Start({"sh", "-c", "printf 'hello after'"});
    EXPECT_TRUE(WaitFor([&] { return sink.received == "hello after"; }));
}

TEST_F(NxrSessionTransfer, CancelEndsAReceiveOnceAndKeepsWhatArrived) {
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), RandomBytes(1 << 20, 3)));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("got.bin"), "old"));
    pty->Start({"sx", "-q", "-b", "-k", "out.bin"});
    const std::uint32_t id = Transfer(0xE004, dir.File("got.bin"));
    ASSERT_TRUE(WaitFor([&] {
        for (const auto& e : sink.file) {
            if (e.id == ENxrEventId::FileProgress && e.a > 0) {
                return true;
            }
        }
        return false;
    }));
    EXPECT_EQ(session.Cancel(id, 2, &handle), 0);
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_FALSE(sink.Completion(id)->success);
    EXPECT_NE(session.ErrorText(id).find("got.bin.partial"), std::string::npos)
        << session.ErrorText(id);
    WaitFor([&] { return false; }, 300);
    EXPECT_EQ(sink.Completions(id), 1);
    EXPECT_EQ(test::ReadFileBytes(dir.File("got.bin")), "old");
    EXPECT_GT(test::ReadFileBytes(dir.File("got.bin.partial")).size(), 0u);
    EXPECT_TRUE(WaitFor([&] { return pty->PollExit() >= 0; }));
}

TEST_F(NxrSessionTransfer, AsciiSendGoesOutAsDataAndAMissingFileFails) {
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "10 PRINT\r\n20 END\r\n"));
    pty->Start({"sh", "-c", "head -c 18 > typed.txt"});
    const std::uint32_t id = Transfer(0xE006, dir.File("prog.txt"));
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
    EXPECT_TRUE(sink.Completion(id)->success);
    EXPECT_EQ(sink.transmitted, "10 PRINT\r\n20 END\r\n");
    ASSERT_TRUE(WaitFor([&] { return pty->PollExit() >= 0; }));
    EXPECT_EQ(test::ReadFileBytes(dir.File("typed.txt")), "10 PRINT\r\n20 END\r\n");

    const std::uint32_t missing = Transfer(0xE003, dir.File("nothing.bin"));
    ASSERT_TRUE(WaitFor([&] { return sink.Completion(missing) != nullptr; }));
    EXPECT_FALSE(sink.Completion(missing)->success);
    EXPECT_NE(session.ErrorText(missing).find("nothing.bin"), std::string::npos);
}

// The serial link vanishes in the middle of a transfer (socat, which holds
// the pseudo-terminal's other side, is killed). The transfer fails once with
// the reason, a receive keeps what arrived in its ".partial" file, and the
// console goes on: a reconnect to a new pair carries typed bytes, and the
// session closes with no I/O thread left behind.
class NxrSessionTransferLinkLoss : public NxrSessionTransfer {
  protected:
    bool Progressed(std::uint32_t id, std::int32_t atLeast) const {
        for (const auto& e : sink.file) {
            if (e.id == ENxrEventId::FileProgress && e.requestId == id && e.a >= atLeast) {
                return true;
            }
        }
        return false;
    }

    // Vanishes the link while `id` runs and checks that it ends once, failed,
    // with the link's loss as its reason.
    void VanishDuring(std::uint32_t id) {
        pty->Vanish();
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }, 20000))
            << "the transfer never ended";
        EXPECT_FALSE(sink.Completion(id)->success);
        error = session.ErrorText(id);
        EXPECT_NE(error.find("the link went down: the device " + pty->Near() + " went away"),
                  std::string::npos)
            << error;
        WaitFor([&] { return false; }, 300);  // nothing more may come
        EXPECT_EQ(sink.Completions(id), 1);
        ASSERT_FALSE(sink.file.empty());
        EXPECT_EQ(sink.file.back().id, ENxrEventId::FileBatchFinish);
        EXPECT_FALSE(sink.file.back().flag);
        EXPECT_EQ(sink.LastStatus(), static_cast<std::uint16_t>(ENxrConnectionStatus::LinkLost));
    }

    // A new pair where the old one was: Reconnect brings the link back and a
    // key typed at the console reaches the far end.
    void TypingReachesANewLink() {
        pty.reset();
        pty = std::make_unique<CPtyPeer>(dir.Path(), false);
        ASSERT_TRUE(pty->Ready());
        std::uint32_t id = 0;
        session.Request(0xE000, NxrEmptyParamBlock(), -1, &id, nullptr, 0, &handle);
        ASSERT_TRUE(WaitFor([&] { return sink.Completion(id) != nullptr; }));
        ASSERT_TRUE(sink.Completion(id)->success) << session.ErrorText(id);
        pty->Start({"sh", "-c", "head -c 4 > typed.txt"});
        EXPECT_EQ(session.Send(BytesToWide("dir\r"), 1000, &handle), 0) << session.ErrorText(0);
        ASSERT_TRUE(WaitFor([&] { return pty->PollExit() >= 0; }));
        EXPECT_EQ(test::ReadFileBytes(dir.File("typed.txt")), "dir\r");

        session.Close(&handle);
        EXPECT_TRUE(WaitFor([&] { return CNxrIoThread::Running() == 0; }))
            << CNxrIoThread::Running() << " I/O threads still run";
    }

    std::string error;
};

TEST_F(NxrSessionTransferLinkLoss, XModemSend) {
    ASSERT_TRUE(test::WriteFileBytes(dir.File("image.bin"), RandomBytes(4 << 20, 4)));
    std::filesystem::create_directory(dir.File("in"));
    pty->Start({"sh", "-c", "cd in && exec rx -q -b -c got.bin"});
    const std::uint32_t id = Transfer(0xE003, dir.File("image.bin"));
    ASSERT_TRUE(WaitFor([&] { return Progressed(id, 1); }, 20000));
    ASSERT_NO_FATAL_FAILURE(VanishDuring(id));
    ASSERT_NO_FATAL_FAILURE(TypingReachesANewLink());
}

TEST_F(NxrSessionTransferLinkLoss, XModemReceiveKeepsThePartialFileAndTheOldTarget) {
    const ByteString data = RandomBytes(4 << 20, 5);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("out.bin"), data));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("got.bin"), "old"));
    pty->Start({"sx", "-q", "-b", "-k", "out.bin"});
    const std::uint32_t id = Transfer(0xE004, dir.File("got.bin"));
    ASSERT_TRUE(WaitFor([&] { return Progressed(id, 1); }, 20000));
    ASSERT_NO_FATAL_FAILURE(VanishDuring(id));
    EXPECT_NE(error.find("\"got.bin.partial\""), std::string::npos) << error;
    EXPECT_EQ(test::ReadFileBytes(dir.File("got.bin")), "old");
    const ByteString partial = test::ReadFileBytes(dir.File("got.bin.partial"));
    ASSERT_GT(partial.size(), 0u);
    ASSERT_LT(partial.size(), data.size());
    EXPECT_TRUE(partial == data.substr(0, partial.size())) << "the partial file is what arrived";
    EXPECT_NE(error.find(std::to_string(partial.size()) + " bytes"), std::string::npos) << error;
    ASSERT_NO_FATAL_FAILURE(TypingReachesANewLink());
}

TEST_F(NxrSessionTransferLinkLoss, AsciiSend) {
    const ByteString text(4000, 'a');
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), text));
    pty->Start({"sh", "-c", "cat > typed.txt"});
    std::uint32_t id = 0;
    ASSERT_EQ(session.Request(0xE006,
                              NxrAsciiSendBlock(dir.File("prog.txt"), {.charDelayMs = 2}).Encode(),
                              1000, &id, nullptr, 0, &handle),
              0);
    ASSERT_TRUE(WaitFor([&] { return sink.transmitted.size() >= 50; }, 20000));
    ASSERT_NO_FATAL_FAILURE(VanishDuring(id));
    EXPECT_LT(sink.transmitted.size(), text.size());
    ASSERT_NO_FATAL_FAILURE(TypingReachesANewLink());
}

}  // namespace
}  // namespace quillpad
