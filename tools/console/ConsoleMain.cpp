// quillpad-console: the device session of a console, in a terminal.
//
//   quillpad-console [SPEC] [--linger MS] [--until TEXT]
//   quillpad-console [SPEC] --window [--type TEXT] [--screenshot OUT.png --after MS [--until TEXT]]
//
// Connects to SPEC (default "sim:") as a console does: the connection
// parameters go through the console's side of the connection, the device's
// console is opened on link up, and what the device sends is stored as
// records and written to stdout as it is (bytes, never decoded). Every key
// typed goes to the device as a typed character (LF as CR, as a terminal's
// Enter) once the device's console is open; nothing is echoed locally.
// On a terminal, Ctrl-] is a command prefix: then q quits, b sends a break,
// x, r and a ask for a file name and run XModem Send, XModem Receive or
// ASCII Send, c cancels the running transfer, Ctrl-] sends Ctrl-] itself and
// ? lists the keys. Keys typed while a transfer runs wait for its end.
// When stdin is not a terminal, its end quits after MS milliseconds (default 500) so that the
// device's answer can still arrive. With --until, its end quits as soon as the device has
// sent TEXT, and MS is the longest wait for it (status 1 if it never comes).
//
// With --window it opens the console control itself, as the host shows it
// (keys, menus on the right button, styles, boxes), with the connection
// status in the window's title. --type sends TEXT as typed characters
// once the console is open; --screenshot saves the window after MS
// milliseconds and quits, or with --until as soon as the device's TEXT is
// drawn (status 1 if MS pass first).
//
// One operation runs once the device's console is open and stdin has ended
// (so that a piped command can first put the device in the mood):
//   --xmodem-send FILE [--xmodem-1k], --xmodem-receive FILE, --ascii-send FILE, --break
// The status is 0 when it succeeded, 1 with the reason on stderr when not.
// --line-delay MS and --char-delay MS pace ASCII Send (0 to 10000; by default
// the settings' "AsciiLineDelayMs" and "AsciiCharDelayMs").
//
// Status changes and errors go to stderr. The settings (for instance
// "OutgoingCRToCRLF") come from the registry defaults.

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>

#include <termios.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "control/CQuillpadSettings.h"
#include "control/qt/CQuillpad2Ctrl.h"
#include "data/DataStore.h"
#include "devsim/qt/CDevSimTransport.h"
#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrCodes.h"
#include "nxr/NxrLib.h"
#include "nxr/NxrParamBlock.h"
#include "platform/ProgramInfo.h"
#include "platform/qt/CQtMessageChannel.h"
#include "session/CConnectionController.h"
#include "session/qt/CQtSessionUi.h"

namespace quillpad {
namespace {

constexpr char kPrefixKey = 0x1D;  // Ctrl-]
constexpr int kOpenWaitMs = 10000;

// Boxes become lines on stderr.
class CStderrUi final : public ISessionUi {
  public:
    void ShowStandardError(const INxrSession2* session, std::uint32_t requestId) override {
        std::fprintf(stderr, "\r\n[Error] %s\r\n",
                     NxrStandardErrorText(session, requestId).c_str());
    }
    void ShowMessage(std::string_view caption, std::string_view text, EMessageIcon) override {
        std::fprintf(stderr, "\r\n[%.*s] %.*s\r\n", static_cast<int>(caption.size()),
                     caption.data(), static_cast<int>(text.size()), text.data());
    }
};

// The host: reports what a console tells its window.
class CStderrHost final : public CNoHostEnvironment {
  public:
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override {
        std::fprintf(stderr, "\r\n[%s]\r\n", NxrStatusText(status).c_str());
        return 0;
    }
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override {
        std::fprintf(stderr, "\r\n[new connection: %s]\r\n", WideToBytes(params).c_str());
        return 0;
    }
};

// Stands where the console view will: writes each incoming record.
class CStdoutView final : public CMessageTarget {
  public:
    CStdoutView(CMessageChannel& channel, const CDataStore& store)
        : CMessageTarget(channel), m_store(store) {}
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id == UM_APPEND_RECORD) {
            if (const auto record = m_store.Find(AppendNoticeRef(message));
                record && record->direction == 1) {
                std::fwrite(record->bytes.data(), 1, record->bytes.size(), stdout);
                std::fflush(stdout);
            }
        }
        return 0;
    }

