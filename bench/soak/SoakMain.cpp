// The long run (`make soak`, not part of `make test` or `make bench`):
// Workbay with one console on the simulated controller, which sends 1 MB/s
// for SOAK_MINUTES minutes (30 unless set), with all three live logs on, the
// hover window shown every second and the style changed every minute.
//
// Every minute it prints the resident memory beside the history the console
// holds (in memory and in its spill file) and the worst event-loop turn; the
// resident memory less the history in memory should stay flat. At the end the
// three logs are compared byte for byte with what the console received, and
// that with what the simulator sent. Exit status 0 when everything matched.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/qt/CQuillpad2Ctrl.h"
#include "data/BinaryLogReader.h"
#include "data/DataStore.h"
#include "data/RecordArena.h"
#include "devsim/CDevSimEngine.h"
#include "host/qt/CConsoleWindow.h"
#include "host/qt/CPluginCatalog.h"
#include "host/qt/CWorkbayWindow.h"
#include "host/qt/IWorkbayUi.h"
#include "platform/CRegistryStore.h"
#include "platform/Memory.h"
#include "platform/qt/IWorkbayPlugin.h"
#include "view/CStyledRenderer.h"
#include "view/qt/CConsoleView.h"
#include "view/qt/CTextInfoWnd.h"

namespace quillpad {
namespace {

constexpr std::uint64_t kRate = 1000000;  // bytes per second

class CConsolePlugin final : public IWorkbayPlugin {
  public:
    QString ProgId() const override { return QStringLiteral("QUILLPAD2.Quillpad2Ctrl.1"); }
    QWidget* CreateControl(QWidget* parent) override { return new CQuillpad2Ctrl(parent); }
    std::int32_t RegisterServer(const QString&) override { return kSelfRegOk; }
    std::int32_t UnregisterServer() override { return kSelfRegOk; }
};

class CSilentUi final : public IWorkbayUi {
  public:
    void ShowMessage(QWidget*, EWorkbayMessage, const QString& caption,
                     const QString& text) override {
        std::fprintf(stderr, "message: %s: %s\n", caption.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData());
        ++messages;
    }
    std::optional<SNewConsoleChoice> AskNewConsole(QWidget*, const SNewConsoleOptions&) override {
        return std::nullopt;
    }
    int messages = 0;
};

long long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long long pages = 0;
    long long resident = 0;
    if (!(statm >> pages >> resident)) {
        return 0;
    }
    return resident * ::sysconf(_SC_PAGESIZE);
}

// Of the resident memory, what the program allocated and what is mapped
// from files (the spill file's windows among it), from /proc/self/status.
long long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::atoll(line.c_str() + prefix.size());
        }
    }
    return 0;
}

double MB(double bytes) {
    return bytes / 1e6;
}

std::uint64_t FileSize(const std::string& path) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : size;
}

// The event loop's turns, timed by the gaps between the ticks of a 1 ms timer.
class CTurnClock {
  public:
    CTurnClock() {
        m_clock.start();
        m_last = m_clock.nsecsElapsed();
        m_tick.setTimerType(Qt::PreciseTimer);
        m_tick.setInterval(1);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_worst = std::max(m_worst, now - m_last);
            m_last = now;
        });
        m_tick.start();
    }
    // The worst turn since the last call, in ms.
    double TakeWorstMs() {
        const double worst = static_cast<double>(m_worst) / 1e6;
        m_worst = 0;
        return worst;
    }

  private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_last = 0;
    qint64 m_worst = 0;
};

