// A real boot loader at the far end: Debian's U-Boot for qemu's "virt"
// board, its serial port served by qemu on a loopback TCP port, and a Lua
// script through quillpad-console that stops the autoboot in its two-second
// window and reads the version.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTcpServer>

#include <signal.h>

#include <string>

#include "tests/nxr/qt/SessionTestSupport.h"
#include "tests/support/PtyPeer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestPaths.h"

namespace quillpad {
namespace {

constexpr const char* kImage = "/usr/lib/u-boot/qemu_arm/u-boot.bin";

// Under TCG on a busy machine U-Boot may take many seconds to start; these
// bound a stall, not the speed.
constexpr int kQemuListenMs = 30000;
constexpr int kConsoleRunMs = 240000;

// The banner U-Boot prints for `version`, as it is built into the image
// ("U-Boot 2023.01+dfsg-2 (Jan 01 2023 - 00:00:00 +0000)"); "" when none.
std::string VersionInImage(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QByteArray image = file.readAll();
    static const QRegularExpression banner(
        QStringLiteral("^U-Boot 20\\d\\d\\.\\d\\d\\S* \\(.+\\)$"));
    for (qsizetype at = image.indexOf("U-Boot 20"); at >= 0;
         at = image.indexOf("U-Boot 20", at + 1)) {
        const qsizetype end = image.indexOf('\0', at);
        const QByteArray text = image.mid(at, end < 0 ? -1 : end - at);
        if (banner.match(QString::fromLatin1(text)).hasMatch()) {
            return text.toStdString();
        }
    }
    return {};
}

std::uint16_t FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// qemu with the board's first serial port as a TCP server that holds the
// machine until the console connects, so not a byte of the boot is missed.
// Killed by its PID when the test ends, however it ends.
class CQemuPeer {
  public:
    explicit CQemuPeer(std::uint16_t port) {
        // No network: the board's default card would also want the iPXE
        // option ROM, which Debian only recommends.
        m_process.setProgram(QStringLiteral("qemu-system-arm"));
        m_process.setArguments({"-M", "virt", "-nographic", "-monitor", "none", "-nic", "none",
                                "-bios", kImage, "-serial",
                                QStringLiteral("tcp:127.0.0.1:%1,server=on,wait=on").arg(port)});
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.start();
    }
    ~CQemuPeer() {
        if (m_process.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
            m_process.waitForFinished(10000);
        }
    }
    CQemuPeer(const CQemuPeer&) = delete;
    CQemuPeer& operator=(const CQemuPeer&) = delete;

    // Whether qemu says it waits for the connection; what it said otherwise.
    bool Listening() {
        return test::WaitFor(
                   [&] {
                       m_process.waitForReadyRead(50);
                       m_err += m_process.readAllStandardError().toStdString();
                       return m_err.find("waiting for connection") != std::string::npos ||
                              m_process.state() == QProcess::NotRunning;
                   },
                   kQemuListenMs) &&
               m_process.state() == QProcess::Running &&
               m_err.find("waiting for connection") != std::string::npos;
    }
    const std::string& Said() const { return m_err; }

  private:
    QProcess m_process;
    std::string m_err;
};

// The script shown in docs/SCRIPTING.md, with the release it looks for given
// on the command line.
constexpr const char* kScript = R"(
if not expect("Hit any key to stop autoboot", 120000) then error("no autoboot prompt") end
send(" ")
if not expect("=> ", 10000) then error("no prompt after the key") end
send("version\r")
local line = expect("U-Boot " .. args[1], 10000)
if not line then error("no version line") end
if not expect("=> ", 10000) then error("no prompt after the version") end
print("version", line)
)";

TEST(UBootPeer, AScriptStopsTheAutobootAndReadsTheVersion) {
    if (!test::HaveProgram("qemu-system-arm")) {
        QUILLPAD_PEER_MISSING(
            "qemu-system-arm is not installed (tools/install-deps.sh installs it)");
    }
    if (!QFile::exists(kImage)) {
        QUILLPAD_PEER_MISSING(kImage << " is missing: u-boot-qemu is not installed "
                                     << "(tools/install-deps.sh installs it)");
    }
    const std::string banner = VersionInImage(kImage);
    ASSERT_FALSE(banner.empty()) << "no version banner in " << kImage;
    const std::string release = banner.substr(7, 7);  // "2023.01"

    test::CTempDir dir;
    ASSERT_TRUE(test::WriteFileBytes(dir.File("uboot.lua"), kScript));
    const std::uint16_t port = FreePort();
    CQemuPeer qemu(port);
    ASSERT_TRUE(qemu.Listening()) << "qemu did not wait on port " << port << ": " << qemu.Said();

    QProcess console;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    console.setProcessEnvironment(environment);
    console.start(
        QFile::decodeName(quillpad::test::BinaryDir().c_str()) + "/tools/console/quillpad-console",
        {QStringLiteral("tcp:127.0.0.1:%1").arg(port), "--script",
         QString::fromStdString(dir.File("uboot.lua")), QString::fromStdString(release)});
    ASSERT_TRUE(console.waitForStarted(10000));
    console.closeWriteChannel();
    const bool ended = console.waitForFinished(kConsoleRunMs);
    if (!ended) {
        ::kill(static_cast<pid_t>(console.processId()), SIGKILL);
        console.waitForFinished(10000);
    }
    const std::string out = console.readAllStandardOutput().toStdString();
    const std::string err = console.readAllStandardError().toStdString();
    ASSERT_TRUE(ended) << "the script stalled\nstderr: " << err << "\nstdout: " << out;
    ASSERT_EQ(console.exitCode(), 0) << err << "\nstdout: " << out;

    // The script's own reading, and the whole line as the device sent it.
    EXPECT_NE(err.find("version\tU-Boot " + release), std::string::npos) << err;
    const std::string echo = "=> version\r\n";
    ASSERT_NE(out.find(echo), std::string::npos) << out;
    const std::size_t from = out.find(echo) + echo.size();
    EXPECT_EQ(out.substr(from, out.find("\r\n", from) - from), banner) << out;

    // Stopped: from the countdown to the prompt nothing but its digits,
    // spaces and backspaces, and nowhere a boot attempt.
    const std::string asked = "Hit any key to stop autoboot:";
    ASSERT_NE(out.find(asked), std::string::npos) << out;
    const std::size_t countdown = out.find(asked) + asked.size();
    const std::size_t prompt = out.find("=> ", countdown);
    ASSERT_NE(prompt, std::string::npos) << out;
    const std::string between = out.substr(countdown, prompt - countdown);
    EXPECT_EQ(between.find_first_not_of("0123456789 \b\r\n"), std::string::npos)
        << "autoboot went on: " << between;
    for (const char* attempt : {"starting USB", "scanning bus", "no kernel", "BOOTP"}) {
        EXPECT_EQ(out.find(attempt), std::string::npos) << attempt << " in " << out;
    }
}

}  // namespace
}  // namespace quillpad