  private:
    const CDataStore& m_store;
};

// Tells once the device has sent a text, in one record or across several.
class CArrivalWatch final : public CMessageTarget {
  public:
    CArrivalWatch(CMessageChannel& channel, const CDataStore& store, std::string text,
                  std::function<void()> arrived)
        : CMessageTarget(channel),
          m_store(store),
          m_text(std::move(text)),
          m_arrived(std::move(arrived)) {}
    bool Arrived() const { return m_seen; }
    std::int64_t HandleMessage(SMessage& message) override {
        if (message.id != UM_APPEND_RECORD || m_seen) {
            return 0;
        }
        const auto record = m_store.Find(AppendNoticeRef(message));
        if (!record || record->direction != 1) {
            return 0;
        }
        m_tail.append(record->bytes.data(), record->bytes.size());
        if (m_tail.find(m_text) != std::string::npos) {
            m_seen = true;
            m_arrived();
        } else if (m_tail.size() >= m_text.size()) {
            m_tail.erase(0, m_tail.size() - m_text.size() + 1);
        }
        return 0;
    }

  private:
    const CDataStore& m_store;
    std::string m_text;
    std::function<void()> m_arrived;
    std::string m_tail;
    bool m_seen = false;
};

// Raw keys while it lives, the terminal's old mode afterwards.
class CRawTerminal {
  public:
    CRawTerminal() {
        if (::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &m_old) == 0) {
            termios raw = m_old;
            ::cfmakeraw(&raw);
            raw.c_oflag |= OPOST | ONLCR;  // our own messages still start on a new line
            m_active = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
        }
    }
    ~CRawTerminal() {
        if (m_active) {
            ::tcsetattr(STDIN_FILENO, TCSANOW, &m_old);
        }
    }
    bool Active() const { return m_active; }

  private:
    termios m_old{};
    bool m_active = false;
};

// The host of the window form: the status goes into the window's title.
class CTitleHost final : public CNoHostEnvironment {
  public:
    CTitleHost(QWidget& window, std::string spec) : m_window(window), m_spec(std::move(spec)) {
        IWBENVUpdateConnectionStatus(1);
    }
    std::int32_t IWBENVUpdateConnectionStatus(std::uint16_t status) override {
        m_window.setWindowTitle(
            QString::fromLatin1(("Quillpad - " + m_spec + " - " + NxrStatusText(status)).c_str()));
        return 0;
    }
    std::int32_t IWBENVUpdateConnectionParams(WideString& params) override {
        m_spec = WideToBytes(params);
        return 0;
    }

  private:
    QWidget& m_window;
    std::string m_spec;
};

struct SWindowOptions {
    std::string type;
    std::string screenshot;
    int afterMs = 1000;
    std::string until;
};

int RunWindow(QApplication& app, const std::string& spec, const SWindowOptions& options) {
    // The real console control, as the host shows it, with the status in the title.
    CQuillpad2Ctrl console;
    CMessageChannel& channel = console.MessageChannel();
    CDataStore& store = *console.Store();
    console.SetHostEnvironment(std::make_shared<CTitleHost>(console, spec));
    console.resize(800, 500);
    console.show();
    if (!console.Usable()) {
        std::fprintf(stderr, "quillpad-console: %s\n", console.FailureText().c_str());
        return 1;
    }

    QTimer typing;
    std::string toType = options.type;
    typing.setInterval(10);
    QObject::connect(&typing, &QTimer::timeout, [&] {
        if (console.ConsoleOpen()) {
            typing.stop();
            for (char c : toType) {
                channel.Post(console.Handle(), UM_SEND_CHAR, 0,
                             static_cast<unsigned char>(c == '\n' ? '\r' : c));
            }
        }
    });
    if (!toType.empty()) {
        typing.start();
    }
    int result = 0;
    bool shot = false;
    const auto shoot = [&] {
        if (shot) {
            return;
        }
        shot = true;
        if (!console.grab().save(QString::fromStdString(options.screenshot))) {
            std::fprintf(stderr, "quillpad-console: cannot write %s\n", options.screenshot.c_str());
            result = 1;
        }
        app.quit();
    };
    // Registered after the view, so the view has drawn a record by the time
    // the watch sees it.
    std::unique_ptr<CArrivalWatch> watch;
    if (!options.screenshot.empty() && !options.until.empty()) {
        watch = std::make_unique<CArrivalWatch>(channel, store, options.until, shoot);
        store.RegisterView(watch->Handle());
    }
    if (!options.screenshot.empty()) {
        QTimer::singleShot(options.afterMs, &app, [&] {
            if (watch && !watch->Arrived() && !shot) {
                std::fprintf(stderr, "quillpad-console: \"%s\" did not arrive in %d ms\n",
                             options.until.c_str(), options.afterMs);
                result = 1;
            }
            shoot();
        });
    }
    console.IWBSetConnectionParameters(QByteArray::fromStdString(spec));
    const int exitCode = app.exec();
    return exitCode != 0 ? exitCode : result;
}