// Runs the loop as a program's runs: asleep until an event comes (the turn
// clock's tick wakes it every millisecond at the latest).
void RunLoopFor(int ms, const std::function<bool()>& done = {}) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;
    wake.start(20);
    while ((!done || !done()) && clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// Reads a file front to back and tells whether it goes on with given bytes.
class CFileMatcher {
  public:
    explicit CFileMatcher(const std::string& path)
        : m_in(path, std::ios::binary), m_open(static_cast<bool>(m_in)) {}
    bool Open() const { return m_open; }
    // False at the first difference (and from then on).
    bool Next(std::string_view expected) {
        while (m_ok && !expected.empty()) {
            if (m_pos == m_buffer.size()) {
                m_buffer.resize(1 << 20);
                m_in.read(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
                m_buffer.resize(static_cast<std::size_t>(m_in.gcount()));
                m_pos = 0;
                if (m_buffer.empty()) {
                    m_ok = false;
                    m_why = "the file ends early";
                    break;
                }
            }
            const std::size_t n = std::min(expected.size(), m_buffer.size() - m_pos);
            if (std::string_view(m_buffer).substr(m_pos, n) != expected.substr(0, n)) {
                m_ok = false;
                m_why = "differs";
                break;
            }
            m_pos += n;
            m_offset += n;
            expected.remove_prefix(n);
        }
        return m_ok;
    }
    // Would `expected` come next? Consumes nothing.
    bool Peek(std::string_view expected) {
        while (m_buffer.size() - m_pos < expected.size()) {
            std::string more(1 << 20, '\0');
            m_in.read(more.data(), static_cast<std::streamsize>(more.size()));
            more.resize(static_cast<std::size_t>(m_in.gcount()));
            if (more.empty()) {
                break;
            }
            m_buffer.erase(0, m_pos);
            m_pos = 0;
            m_buffer += more;
        }
        return std::string_view(m_buffer).substr(m_pos, expected.size()) == expected;
    }
    // Up to `n` bytes from the current place, for a report.
    std::string Ahead(std::size_t n) {
        Peek(std::string(n, '\0'));
        return m_buffer.substr(m_pos, n);
    }
    bool AtEnd() {
        if (m_pos < m_buffer.size()) {
            return false;
        }
        char c = 0;
        return !m_in.read(&c, 1);
    }
    std::uint64_t Offset() const { return m_offset; }
    const std::string& Why() const { return m_why; }

  private:
    std::ifstream m_in;
    bool m_open = false;
    std::string m_buffer;
    std::size_t m_pos = 0;
    std::uint64_t m_offset = 0;
    bool m_ok = true;
    std::string m_why;
};

bool Report(const char* what, bool ok, const std::string& detail) {
    std::printf("SOAK %-34s %s%s%s\n", what, ok ? "ok" : "FAILED", detail.empty() ? "" : ": ",
                detail.c_str());
    return ok;
}

int Run(int minutes) {
    const auto home =
        std::filesystem::temp_directory_path() / ("quillpad-soak-" + std::to_string(::getpid()));
    std::filesystem::create_directories(home);
    ::setenv("WORKBAY_HOME", home.c_str(), 1);

    CConsolePlugin plugin;
    CSilentUi ui;
    CPluginCatalog catalog;
    catalog.Add(QStringLiteral("Quillpad2"), &plugin);
    std::optional<CRegistryStore> registry(CRegistryStore::Open(ERegistryRoot::CurrentUser));
    auto window =
        std::make_unique<CWorkbayWindow>(catalog, ui, *registry, (home / "workspace.ini").string());
    window->resize(1000, 700);
    window->show();
    CConsoleWindow* console = window->OpenConsole(QStringLiteral("Quillpad2"), "sim:");
    auto* control = console ? qobject_cast<CQuillpad2Ctrl*>(console->Control()) : nullptr;
    if (control == nullptr) {
        std::fprintf(stderr, "the console did not open\n");
        return 2;
    }
    RunLoopFor(10000, [&] { return control->ConsoleOpen(); });
    if (!control->ConsoleOpen()) {
        std::fprintf(stderr, "the console did not connect to the simulator\n");
        return 2;
    }
    CDataStore& store = *control->Store();
    RunLoopFor(500);

    SLogRequest logs;
    logs.quickName = "soak";
    logs.plainEnabled = logs.formattedEnabled = logs.binaryEnabled = true;
    logs.plainPath = (home / "soak - Plain.txt").string();
    logs.formattedPath = (home / "soak - Formatted.txt").string();
    logs.binaryPath = (home / "soak.wblog").string();
    if (store.StartLogging(logs) != 0 || store.LiveLogKinds().size() != 3) {
        std::fprintf(stderr, "the logs did not open\n");
        return 2;
    }
    const std::size_t firstLogged = store.RecordCount();

    // The styles the minute timer goes through, and from which record on each
    // was asked for.
    std::vector<std::string> names;
    for (const auto& entry : control->Schemes().MenuEntries()) {
        names.push_back(entry.text);
    }
    struct SStyleChange {
        std::shared_ptr<CStyleScheme> scheme;
        std::size_t fromRecord = 0;
    };
    std::vector<SStyleChange> styles{{control->Schemes().Current(), firstLogged}};

    const std::uint64_t floodBytes = static_cast<std::uint64_t>(minutes) * 60 * kRate;
    const long long startResident = ResidentBytes();
    const std::size_t startHeld = store.ReservedBytes();
    control->MessageChannel().Post(
        control->Handle(), UM_SEND_TEXT, 0, 0,
        CPayload::Make(ByteString("flood " + std::to_string(kRate) + " " +
                                  std::to_string(floodBytes) + "\r")));

    CTurnClock turns;
    int hoverShown = 0;
    QTimer hover;
    QObject::connect(&hover, &QTimer::timeout, [&] {
        CTextInfoWnd* info = control->View()->TextInfo();
        const QPoint at(20, control->View()->height() / 2);
        info->MouseMoved(at, true);
        hoverShown += info->isVisible() ? 1 : 0;
        QTimer::singleShot(400, info, [info, at] { info->MouseMoved(at, false); });
    });
    hover.start(1000);
    std::size_t nextName = 0;
    QTimer restyle;
    QObject::connect(&restyle, &QTimer::timeout, [&] {
        for (std::size_t tries = 0; tries < names.size(); ++tries) {
            const std::string& name = names[nextName++ % names.size()];
            if (name != control->Schemes().Current()->Name && control->SelectSchemeByName(name)) {
                styles.push_back({control->Schemes().Current(), store.RecordCount()});
                std::printf("SOAK style \"%s\" from record %zu\n", name.c_str(),
                            store.RecordCount());
                return;
            }
        }
    });
    restyle.start(60000);

    std::printf(
        "SOAK minute  resident_MB  history_in_memory_MB  resident_less_history_MB  "
        "spilled_MB  received_MB  worst_turn_ms  anon_MB  file_MB  index_MB  heap_used_MB  "
        "heap_free_MB\n");
    double worstTurn = 0;
    double worstAfterFirst = 0;
    long long peakLessHistory = 0;
    long long firstLessHistory = 0;
    // Anonymous memory less the history, its indexes and what the allocator
    // holds free: what is left is memory nothing here accounts for.
    long long firstUnaccounted = 0;
    long long peakUnaccounted = 0;
    const auto indexBytes = [&] {
        return static_cast<long long>(control->View()->IndexBytes() + store.OffsetIndexBytes());
    };
    const auto finished = [&] {
        const std::size_t count = store.RecordCount();
        for (std::size_t i = count > 8 ? count - 8 : 0; i < count; ++i) {
            const auto record = store.Record(i);
            if (record && record->bytes.find("flood done") != std::string_view::npos) {
                return true;
            }
        }
        return false;
    };
    std::uint64_t received = 0;
    std::size_t counted = 0;
    for (int minute = 1; minute <= minutes + 1; ++minute) {
        RunLoopFor(60000,
                   minute > minutes ? std::function<bool()>(finished) : std::function<bool()>());
        for (; counted < store.RecordCount(); ++counted) {
            const auto record = store.Record(counted);
            if (record && record->direction == kDirectionIncoming) {
                received += record->length;
            }
        }
        const double worst = turns.TakeWorstMs();
        worstTurn = std::max(worstTurn, worst);
        if (minute > 1) {
            worstAfterFirst = std::max(worstAfterFirst, worst);
        }
        const long long resident = ResidentBytes();
        const long long held = static_cast<long long>(store.ReservedBytes());
        const long long less = resident - held;
        if (minute == 1) {
            firstLessHistory = less;
        }
        peakLessHistory = std::max(peakLessHistory, less);
        const long long anon = 1024 * StatusKilobytes("RssAnon");
        const long long index = indexBytes();
        const struct mallinfo2 heap = ::mallinfo2();
        const long long heapFree = static_cast<long long>(heap.fordblks);
        const long long unaccounted = anon - held - index - heapFree;
        if (minute == 1) {
            firstUnaccounted = unaccounted;
        }
        peakUnaccounted = std::max(peakUnaccounted, unaccounted);
        std::printf(
            "SOAK %6d  %11.1f  %20.1f  %24.1f  %10.1f  %11.1f  %13.1f  %7.1f  %7.1f  %8.1f  "
            "%12.1f  %12.1f\n",
            minute, MB(double(resident)), MB(double(held)), MB(double(less)),
            MB(double(FileSize(store.SpillPath()))), MB(double(received)), worst, MB(double(anon)),
            MB(1024.0 * double(StatusKilobytes("RssFile"))), MB(double(index)),
            MB(double(heap.uordblks + heap.hblkhd)), MB(double(heapFree)));
        std::fflush(stdout);
        if (minute > minutes && finished()) {
            break;
        }
    }
    hover.stop();
    restyle.stop();
    RunLoopFor(500);
    store.StopLogging();

    std::printf("SOAK start_resident_MB %.1f (history in memory %.1f)\n", MB(double(startResident)),
                MB(double(startHeld)));
    std::printf("SOAK resident_less_history_MB first_minute %.1f peak %.1f growth %.1f\n",
                MB(double(firstLessHistory)), MB(double(peakLessHistory)),
                MB(double(peakLessHistory - firstLessHistory)));
    std::printf(
        "SOAK unaccounted_MB (anon less history, indexes and free heap) first_minute %.1f "
        "peak %.1f growth %.1f\n",
        MB(double(firstUnaccounted)), MB(double(peakUnaccounted)),
        MB(double(peakUnaccounted - firstUnaccounted)));
    {
        // How much of the anonymous memory was only the allocator's free
        // space: what giving it back to the system returns.
        const long long before = 1024 * StatusKilobytes("RssAnon");
        ::malloc_trim(0);
        const long long after = 1024 * StatusKilobytes("RssAnon");
        std::printf("SOAK anon_MB before_trim %.1f after_trim %.1f index_MB %.1f\n",
                    MB(double(before)), MB(double(after)), MB(double(indexBytes())));
    }
    std::printf("SOAK worst_event_loop_turn_ms %.1f (after the first minute %.1f)\n", worstTurn,
                worstAfterFirst);
    std::printf("SOAK hover_shown %d  style_changes %zu  records %zu  messages %d\n", hoverShown,
                styles.size() - 1, store.RecordCount(), ui.messages);

    // What the console received against what the simulator sent: its flood
    // is numbered lines, from the first line on, floodBytes in all.
    bool all = true;
    {
        const ByteString first = CDevSimEngine::FloodBytes(0, 64);
        std::string head;
        std::size_t i = firstLogged;
        std::uint64_t offset = 0;
        bool started = false;
        bool same = true;
        for (; i < store.RecordCount() && same && offset < floodBytes; ++i) {
            const auto record = store.Record(i);
            if (!record || record->direction != kDirectionIncoming) {
                continue;
            }
            std::string_view bytes = record->bytes;
            if (!started) {
                head.append(bytes);
                const std::size_t at = head.find(first);
                if (at == std::string::npos) {
                    continue;
                }
                started = true;
                bytes = std::string_view(head).substr(at);
            }
            const std::size_t n = static_cast<std::size_t>(
                std::min<std::uint64_t>(bytes.size(), floodBytes - offset));
            same = CDevSimEngine::FloodBytes(offset, n) == bytes.substr(0, n);
            offset += n;
        }
        all &= Report("received = simulator's flood", started && same && offset == floodBytes,
                      std::to_string(offset) + " of " + std::to_string(floodBytes) + " bytes");
    }

    // The plain log holds every data record of the console's own stream, as
    // it came; the formatted one each rendered with the style shown then.
    {
        CFileMatcher plain(logs.plainPath);
        CFileMatcher formatted(logs.formattedPath);
        std::size_t style = 0;
        std::string text;
        std::string other;
        std::uint64_t bytes = 0;
        bool formattedOk = formatted.Open();
        for (std::size_t i = firstLogged; i < store.RecordCount(); ++i) {
            const auto record = store.Record(i);
            if (!record || record->kind != kDataRecordKind || record->source != kSourceOwn) {
                continue;
            }
            bytes += record->length;
            plain.Next(record->bytes);
            if (!formattedOk) {
                continue;
            }
            // A style takes over when the view has it, a little after it was
            // asked for: a record rendered the old way until then is right too.
            text.clear();
            CStyledRenderer::AppendToString(text, styles[style].scheme.get(), *record);
            // A change that renders this stream as the one before showed no
            // trace, so any later style asked for by now may be the one.
            for (std::size_t next = style + 1;
                 next < styles.size() && i >= styles[next].fromRecord && !formatted.Peek(text);
                 ++next) {
                other.clear();
                CStyledRenderer::AppendToString(other, styles[next].scheme.get(), *record);
                if (formatted.Peek(other)) {
                    style = next;
                    text.swap(other);
                }
            }
            if (!formatted.Peek(text)) {
                // Where and how it differs, visible bytes escaped.
                const auto show = [](std::string_view bytes) {
                    std::string out;
                    for (const char c : bytes.substr(0, 60)) {
                        if (c >= 0x20 && c < 0x7f) {
                            out.push_back(c);
                        } else {
                            char hex[8];
                            std::snprintf(hex, sizeof hex, "\\x%02X", c & 0xFF);
                            out += hex;
                        }
                    }
                    return out;
                };
                std::printf(
                    "SOAK formatted differs at record %zu (style %zu asked from record "
                    "%zu)\n  expected \"%s\"\n  the log \"%s\"\n",
                    i, style + 1, style + 1 < styles.size() ? styles[style + 1].fromRecord : 0,
                    show(text).c_str(), show(formatted.Ahead(text.size())).c_str());
            }
            formattedOk = formatted.Next(text);
        }
        all &= Report("plain log = received", plain.Open() && plain.Next("") && plain.AtEnd(),
                      std::to_string(plain.Offset()) + " of " + std::to_string(bytes) +
                          " bytes, the file " + std::to_string(FileSize(logs.plainPath)) + " " +
                          plain.Why());
        all &= Report("formatted log = rendered", formattedOk && formatted.AtEnd(),
                      std::to_string(formatted.Offset()) + " bytes, " + std::to_string(style) +
                          " style changes found " + formatted.Why());
    }

    // The binary log: every record of the console's, in order, with its
    // direction, owner and bytes.
    {
        std::string error;
        auto source = CFileByteSource::Open(logs.binaryPath, error);
        SBinaryLogLoad load;
        CRecordArena arena;
        bool ok = source != nullptr;
        if (ok) {
            CBinaryLogReader reader(*source);
            ok = reader.ReadHeader(load);
            if (ok) {
                reader.ReadRecords(arena, load);
            }
            error = load.error;
        }
        std::size_t j = 0;
        for (std::size_t i = firstLogged; ok && i < store.RecordCount(); ++i) {
            const auto record = store.Record(i);
            if (!record || record->kind != kDataRecordKind) {
                continue;
            }
            if (j >= arena.Count()) {
                ok = false;
                error = "the log ends at record " + std::to_string(j);
                break;
            }
            const SDataRecord logged = arena.At(j++);
            if (logged.direction != record->direction || logged.ownerId != record->ownerId ||
                logged.bytes != record->bytes) {
                ok = false;
                error = "record " + std::to_string(j - 1) + " differs";
            }
        }
        if (ok && j != arena.Count()) {
            ok = false;
            error = std::to_string(arena.Count() - j) + " records more than received";
        }
        all &= Report("binary log = received", ok && !load.truncated,
                      std::to_string(j) + " records, " + std::to_string(FileSize(logs.binaryPath)) +
                          " bytes " + error);
    }

    window.reset();
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return all ? 0 : 1;
}

}  // namespace
}  // namespace quillpad

int main(int argc, char** argv) {
    // As the host's own main does.
    quillpad::ReturnLargeAllocationsToTheSystem();
    int minutes = 30;
    if (const char* env = std::getenv("SOAK_MINUTES")) {
        minutes = std::max(1, std::atoi(env));
    }
    QApplication app(argc, argv);
    return quillpad::Run(minutes);
}
