// quillpad-console end to end: keys from a pipe to the simulated controller,
// its answer on stdout, status and errors on stderr.

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "control/CQuillpadSettings.h"
#include "data/DataStore.h"
#include "data/SpillFile.h"
#include "devsim/CDevSimEngine.h"
#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

struct SConsoleRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// `folder`: where it runs (none: here). `act` runs, with the console's pid,
// once standard error has said `cue` (a peer that must start after the
// console is ready for it, a signal).
SConsoleRun RunConsole(const QStringList& args, const QByteArray& input,
                       const std::string& folder = {}, const std::string& cue = {},
                       const std::function<void(pid_t)>& act = {}) {
    QProcess process;
    if (!folder.empty()) {
        process.setWorkingDirectory(QString::fromStdString(folder));
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.setProgram(QFile::decodeName(quillpad::test::BinaryDir().c_str()) +
                       "/tools/console/quillpad-console");
    process.setArguments(args);
    process.start();
    SConsoleRun run;
    if (!process.waitForStarted(10000)) {
        run.err = "cannot start " + process.program().toStdString();
        return run;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!cue.empty()) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (run.err.find(cue) == std::string::npos && process.state() != QProcess::NotRunning &&
               std::chrono::steady_clock::now() < end) {
            process.waitForReadyRead(20);
            run.err += process.readAllStandardError().toStdString();
        }
        act(static_cast<pid_t>(process.processId()));
    }
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err += process.readAllStandardError().toStdString();
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

// SIGTERM ends a console that spilled past a small history budget as its
// quit does: status 0, its logs whole, no spill file left to offer.
TEST(ConsoleTool, ASignalQuitsAsQuitDoesAndLeavesNoSpillFile) {
    test::CTempDir dir;
    CQuillpadSettings settings;
    settings.LoadFromRegistry();
    settings.m_historyMemoryMB = 1;
    settings.SaveToRegistry();
    constexpr std::size_t kFlood = 3'000'000;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("flood.lua"),
                                     "assert(log.start{plain = 'run.txt', binary = 'run.wblog'})\n"
                                     "send('flood 0 " +
                                         std::to_string(kFlood) +
                                         "\\r')\n"
                                         "assert(expect('flood done', 120000))\n"
                                         "print('flooded')\n"
                                         "expect('nothing this device says', 600000)\n"));
    const auto spillFiles = [] {
        std::vector<std::string> names;
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(DefaultSpillFolder(), ec)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    };
    std::size_t spilling = 0;
    const SConsoleRun run =
        RunConsole({"sim:", "--script", "flood.lua"}, "", dir.Path(), "flooded", [&](pid_t pid) {
            spilling = spillFiles().size();
            ::kill(pid, SIGTERM);
        });
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_GT(spilling, 0u) << "it spilled";
    EXPECT_TRUE(spillFiles().empty()) << spillFiles().front();

    const ByteString flood = CDevSimEngine::FloodBytes(0, kFlood);
    const ByteString plain = test::ReadFileBytes(dir.File("run.txt"));
    EXPECT_NE(plain.find(flood), std::string::npos) << plain.size();
    EXPECT_NE(plain.find("flood done"), std::string::npos);
    CQueuedChannel channel;
    CDataStore reloaded(channel);
    const SBinaryLogLoad load = reloaded.LoadLog(dir.File("run.wblog"));
    ASSERT_TRUE(load.accepted);
    EXPECT_FALSE(load.truncated);
    std::string own;
    for (std::size_t i = 0; i < reloaded.RecordCount(); ++i) {
        const SDataRecord r = *reloaded.Record(i);
        if (r.source == kSourceOwn) {
            own.append(r.bytes);
        }
    }
    // The same bytes, after the plain log's opening line.
    const std::size_t opening = plain.find('\n') + 1;
    EXPECT_EQ(plain.size() - opening, own.size());
    EXPECT_TRUE(plain.substr(opening) == own);
}

// The examples of the manual pages, as written. In EXAMPLES a line "$ ..."
// is a command and the lines after it, up to the next command or ".fi",
// what it prints (each a whole line of standard output, in that order).
// The commands on the simulated controller (they name "sim:") run through
// the shell; the others need what the test has not (a device on a serial
// port, a window, the user's own logs) and stand in a block that starts
// with the comment `.\" not run: WHY`, which the test skips and requires.
struct SManExample {
    std::string page;
    std::string command;
    std::vector<std::string> prints;
};