// An operation of the command line: a request, and whether it completed.
struct SOperation {
    std::uint32_t code = 0;
    ByteString params;
    std::uint32_t requestId = 0;
    bool issued = false;
    bool done = false;
    bool success = false;
};

// A transfer's progress on stderr, in one line that rewrites itself.
class CProgressLine {
  public:
    void Start(const std::string& what, std::int32_t total) {
        m_what = what;
        m_total = total;
        m_shown.invalidate();
        Show(0, true);
    }
    void Show(std::int32_t done, bool force = false) {
        if (!m_active) {
            return;
        }
        if (!force && m_shown.isValid() && m_shown.elapsed() < 100) {
            return;
        }
        m_shown.start();
        std::string line = "[" + m_what + ": " + std::to_string(done);
        line += m_total > 0 ? " of " + std::to_string(m_total) + " bytes]" : " bytes]";
        const std::size_t width = line.size();
        line.resize(std::max(width, m_width), ' ');
        m_width = width;
        std::fprintf(stderr, "\r%s", line.c_str());
        m_open = true;
    }
    void Finish(std::int32_t done) {
        Show(done, true);
        End();
    }
    // Ends the line, so that what follows starts on a new one.
    void End() {
        if (m_open) {
            std::fprintf(stderr, "\r\n");
        }
        m_open = false;
        m_width = 0;
    }
    void SetActive(bool active) { m_active = active; }

  private:
    bool m_active = false;
    bool m_open = false;
    std::string m_what;
    std::int32_t m_total = 0;
    std::size_t m_width = 0;
    QElapsedTimer m_shown;
};

// The console's side of the connection, which also tells the operations'
// ends and shows their progress.
class CScriptConsole final : public CConnectionController {
  public:
    CScriptConsole(CMessageChannel& channel, SSessionServices services)
        : CConnectionController(channel, std::move(services)) {}

    // Called with each request's id and result as it completes.
    std::function<void(std::uint32_t, bool)> completed;
    CProgressLine progress;

    std::int32_t OnRequestCompleted(std::uint32_t requestId, std::uint32_t code, bool success,
                                    std::int32_t extra,
                                    const std::optional<WideString>& userText) override {
        progress.End();
        if (completed) {
            completed(requestId, success);
        }
        return CConnectionController::OnRequestCompleted(requestId, code, success, extra, userText);
    }
    std::int32_t OnFileStart(std::uint32_t, const WideString& source, const WideString& target,
                             std::int32_t size, bool sending, const WideString& protocol) override {
        const std::string file = WideToBytes(sending ? source : target);
        progress.Start(WideToBytes(protocol) + (sending ? " send " : " receive ") + file, size);
        return 0;
    }
    std::int32_t OnFileProgress(std::uint32_t, std::int32_t done, std::int32_t, std::int32_t,
                                std::int32_t) override {
        m_done = done;
        progress.Show(done);
        return 0;
    }
    std::int32_t OnFileFinish(std::uint32_t, bool) override {
        progress.Finish(m_done);
        return 0;
    }

  private:
    std::int32_t m_done = 0;
};

