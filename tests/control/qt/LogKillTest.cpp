// A console killed with SIGKILL keeps in its live logs every record of every
// event-loop turn that had ended: a child process logs as fast as its event
// loop turns, telling the parent after each turn how many records the ended
// turns brought; the parent kills it without warning and reads the files.

#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <sys/types.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "control/qt/CLogTurnFlush.h"
#include "data/DataStore.h"
#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

constexpr const char* kChildFolder = "QUILLPAD_LOG_KILL_FOLDER";
constexpr int kRecordsPerTurn = 40;

// The record of a number: its bytes tell it apart and end in a line break.
std::string RecordText(int n) {
    char text[32];
    std::snprintf(text, sizeof text, "record %08d\r\n", n);
    return text;
}

SRenderTextStamps Tagged(const SDataRecord& record, std::string& text) {
    text.assign("R:");
    text.append(record.bytes);
    return {};
}

SLogRequest Request(const std::string& folder) {
    SLogRequest r;
    r.plainEnabled = r.formattedEnabled = r.binaryEnabled = true;
    r.plainPath = folder + "/p.txt";
    r.formattedPath = folder + "/f.txt";
    r.binaryPath = folder + "/b.wblog";
    return r;
}

// The child: runs only when the parent starts it.
TEST(LogKill, ChildLogsUntilKilled) {
    const char* folder = std::getenv(kChildFolder);
    if (folder == nullptr) {
        GTEST_SKIP() << "started by LogKill.NoRecordOfAnEndedTurnIsLost";
    }
    CQueuedChannel channel;
    CDataStore store(channel);
    store.SetTextRenderer(&Tagged);
    const SLogRequest request = Request(folder);
    store.StartLogging(request);
    CLogTurnFlush flush([&store] { return &store; });
    int added = 0;
    QTimer turn;
    turn.setInterval(0);
    QObject::connect(&turn, &QTimer::timeout, [&] {
        // Every turn before this one has ended.
        std::printf("ended %d\n", added);
        std::fflush(stdout);
        for (int i = 0; i < kRecordsPerTurn; ++i) {
            store.AddIncomingBytes(0, RecordText(added++));
        }
        channel.DrainPending();
    });
    turn.start();
    QCoreApplication::exec();
}

TEST(LogKill, NoRecordOfAnEndedTurnIsLost) {
    test::CTempDir dir;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(kChildFolder), QString::fromStdString(dir.Path()));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=LogKill.ChildLogsUntilKilled")});
    ASSERT_TRUE(child.waitForStarted(10000));

    // Read reports until the child has run a good many turns, then kill it
    // right after a report, while it is in the middle of a turn.
    int ended = -1;
    QByteArray buffer;
    while (ended < 20000 && child.state() == QProcess::Running) {
        if (!child.waitForReadyRead(10000)) {
            break;
        }
        buffer += child.readAllStandardOutput();
        const qsizetype lastLine = buffer.lastIndexOf("ended ");
        const qsizetype end = lastLine >= 0 ? buffer.indexOf('\n', lastLine) : -1;
        if (end > lastLine) {
            ended = buffer.mid(lastLine + 6, end - lastLine - 6).toInt();
            buffer = buffer.mid(end + 1);
        }
    }
    ASSERT_GT(ended, 0) << child.readAllStandardError().toStdString();
    ::kill(static_cast<pid_t>(child.processId()), SIGKILL);
    ASSERT_TRUE(child.waitForFinished(10000));
    EXPECT_EQ(child.exitStatus(), QProcess::CrashExit);

    std::string expected;
    for (int n = 0; n < ended; ++n) {
        expected += RecordText(n);
    }
    const std::string plain = test::ReadFileBytes(dir.File("p.txt"));
    ASSERT_GE(plain.size(), expected.size()) << "records of ended turns were lost";
    EXPECT_EQ(plain.substr(0, expected.size()), expected);

    // The formatted log holds each record as the view rendered it, in order.
    std::string rendered;
    for (int n = 0; n < ended; ++n) {
        rendered += "R:" + RecordText(n);
    }
    const std::string formatted = test::ReadFileBytes(dir.File("f.txt"));
    ASSERT_GE(formatted.size(), rendered.size()) << "records of ended turns were lost";
    EXPECT_EQ(formatted.substr(0, rendered.size()), rendered);

    CQueuedChannel channel;
    CDataStore reloaded(channel);
    ASSERT_TRUE(reloaded.LoadLog(dir.File("b.wblog")).accepted);
    ASSERT_GE(reloaded.RecordCount(), static_cast<std::size_t>(ended));
    for (int n = 0; n < ended; n += 997) {
        EXPECT_EQ(reloaded.Record(static_cast<std::size_t>(n))->bytes, RecordText(n));
    }
}

}  // namespace
}  // namespace quillpad