std::string FromRoff(std::string line) {
    static const std::pair<std::string_view, std::string_view> kEscapes[] = {
        {"\\-", "-"}, {"\\e", "\\"}, {"\\(aq", "'"}, {"\\&", ""}};
    for (const auto& [escape, text] : kEscapes) {
        for (std::size_t at = line.find(escape); at != std::string::npos;
             at = line.find(escape, at + text.size())) {
            line.replace(at, escape.size(), text);
        }
    }
    return line;
}

std::vector<SManExample> ManExamples(std::vector<std::string>& unmarked) {
    std::vector<SManExample> examples;
    for (const auto& entry :
         std::filesystem::directory_iterator(quillpad::test::SourceDir() + "/docs/man")) {
        const std::string page = entry.path().filename().string();
        std::istringstream text(test::ReadFileBytes(entry.path().string()));
        bool inExamples = false;
        bool filled = true;
        bool notRun = false;
        SManExample* current = nullptr;
        for (std::string line; std::getline(text, line);) {
            if (line.starts_with(".SH")) {
                inExamples = line == ".SH EXAMPLES";
                continue;
            }
            if (!inExamples) {
                continue;
            }
            if (line.starts_with(".\\\" not run:")) {
                notRun = true;
            } else if (line == ".nf") {
                filled = false;
            } else if (line == ".fi") {
                filled = true;
                notRun = false;
                current = nullptr;
            } else if (!filled && line.starts_with("$ ")) {
                const std::string command = FromRoff(line.substr(2));
                current = nullptr;
                if (notRun) {
                    continue;
                }
                if (command.find("sim:") == std::string::npos) {
                    unmarked.push_back(page + ": " + command);
                    continue;
                }
                examples.push_back(SManExample{page, command, {}});
                current = &examples.back();
            } else if (!filled && current != nullptr && !line.starts_with(".")) {
                current->prints.push_back(FromRoff(line));
            }
        }
    }
    return examples;
}

TEST(ConsoleTool, TheManualPagesExamplesOnTheSimulatorRunAsWritten) {
    std::vector<std::string> unmarked;
    const auto examples = ManExamples(unmarked);
    EXPECT_TRUE(unmarked.empty()) << "an example that is not run says why: "
                                  << ::testing::PrintToString(unmarked);
    ASSERT_FALSE(examples.empty());
    const QString tools = QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/tools";
    for (const SManExample& example : examples) {
        test::CTempDir dir;
        QProcess shell;
        shell.setWorkingDirectory(QString::fromStdString(dir.Path()));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert(
            "PATH", tools + "/console:" + tools + "/quillpad-log:" + environment.value("PATH"));
        shell.setProcessEnvironment(environment);
        shell.start("/bin/sh", {"-c", QString::fromStdString(example.command)});
        ASSERT_TRUE(shell.waitForStarted(10000));
        shell.closeWriteChannel();
        if (!shell.waitForFinished(30000)) {
            shell.kill();
            shell.waitForFinished();
        }
        const std::string out = shell.readAllStandardOutput().toStdString();
        const std::string what = example.page + ": " + example.command;
        EXPECT_EQ(shell.exitStatus(), QProcess::NormalExit) << what;
        EXPECT_EQ(shell.exitCode(), 0) << what << "\n"
                                       << shell.readAllStandardError().toStdString();
        // Whole lines, in order; a device ends its lines with CR LF.
        std::istringstream lines(out);
        auto expected = example.prints.begin();
        for (std::string line; expected != example.prints.end() && std::getline(lines, line);) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line == *expected) {
                ++expected;
            }
        }
        EXPECT_TRUE(expected == example.prints.end())
            << what << "\ndoes not print \"" << *expected << "\" where its page says; it printed:\n"
            << out;
    }
}

}  // namespace
}  // namespace quillpad