// The keys after the command prefix.
constexpr const char* kPrefixHelp =
    "Ctrl-] then: q quit, b send a break, x XModem send, r XModem receive,"
    " a ASCII send, c cancel the transfer, Ctrl-] send Ctrl-], ? this list";

// Reads a line on the raw terminal, echoing it on stderr: Enter ends it,
// Backspace takes a byte back, Ctrl-C or Ctrl-] gives up.
class CPromptLine {
  public:
    // With `emptyIsAnswer`, Enter on an empty line answers "" (keep what is
    // offered); otherwise it gives up as Ctrl-C does.
    void Begin(std::string prompt, std::function<void(std::optional<std::string>)> done,
               bool emptyIsAnswer = false) {
        m_line.clear();
        m_done = std::move(done);
        m_emptyIsAnswer = emptyIsAnswer;
        std::fprintf(stderr, "\r\n%s", prompt.c_str());
    }
    bool Active() const { return static_cast<bool>(m_done); }
    void Feed(char c) {
        if (c == '\r' || c == '\n') {
            std::fprintf(stderr, "\r\n");
            Finish(m_line.empty() && !m_emptyIsAnswer ? std::nullopt
                                                      : std::optional<std::string>(m_line));
        } else if (c == 0x03 || c == kPrefixKey) {
            std::fprintf(stderr, "\r\n");
            Finish(std::nullopt);
        } else if (c == 0x7F || c == 0x08) {
            if (!m_line.empty()) {
                m_line.pop_back();
                std::fprintf(stderr, "\b \b");
            }
        } else if (static_cast<unsigned char>(c) >= 0x20) {
            m_line.push_back(c);
            std::fputc(c, stderr);
        }
    }

  private:
    void Finish(std::optional<std::string> line) {
        auto done = std::move(m_done);
        m_done = nullptr;
        done(std::move(line));
    }

    std::string m_line;
    std::function<void(std::optional<std::string>)> m_done;
    bool m_emptyIsAnswer = false;
};

// A pause typed at a prompt: "" keeps `current`; none when it is not a
// whole number from 0 to 10000.
std::optional<std::uint32_t> ReadPause(const std::string& typed, std::uint32_t current) {
    if (typed.empty()) {
        return current;
    }
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(typed.data(), typed.data() + typed.size(), value);
    if (ec != std::errc() || end != typed.data() + typed.size() || value > 10000) {
        return std::nullopt;
    }
    return value;
}

int Usage(const char* why, std::FILE* out = stderr) {
    std::fprintf(out,
                 "quillpad-console: %s\n"
                 "usage: quillpad-console [SPEC] [--linger MS] [--until TEXT]\n"
                 "       quillpad-console [SPEC] (--xmodem-send FILE [--xmodem-1k] |"
                 " --xmodem-receive FILE | --ascii-send FILE | --break)\n"
                 "                        [--line-delay MS] [--char-delay MS]\n"
                 "       quillpad-console [SPEC] --window [--type TEXT]"
                 " [--screenshot OUT.png --after MS [--until TEXT]]\n"
                 "On a terminal, keys go to the device; %s.\n"
                 "--line-delay and --char-delay pace ASCII Send (ms, 0 to 10000).\n",
                 why, kPrefixHelp);
    return 2;
}

}  // namespace
}  // namespace quillpad

