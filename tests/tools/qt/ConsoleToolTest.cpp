// quillpad-console end to end: keys from a pipe to the simulated controller,
// its answer on stdout, status and errors on stderr.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <string>

#include "tests/support/TempDir.h"

namespace quillpad {
namespace {

struct SConsoleRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

SConsoleRun RunConsole(const QStringList& args, const QByteArray& input) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setProgram(QStringLiteral(QUILLPAD_BINARY_DIR) + "/tools/console/quillpad-console");
    process.setArguments(args);
    process.start();
    SConsoleRun run;
    if (!process.waitForStarted(10000)) {
        run.err = "cannot start " + process.program().toStdString();
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

// Each run ends as soon as the device's answer is in; the time given is only
// the longest wait for it.
TEST(ConsoleTool, TypedLinesReachTheDeviceAndItsAnswerComesOut) {
    const SConsoleRun run =
        RunConsole({"sim:name=QX-3", "--until", "(build", "--linger", "15000"}, "ver\n");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("ver\r\n"), std::string::npos) << "the device's echo: " << run.out;
    EXPECT_NE(run.out.find("QX-3 firmware"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("[connected]"), std::string::npos) << run.err;
}

TEST(ConsoleTool, ABadSpecIsReportedAndNothingHangs) {
    const SConsoleRun run = RunConsole({"tcp:127.0.0.1", "--linger", "100"}, "");
    EXPECT_NE(run.err.find("[Error] bad connection spec"), std::string::npos) << run.err;
    EXPECT_EQ(RunConsole({"--linger", "x"}, "").exitCode, 2);
}

TEST(ConsoleTool, TheWindowShowsTheTrafficAndSavesItsPicture) {
    test::CTempDir dir;
    const std::string picture = dir.File("console.png");
    const SConsoleRun run =
        RunConsole({"sim:", "--window", "--type", "ver\n", "--screenshot",
                    QString::fromStdString(picture), "--until", "(build", "--after", "15000"},
                   "");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    QImage image(QString::fromStdString(picture));
    ASSERT_FALSE(image.isNull()) << run.err;
    EXPECT_EQ(image.size(), QSize(800, 500));
    // Something was drawn on the background: the device's greeting and answer.
    const QRgb background = image.pixel(image.width() - 1, image.height() - 1);
    int drawn = 0;
    for (int y = 0; y < 80; ++y) {
        for (int x = 0; x < 300; ++x) {
            drawn += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    EXPECT_GT(drawn, 200);
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// Scripted loads: what stdin says puts the device in the mood, then the
// operation runs, and the status says how it went.
TEST(ConsoleTool, XModemBothWaysBreakAndFailuresFromTheCommandLine) {
    test::CTempDir dir;
    std::string image(2000, '\0');
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 7);
    }
    ASSERT_TRUE(test::WriteFileBytes(dir.File("fw.bin"), image));
    const QString fw = QString::fromStdString(dir.File("fw.bin"));
    const SConsoleRun sent = RunConsole({"sim:", "--xmodem-send", fw}, "xmodem receive\n");
    EXPECT_EQ(sent.exitCode, 0) << sent.err;
    EXPECT_NE(sent.out.find("xmodem: received 2048 bytes"), std::string::npos) << sent.out;

    const QString got = QString::fromStdString(dir.File("got.bin"));
    const SConsoleRun received = RunConsole({"sim:", "--xmodem-receive", got}, "xmodem send 300\n");
    EXPECT_EQ(received.exitCode, 0) << received.err;
    EXPECT_EQ(test::ReadFileBytes(dir.File("got.bin")).size(), 384u);

    const SConsoleRun broke = RunConsole({"sim:", "--break"}, "");
    EXPECT_EQ(broke.exitCode, 0) << broke.err;
    EXPECT_NE(broke.out.find("*** BREAK received ***"), std::string::npos) << broke.out;

    const SConsoleRun missing =
        RunConsole({"sim:", "--ascii-send", QString::fromStdString(dir.File("none.txt"))}, "");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("none.txt"), std::string::npos) << missing.err;
    EXPECT_EQ(RunConsole({"sim:", "--break", "--ascii-send", fw}, "").exitCode, 2);
}

}  // namespace
}  // namespace quillpad