namespace quillpad {
namespace {

// Scripted loads: what stdin says puts the device in the mood, then the
// operation runs, and the status says how it went.
// A Lua script on the simulator: it answers, marks and reads its
// arguments (status 0); a failing one names its line (1); one that cannot be
// read or compiled is refused before any link (2).
TEST(ConsoleTool, ScriptsRunOnTheLinkAndTheirEndIsTheStatus) {
    test::CTempDir dir;
    const auto script = [&](const std::string& name, const std::string& text) {
        EXPECT_TRUE(test::WriteFileBytes(dir.File(name), text));
        return QString::fromStdString(dir.File(name));
    };
    const SConsoleRun ok = RunConsole({"sim:name=QX-5", "--script",
                                       script("ver.lua",
                                              "send('ver\\r')\n"
                                              "local v = expect('firmware', 5000)\n"
                                              "print('seen', v, args[1], #args)\n"
                                              "assert(expect('nothing', 100) == nil)\n"),
                                       "rig-7", "--until"},
                                      "");
    EXPECT_EQ(ok.exitCode, 0) << ok.err;
    EXPECT_NE(ok.out.find("QX-5 firmware"), std::string::npos) << ok.out;
    EXPECT_NE(ok.err.find("seen\tfirmware\trig-7\t2"), std::string::npos) << ok.err;

    const SConsoleRun failed = RunConsole(
        {"sim:", "--script", script("fail.lua", "sleep(10)\n\nerror('no prompt')\n")}, "");
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_NE(failed.err.find("fail.lua:3: no prompt"), std::string::npos) << failed.err;

    const SConsoleRun bad = RunConsole({"sim:", "--script", script("bad.lua", "send(")}, "");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("bad.lua:1:"), std::string::npos) << bad.err;
    EXPECT_EQ(bad.err.find("[connected]"), std::string::npos)
        << "no link for a script that fails to load";
    EXPECT_EQ(
        RunConsole({"sim:", "--script", QString::fromStdString(dir.File("none.lua"))}, "").exitCode,
        2);
}

// A script's plain log from the command line holds what the device said
// while it ran; its regular expression reads the reply's groups; and dtr()
// on a link without lines fails the run with the line's number.
TEST(ConsoleTool, AScriptLogsReadsARegexAndFailsOnAMissingLine) {
    test::CTempDir dir;
    const std::string log = dir.File("run.txt");
    const std::string path = dir.File("log.lua");
    ASSERT_TRUE(test::WriteFileBytes(
        path, "assert(log.start{plain = '" + log +
                  "'})\n"
                  "send('ver\\r')\n"
                  "local _, build = expect({regex = '\\\\(build (\\\\d+)\\\\)'}, 5000)\n"
                  "print('build', build)\n"
                  "send('info\\r') assert(expect('SIM-000042', 5000))\n"
                  "assert(log.stop())\n"
                  "dtr(true)\n"));
    const SConsoleRun run = RunConsole({"sim:", "--script", QString::fromStdString(path)}, "");
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_NE(run.err.find("build\t1187"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("log.lua:7: dtr: this link has no DTR line"), std::string::npos)
        << run.err;
    const std::string text = test::ReadFileBytes(log);
    EXPECT_NE(text.find("firmware 4.2.7 (build 1187)"), std::string::npos) << text;
    EXPECT_NE(text.find("SIM-000042"), std::string::npos) << text;
}

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

// The reference XModem at the other end of a script's transfers, over a
// socat pseudo-terminal pair: lrzsz's rx takes a file the script sends, in
// the 1K blocks the command line asks for, and sx sends one the script
// receives into a private file. Both files are named from the folder the
// console runs in.
TEST(ConsoleTool, AScriptSendsToRxAndReceivesFromSx) {
    if (const std::string missing = test::MissingLrzszTool(); !missing.empty()) {
        QUILLPAD_PEER_MISSING(missing << " is not installed (tools/install-deps.sh installs it)");
    }
    test::CTempDir dir;
    const std::string link = dir.File("link");
    std::filesystem::create_directory(link);
    test::CPtyPeer pty(link, false);
    ASSERT_TRUE(pty.Ready());
    const QString spec = QString::fromStdString("serial:" + pty.Near() + ",115200,8N1");
    const auto peerLog = [&] { return test::ReadFileBytes(link + "/peer.log"); };
    const auto peerEnded = [&] { return test::WaitFor([&] { return pty.PollExit() >= 0; }); };

    // 2900 bytes are 23 blocks of 128 but three of 1K: 3072 bytes say which went.
    const ByteString image = test::RandomBytes(2900, 11);
    ASSERT_TRUE(test::WriteFileBytes(dir.File("fw.bin"), image));
    ASSERT_TRUE(test::WriteFileBytes(
        dir.File("send.lua"), "print('sending')\nassert(xmodem.send('fw.bin'))\nprint('sent')\n"));
    // rx asks for the file once and then only every ten seconds: it starts
    // when the send waits for it, so that its first ask is not console data.
    const SConsoleRun sent = RunConsole({spec, "--xmodem-1k", "--script", "send.lua"}, "",
                                        dir.Path(), "sending", [&](pid_t) {
                                            pty.Start({"rx", "-b", "-q", "-c", "got.bin"});
                                        });
    EXPECT_EQ(sent.exitCode, 0) << sent.err << peerLog();
    EXPECT_NE(sent.err.find("sent"), std::string::npos) << sent.err;
    ASSERT_TRUE(peerEnded()) << peerLog();
    EXPECT_EQ(pty.PollExit(), 0) << peerLog();
    const ByteString got = test::ReadFileBytes(link + "/got.bin");
    ASSERT_EQ(got.size(), 3072u) << peerLog();
    EXPECT_TRUE(got.substr(0, image.size()) == image);
    EXPECT_EQ(got.substr(image.size()), ByteString(got.size() - image.size(), '\x1A'));

    const ByteString data = test::RandomBytes(5000, 12);
    ASSERT_TRUE(test::WriteFileBytes(link + "/out.bin", data));
    ASSERT_TRUE(test::WriteFileBytes(dir.File("receive.lua"),
                                     "assert(xmodem.receive('back.bin'))\nprint('received')\n"));
    pty.Start({"sx", "-b", "-q", "out.bin"});
    const SConsoleRun received = RunConsole({spec, "--script", "receive.lua"}, "", dir.Path());
    EXPECT_EQ(received.exitCode, 0) << received.err << peerLog();
    EXPECT_NE(received.err.find("received"), std::string::npos) << received.err;
    ASSERT_TRUE(peerEnded()) << peerLog();
    EXPECT_EQ(pty.PollExit(), 0) << peerLog();
    const ByteString back = test::ReadFileBytes(dir.File("back.bin"));
    ASSERT_GE(back.size(), data.size()) << received.err;
    EXPECT_LT(back.size() - data.size(), 128u);
    EXPECT_TRUE(back.substr(0, data.size()) == data);
    EXPECT_EQ(back.substr(data.size()), ByteString(back.size() - data.size(), '\x1A'));
    struct stat st {};
    ASSERT_EQ(::stat(dir.File("back.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

// The console on a terminal of its own: a pseudo-terminal whose slave is its
// stdin, stdout and stderr, typed at through the master.
class CConsoleOnTerminal {
  public:
    explicit CConsoleOnTerminal(const std::vector<std::string>& args) {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            return;
        }
        const std::string slave = ::ptsname(m_master);
        const std::string program = quillpad::test::BinaryDir() + "/tools/console/quillpad-console";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::setsid();
            const int fd = ::open(slave.c_str(), O_RDWR);
            ::dup2(fd, 0);
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (const auto& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(program.c_str(), argv.data());
            ::_exit(127);
        }
        ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~CConsoleOnTerminal() {
        if (m_pid > 0 && m_status < 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_master >= 0) {
            ::close(m_master);
        }
    }
    void Type(std::string_view keys) {
        ASSERT_EQ(::write(m_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }
    // Reads until `text` has come after `from`; true when it did in time.
    bool WaitFor(std::string_view text, std::size_t from = 0, int ms = 15000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (screen.find(text, std::min(from, screen.size())) == std::string::npos) {
            if (std::chrono::steady_clock::now() > end) {
                return false;
            }
            pollfd p{m_master, POLLIN, 0};
            ::poll(&p, 1, 50);
            char buffer[4096];
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n > 0) {
                screen.append(buffer, static_cast<std::size_t>(n));
            }
        }
        return true;
    }
    // The exit status, -1 when it did not end in time.
    int Wait(int ms = 10000) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (m_status < 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
                break;
            }
            WaitFor("\x01never", 0, 20);
        }
        return m_status;
    }
    bool Started() const { return m_pid > 0; }

    std::string screen;

  private:
    int m_master = -1;
    pid_t m_pid = -1;
    int m_status = -1;
};

// The command prefix on a terminal: a break, an XModem receive of the
// device's bytes into a file named at the prompt, the key list, and quit.
TEST(ConsoleTool, PrefixKeysOnATerminalBreakReceiveAndQuit) {
    test::CTempDir dir;
    CConsoleOnTerminal term({"sim:"});
    ASSERT_TRUE(term.Started());
    ASSERT_TRUE(term.WaitFor("Ctrl-] ? lists the keys")) << term.screen;
    ASSERT_TRUE(term.WaitFor("> ")) << term.screen;

    std::size_t from = term.screen.size();
    term.Type("\x1D?");
    EXPECT_TRUE(term.WaitFor("r XModem receive", from)) << term.screen;

    from = term.screen.size();
    term.Type(
        "\x1D"
        "b");
    EXPECT_TRUE(term.WaitFor("*** BREAK received ***", from)) << term.screen;

    from = term.screen.size();
    term.Type("xmodem send 3000\r");
    ASSERT_TRUE(term.WaitFor("start your XModem Receive", from)) << term.screen;
    from = term.screen.size();
    term.Type("\x1Dr");
    ASSERT_TRUE(term.WaitFor("XModem receive file: ", from)) << term.screen;
    // A slip mended before Enter.
    term.Type(dir.File("got.bix") + "\x7F" + "n\r");
    ASSERT_TRUE(term.WaitFor("[XModem receive done]", from)) << term.screen;
    EXPECT_NE(term.screen.find("got.bin: 3072 bytes]", from), std::string::npos)
        << "no progress line: " << term.screen.substr(from);
    ByteString expected = test::AllByteValues(12).substr(0, 3000);
    expected.append(72, '\x1A');
    EXPECT_TRUE(test::ReadFileBytes(dir.File("got.bin")) == expected);
    EXPECT_TRUE(term.WaitFor("xmodem: sent 3000 bytes", from)) << term.screen;

    // Receiving into that file again asks first; No leaves it alone.
    from = term.screen.size();
    term.Type("\x1Dr" + dir.File("got.bin") + "\r");
    ASSERT_TRUE(term.WaitFor("exists. Replace it? (y/n) ", from)) << term.screen;
    term.Type("n\r");
    EXPECT_TRUE(term.WaitFor("[cancelled]", from)) << term.screen;
    EXPECT_TRUE(test::ReadFileBytes(dir.File("got.bin")) == expected);

    // The console goes on after the transfer, and q quits with status 0.
    from = term.screen.size();
    term.Type("ver\r");
    EXPECT_TRUE(term.WaitFor("firmware", from)) << term.screen;
    term.Type("\x1Dq");
    EXPECT_EQ(term.Wait(), 0) << term.screen;
}

// ASCII Send from the prefix keys asks for its pauses, offering the ones in
// use, keeps what was typed for the next send, and refuses a bad one.
TEST(ConsoleTool, PrefixAsciiSendAsksForItsPausesAndKeepsThem) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "ver\rver\rver\r"));
    CConsoleOnTerminal term({"sim:"});
    ASSERT_TRUE(term.Started());
    ASSERT_TRUE(term.WaitFor("> ")) << term.screen;

    std::size_t from = term.screen.size();
    term.Type(
        "\x1D"
        "a" +
        dir.File("prog.txt") + "\r");
    ASSERT_TRUE(term.WaitFor("Pause after each line, ms [0]: ", from)) << term.screen;
    term.Type("300\r");
    ASSERT_TRUE(term.WaitFor("Pause after each character, ms [0]: ", from)) << term.screen;
    const auto start = std::chrono::steady_clock::now();
    term.Type("\r");
    ASSERT_TRUE(term.WaitFor("[ASCII send done]", from)) << term.screen;
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(550)) << "three lines, 300 ms after each";

    from = term.screen.size();
    term.Type(
        "\x1D"
        "a" +
        dir.File("prog.txt") + "\r");
    ASSERT_TRUE(term.WaitFor("Pause after each line, ms [300]: ", from)) << term.screen;
    term.Type("fast\r");
    EXPECT_TRUE(term.WaitFor("[not a pause from 0 to 10000 ms]", from)) << term.screen;
    term.Type("\x1Dq");
    EXPECT_EQ(term.Wait(), 0) << term.screen;
    EXPECT_EQ(term.screen.find("[ASCII send done]", from), std::string::npos) << "sent anyway";
}

// ASCII Send paced from the command line: the device sees the lines arrive
// apart, and a pause out of range is refused before anything runs.
TEST(ConsoleTool, AsciiSendTakesItsPacingFromTheCommandLine) {
    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("prog.txt"), "ver\rhelp\r"));
    const QString prog = QString::fromStdString(dir.File("prog.txt"));
    const SConsoleRun run =
        RunConsole({"sim:", "--ascii-send", prog, "--line-delay", "300", "--char-delay", "1"}, "");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("firmware"), std::string::npos) << run.out;
    EXPECT_EQ(RunConsole({"sim:", "--ascii-send", prog, "--line-delay", "10001"}, "").exitCode, 2);
    EXPECT_EQ(RunConsole({"sim:", "--ascii-send", prog, "--char-delay", "x"}, "").exitCode, 2);
}