int main(int argc, char** argv) {
    using namespace quillpad;
    if (AnswerVersion(argc, argv, "quillpad-console")) {
        return 0;
    }
    RegisterDevSimTransport();
    std::string spec = "sim:";
    int lingerMs = 500;
    std::string until;
    bool window = false;
    SWindowOptions windowOptions;
    SOperation operation;
    std::string file;
    bool use1K = false;
    std::optional<std::uint32_t> lineDelay;
    std::optional<std::uint32_t> charDelay;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if ((arg == "--xmodem-send" || arg == "--xmodem-receive" || arg == "--ascii-send") &&
            i + 1 < argc) {
            if (operation.code != 0) {
                return Usage("one operation at a time");
            }
            operation.code = arg == "--xmodem-send"      ? nxr_request::XModemSend
                             : arg == "--xmodem-receive" ? nxr_request::XModemReceive
                                                         : nxr_request::AsciiSend;
            file = argv[++i];
        } else if (arg == "--break") {
            if (operation.code != 0) {
                return Usage("one operation at a time");
            }
            operation.code = nxr_request::SendBreak;
        } else if (arg == "--xmodem-1k") {
            use1K = true;
        } else if ((arg == "--line-delay" || arg == "--char-delay") && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || end == argv[i] || value < 0 || value > kNxrMaxPacingMs) {
                return Usage((arg + " takes milliseconds from 0 to 10000").c_str());
            }
            (arg == "--line-delay" ? lineDelay : charDelay) = static_cast<std::uint32_t>(value);
        } else if (arg == "--window") {
            window = true;
        } else if (arg == "--type" && i + 1 < argc) {
            windowOptions.type = argv[++i];
        } else if (arg == "--until" && i + 1 < argc) {
            until = argv[++i];
            if (until.empty()) {
                return Usage("--until takes a text");
            }
        } else if (arg == "--screenshot" && i + 1 < argc) {
            windowOptions.screenshot = argv[++i];
        } else if (arg == "--after" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 3600000) {
                return Usage("--after takes milliseconds from 0 to 3600000");
            }
            windowOptions.afterMs = static_cast<int>(value);
        } else if (arg == "--linger" && i + 1 < argc) {
            char* end = nullptr;
            const long value = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || value < 0 || value > 3600000) {
                return Usage("--linger takes milliseconds from 0 to 3600000");
            }
            lingerMs = static_cast<int>(value);
        } else if (arg == "--help" || arg == "-h") {
            Usage("a console on a connection spec (docs/CONNECTIONS.md)", stdout);
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            return Usage(("unknown option " + arg).c_str());
        } else {
            spec = arg;
        }
    }
    if (operation.code != 0 && operation.code != nxr_request::SendBreak &&
        (file.empty() || file.find('\0') != std::string::npos)) {
        return Usage("the operation needs a file name");
    }
    if (window && operation.code != 0) {
        return Usage("--window runs no operation");
    }
    if (window) {
        QApplication app(argc, argv);
        windowOptions.until = until;
        return RunWindow(app, spec, windowOptions);
    }
    QCoreApplication app(argc, argv);

    CQtMessageChannel channel;
    CDataStore store(channel);
    CStdoutView view(channel, store);
    store.RegisterView(view.Handle());
    bool quitting = false;
    std::unique_ptr<CArrivalWatch> watch;
    if (!until.empty()) {
        watch = std::make_unique<CArrivalWatch>(channel, store, until, [&] {
            if (quitting) {
                app.quit();
            }
        });
        store.RegisterView(watch->Handle());
    }
    CQuillpadSettings settings;
    settings.LoadFromRegistry();
    // Kept for the next ASCII send of this run when typed at its prompts.
    SAsciiPacing pacing{.charDelayMs = charDelay.value_or(settings.m_asciiCharDelayMs),
                        .lineDelayMs = lineDelay.value_or(settings.m_asciiLineDelayMs)};
    // The request block of an operation on a file (none: Send Break).
    const auto paramsFor = [&](std::uint32_t code, const std::string& path) {
        if (code == nxr_request::SendBreak) {
            return CNxrParamBlock().AddInteger(500).Encode();
        }
        if (code == nxr_request::AsciiSend) {
            return NxrAsciiSendBlock(path, pacing).Encode();
        }
        CNxrParamBlock block;
        block.AddText(path);
        if (use1K && code == nxr_request::XModemSend) {
            block.AddInteger(1024);
        }
        return block.Encode();
    };
    if (operation.code != 0) {
        operation.params = paramsFor(operation.code, file);
    }

    SSessionServices services;
    services.factory = &CreateNxrSession;
    services.ui = std::make_unique<CStderrUi>();
    services.deferred = std::make_unique<CQtDeferredCalls>();
    CScriptConsole console(channel, std::move(services));
    console.SetDataStore(&store);
    console.SetOptions({.outgoingCRToCRLF = settings.m_outgoingCRToCRLF});
    console.SetHostEnvironment(std::make_shared<CStderrHost>());
    if (!console.Usable()) {
        std::fprintf(stderr, "quillpad-console: %s\n", console.FailureText().c_str());
        return 1;
    }

    CRawTerminal terminal;
    console.progress.SetActive(::isatty(STDERR_FILENO) != 0);
    if (terminal.Active()) {
        std::fprintf(stderr, "[%s: Ctrl-] q quits, Ctrl-] ? lists the keys]\r\n", spec.c_str());
    }
    // The operation a prefix key started; one at a time.
    SOperation keyed;
    console.completed = [&](std::uint32_t id, bool success) {
        if (operation.issued && id == operation.requestId) {
            operation.done = true;
            operation.success = success;
        }
        if (keyed.issued && !keyed.done && id == keyed.requestId) {
            keyed.done = true;
            std::fprintf(stderr, "\r\n[%s %s]\r\n", NxrRequestName(keyed.code).c_str(),
                         success ? "done" : "failed");
        }
    };
    const auto runKeyed = [&](std::uint32_t code, const std::string& path) {
        if (keyed.issued && !keyed.done) {
            std::fprintf(stderr, "\r\n[%s is still running]\r\n",
                         NxrRequestName(keyed.code).c_str());
            return;
        }
        keyed = SOperation{};
        keyed.code = code;
        if (console.StartRequest(code, paramsFor(code, path), 1000, keyed.requestId) != 0) {
            std::fprintf(stderr, "\r\n[Error] %s\r\n", console.Session()->ErrorText(0).c_str());
            return;
        }
        keyed.issued = true;
    };
    CPromptLine prompt;
    bool prefixed = false;
    // Keys wait until the device's console is open, so none is lost to a
    // link that is still coming up, and while a keyed transfer runs.
    std::string pending;
    bool inputEnded = false;
    int exitCode = 0;
    // ASCII Send's two pauses, offered with what they are now; Enter keeps it.
    const auto askPacing = [&](const std::string& path) {
        const auto refuse = [] { std::fprintf(stderr, "[not a pause from 0 to 10000 ms]\r\n"); };
        prompt.Begin(
            "Pause after each line, ms [" + std::to_string(pacing.lineDelayMs) + "]: ",
            [&, path, refuse](std::optional<std::string> line) {
                const auto lineMs = line ? ReadPause(*line, pacing.lineDelayMs) : std::nullopt;
                if (!line) {
                    std::fprintf(stderr, "[cancelled]\r\n");
                    return;
                }
                if (!lineMs) {
                    refuse();
                    return;
                }
                prompt.Begin(
                    "Pause after each character, ms [" + std::to_string(pacing.charDelayMs) + "]: ",
                    [&, path, refuse, lineMs = *lineMs](std::optional<std::string> chars) {
                        const auto charMs =
                            chars ? ReadPause(*chars, pacing.charDelayMs) : std::nullopt;
                        if (!chars) {
                            std::fprintf(stderr, "[cancelled]\r\n");
                        } else if (!charMs) {
                            refuse();
                        } else {
                            pacing.lineDelayMs = lineMs;
                            pacing.charDelayMs = *charMs;
                            runKeyed(nxr_request::AsciiSend, path);
                        }
                    },
                    true);
            },
            true);
    };
    const auto commandKey = [&](char key) {
        const auto askFile = [&](std::uint32_t code, const char* what) {
            prompt.Begin(std::string(what) + " file: ", [&, code](std::optional<std::string> path) {
                std::error_code ec;
                if (!path) {
                    std::fprintf(stderr, "[cancelled]\r\n");
                } else if (code == nxr_request::XModemReceive &&
                           std::filesystem::exists(*path, ec)) {
                    // A good file is not replaced unasked.
                    prompt.Begin(*path + " exists. Replace it? (y/n) ",
                                 [&, file = *path](std::optional<std::string> answer) {
                                     const std::string reply = answer.value_or(std::string());
                                     if (reply == "y" || reply == "Y") {
                                         runKeyed(nxr_request::XModemReceive, file);
                                     } else {
                                         std::fprintf(stderr, "[cancelled]\r\n");
                                     }
                                 });
                } else if (code == nxr_request::AsciiSend) {
                    askPacing(*path);
                } else {
                    runKeyed(code, *path);
                }
            });
        };
        switch (key) {
            case 'q':
            case 'Q':
                app.quit();
                return;
            case 'b':
            case 'B':
                runKeyed(nxr_request::SendBreak, {});
                return;
            case 'x':
            case 'X':
                askFile(nxr_request::XModemSend, "XModem send");
                return;
            case 'r':
            case 'R':
                askFile(nxr_request::XModemReceive, "XModem receive");
                return;
            case 'a':
            case 'A':
                askFile(nxr_request::AsciiSend, "ASCII send");
                return;
            case 'c':
            case 'C':
                if (keyed.issued && !keyed.done) {
                    console.CancelRequest(keyed.requestId);
                } else {
                    std::fprintf(stderr, "\r\n[no transfer is running]\r\n");
                }
                return;
            case kPrefixKey:
                pending.push_back(kPrefixKey);
                return;
            default:
                std::fprintf(stderr, "\r\n[%s]\r\n", kPrefixHelp);
                return;
        }
    };
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[4096];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            inputEnded = true;
            return;
        }
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (terminal.Active() && prompt.Active()) {
                prompt.Feed(c);
            } else if (terminal.Active() && prefixed) {
                prefixed = false;
                commandKey(c);
            } else if (terminal.Active() && c == kPrefixKey) {
                prefixed = true;
            } else {
                pending.push_back(c == '\n' ? '\r' : c);
            }
        }
    });
    QElapsedTimer since;
    since.start();
    QTimer pump;
    pump.setInterval(10);
    int quietTicks = 0;
    QObject::connect(&pump, &QTimer::timeout, [&] {
        if (console.ConsoleOpen() && !(keyed.issued && !keyed.done)) {
            for (const char c : pending) {
                channel.Post(console.Handle(), UM_SEND_CHAR, 0, static_cast<unsigned char>(c));
            }
            quietTicks = pending.empty() ? quietTicks + 1 : 0;
            pending.clear();
        }
        if (operation.code != 0 && !quitting) {
            if (operation.done) {
                exitCode = operation.success ? 0 : 1;
                quitting = true;
                // The device's last words (a report, a prompt) still come out.
                QTimer::singleShot(200, &app, [&] { app.quit(); });
            } else if (!operation.issued && inputEnded && console.ConsoleOpen() &&
                       quietTicks >= 20) {
                // What was typed went 200 ms ago; the device has had its turn.
                NxrHandle handle = console.ConnectionHandle();
                operation.issued = true;
                const std::int32_t status =
                    console.Session()->Request(operation.code, operation.params, 1000,
                                               &operation.requestId, nullptr, 0, &handle);
                if (status != 0) {
                    std::fprintf(stderr, "quillpad-console: %s\n",
                                 console.Session()->ErrorText(0).c_str());
                    exitCode = 1;
                    quitting = true;
                    app.quit();
                }
            } else if (!operation.issued && !console.ConsoleOpen() &&
                       (since.elapsed() > kOpenWaitMs ||
                        (since.elapsed() > 2000 && console.ConnectionHandle() == 0))) {
                std::fprintf(stderr, "quillpad-console: the device's console did not open\n");
                exitCode = 1;
                quitting = true;
                app.quit();
            }
            return;
        }
        if (!inputEnded || quitting) {
            return;
        }
        if (pending.empty()) {
            quitting = true;
            if (watch && watch->Arrived()) {
                app.quit();
                return;
            }
            QTimer::singleShot(lingerMs, &app, [&] {
                if (watch && !watch->Arrived()) {
                    std::fprintf(stderr, "quillpad-console: \"%s\" did not arrive in %d ms\n",
                                 until.c_str(), lingerMs);
                    exitCode = 1;
                }
                app.quit();
            });
        } else if (console.ConnectionHandle() == 0 || since.elapsed() > kOpenWaitMs) {
            exitCode = 1;  // the device never took the keys
            quitting = true;
            app.quit();
        }
    });
    pump.start();
    console.SetConnectionParameters(BytesToWide(spec));
    const int result = app.exec();
    console.Shutdown();
    return result != 0 ? result : exitCode;
}