// A serial device pulled out and plugged in again: the console stays up,
// says on stderr that it waits and when the device is back, and goes on.
TEST(ConsoleTool, ALostDeviceIsWaitedForAndTheConsoleGoesOn) {
    if (!test::HaveProgram("socat")) {
        QUILLPAD_PEER_MISSING("socat is not installed");
    }
    test::CTempDir dir;
    auto pty = std::make_unique<test::CPtyPeer>(dir.Path(), false);
    ASSERT_TRUE(pty->Ready());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    process.setProcessEnvironment(environment);
    process.start(
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/tools/console/quillpad-console",
        {QString::fromStdString("serial:" + pty->Near()), "--until", "back again", "--linger",
         "20000"});
    ASSERT_TRUE(process.waitForStarted(10000));
    process.closeWriteChannel();
    std::string err;
    const auto told = [&](const std::string& text) {
        return test::WaitFor(
            [&] {
                process.waitForReadyRead(20);
                err += process.readAllStandardError().toStdString();
                return err.find(text) != std::string::npos;
            },
            10000);
    };
    ASSERT_TRUE(told("[connected]")) << err;
    pty->Vanish();
    ASSERT_TRUE(told("[waiting for " + pty->Near() + " to come back]")) << err;
    EXPECT_NE(err.find("[link lost]"), std::string::npos) << err;
    pty = std::make_unique<test::CPtyPeer>(dir.Path(), false);
    ASSERT_TRUE(pty->Ready());
    ASSERT_TRUE(told("[back on " + pty->Near() + "]")) << err;
    ASSERT_TRUE(told("[connected]")) << err;

    const int far = ::open(dir.File("far").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(far, 0);
    ASSERT_EQ(::write(far, "back again\n", 11), 11);
    ASSERT_TRUE(process.waitForFinished(10000)) << err;
    ::close(far);
    EXPECT_EQ(process.exitCode(), 0) << err;
    EXPECT_NE(process.readAllStandardOutput().toStdString().find("back again"), std::string::npos);
}

// Ctrl-] w on a terminal gives up waiting for a device that went away: the
// console stays up on the lost link and takes the device back only by hand.
TEST(ConsoleTool, PrefixStopWaitingEndsTheWaitForALostDevice) {
    if (!test::HaveProgram("socat")) {
        QUILLPAD_PEER_MISSING("socat is not installed");
    }
    test::CTempDir dir;
    auto pty = std::make_unique<test::CPtyPeer>(dir.Path(), false);
    ASSERT_TRUE(pty->Ready());
    CConsoleOnTerminal term({"serial:" + pty->Near()});
    ASSERT_TRUE(term.Started());
    ASSERT_TRUE(term.WaitFor("[connected]")) << term.screen;

    std::size_t from = term.screen.size();
    term.Type("\x1Dw");
    ASSERT_TRUE(term.WaitFor("[not waiting for the link]", from)) << term.screen;

    pty->Vanish();
    from = term.screen.size();
    ASSERT_TRUE(term.WaitFor("[waiting for " + pty->Near() + " to come back]", from))
        << term.screen;
    from = term.screen.size();
    term.Type("\x1DW");
    ASSERT_TRUE(term.WaitFor("[stopped waiting for " + pty->Near() + "]", from)) << term.screen;
    from = term.screen.size();
    term.Type("\x1Dw");
    ASSERT_TRUE(term.WaitFor("[not waiting for the link]", from)) << term.screen;
    EXPECT_EQ(term.screen.find("[back on", from), std::string::npos) << term.screen;
    EXPECT_EQ(term.screen.find("[Error]"), std::string::npos) << term.screen;
    term.Type("\x1Dq");
    EXPECT_EQ(term.Wait(), 0) << term.screen;
}

}  // namespace
}  // namespace quillpad
