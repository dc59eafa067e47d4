#include "devsim/CDevSimEngine.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <ctime>
#include <vector>

#include "nxr/NxrTick.h"
#include "platform/LocalTime.h"

namespace quillpad {
namespace {

constexpr std::string_view kPrompt = "> ";
constexpr std::string_view kNewLine = "\r\n";
constexpr char kCtrlC = 0x03;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
            ++i;
        }
        const std::size_t start = i;
        while (i < text.size() && text[i] != ' ' && text[i] != '\t') {
            ++i;
        }
        if (i > start) {
            words.push_back(text.substr(start, i - start));
        }
    }
    return words;
}

bool ReadCount(std::string_view text, std::uint64_t& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

void Line(ByteString& out, std::string_view text) {
    out += text;
    out += kNewLine;
}

constexpr std::string_view kHelp =
    "Commands:\r\n"
    "  help                 this list\r\n"
    "  ver                  firmware version\r\n"
    "  info                 device information\r\n"
    "  time                 the controller's clock\r\n"
    "  burst <n>            n bytes 00 01 .. FF 00 .. (text, control and high bytes)\r\n"
    "  flood <rate> [<n>]   numbered 64-byte lines at rate bytes/s (0 = flat out),\r\n"
    "                       n bytes in all (default: until stop or Ctrl-C)\r\n"
    "  stop                 end a flood\r\n"
    "  login                asks for a password (not echoed), takes any\r\n"
    "  raw <n>              echo the next n bytes untouched, then report\r\n"
    "  xmodem receive       take a file by XModem (start your XModem Send)\r\n"
    "  xmodem send <n>      send n bytes 00 01 .. FF 00 .. by XModem (start your Receive)\r\n"
    "Abilities: DevInfo Firmware SystemClock Program SerialComm ProgramRestart ProgramStop\r\n"
    "           QbusMasterReportDevices <bus>,<true|false>\r\n";

}  // namespace

CDevSimEngine::CDevSimEngine(SDevSimOptions options, std::function<std::int64_t()> nowSeconds)
    : m_options(std::move(options)), m_nowSeconds(std::move(nowSeconds)) {
    if (!m_nowSeconds) {
        m_nowSeconds = [] { return static_cast<std::int64_t>(std::time(nullptr)); };
    }
}

ByteString CDevSimEngine::Start() const {
    ByteString out;
    Line(out, m_options.name + " controller console (simulated). Type help for commands.");
    out += kPrompt;
    return out;
}

ByteString CDevSimEngine::Break() {
    ++m_breaks;
    ByteString out;
    if (m_flooding) {
        StopFlood(out, true);
        return out;
    }
    m_line.clear();
    out += kNewLine;
    Line(out, "*** BREAK received ***");
    out += kPrompt;
    return out;
}

ByteString CDevSimEngine::Receive(std::string_view bytes) {
    ByteString out;
    if (XModemRunning()) {
        const std::size_t used =
            m_xReceiver ? m_xReceiver->Feed(bytes, m_nowMs) : m_xSender->Feed(bytes, m_nowMs);
        XModemStep(out);
        if (used < bytes.size() && !XModemRunning()) {
            out += Receive(bytes.substr(used));  // typed after the transfer ended
        }
        return out;
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (m_rawLeft > 0) {
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_rawLeft, bytes.size() - i));
            out.append(bytes.substr(i, take));
            m_rawLeft -= take;
            i += take - 1;
            if (m_rawLeft == 0) {
                out += kNewLine;
                Line(out, "raw done " + std::to_string(m_rawTotal));
                out += kPrompt;
            }
            continue;
        }
        if (m_flooding && c == kCtrlC) {
            StopFlood(out, true);
            continue;
        }
        if (c == kCtrlC && Interrupt(out)) {
            continue;
        }
        if (c == '\n' && m_afterCr) {
            m_afterCr = false;
            continue;
        }
        m_afterCr = (c == '\r');
        if (c == '\r' || c == '\n') {
            if (m_options.echo) {
                out += kNewLine;
            }
            const std::string line = std::move(m_line);
            m_line.clear();
            if (m_askingPassword) {
                // A console echoes the line end, never the secret.
                m_askingPassword = false;
                if (!m_options.echo) {
                    out += kNewLine;
                }
                Line(out, "Logged in.");
                out += kPrompt;
            } else if (m_askingStop) {
                AnswerQuestion(line, out);
            } else if (m_scanStep > 0) {
                // A scan holds the console: the line is dropped, as the
                // device would.
            } else {
                Command(line, out);
            }
            continue;
        }
        if (c == '\b' || c == 0x7F) {
            if (!m_line.empty()) {
                m_line.pop_back();
                if (m_options.echo && !m_askingPassword) {
                    out += "\b \b";
                }
            }
            continue;
        }
        if (m_options.echo && !m_askingPassword) {
            out.push_back(c);
        }
        if (m_line.size() < kMaxLine) {
            m_line.push_back(c);
        }
    }
    return out;
}

void CDevSimEngine::StopFlood(ByteString& out, bool byUser) {
    m_flooding = false;
    out += kNewLine;
    Line(out, std::string(byUser ? "flood stopped after " : "flood done ") +
                  std::to_string(m_floodSent) + " bytes");
    out += kPrompt;
}

void CDevSimEngine::Command(std::string_view line, ByteString& out) {
    if (line.size() >= kMaxLine) {
        Line(out, "error: line too long (at most " + std::to_string(kMaxLine - 1) + " bytes)");
        out += kPrompt;
        return;
    }
    const auto words = Words(line);
    if (words.empty()) {
        out += kPrompt;
        return;
    }
    const std::string verb = Lower(words[0]);
    std::uint64_t n = 0;
    if (verb == "help" || verb == "?") {
        out += kHelp;
    } else if (verb == "ver" || verb == "firmware") {
        Line(out, m_options.name + " firmware 4.2.7 (build 1187)");
    } else if (verb == "info" || verb == "devinfo") {
        Line(out, "Model:    " + m_options.name);
        Line(out, "Serial:   SIM-000042");
        Line(out, "Firmware: 4.2.7");
        Line(out, "Program:  " + std::string(m_programRunning ? "running" : "stopped"));
    } else if (verb == "time" || verb == "systemclock") {
        const std::string text = FormatCalendarSeconds("%Y-%m-%d %H:%M:%S", m_nowSeconds());
        Line(out, "Clock: " + (text.empty() ? std::string("unknown") : text));
    } else if (verb == "program") {
        Line(out, "Program: main.qbp, " + std::string(m_programRunning ? "running" : "stopped"));
    } else if (verb == "programrestart") {
        m_programRunning = true;
        Line(out, "Program restarted");
    } else if (verb == "serialcomm") {
        Line(out, "Serial: 115200 8N1, flow none");
    } else if (verb == "login") {
        out += "Password: ";
        m_askingPassword = true;
        return;
    } else if (verb == "programstop") {
        if (!m_programRunning) {
            Line(out, "Program already stopped");
        } else {
            // Answered by the next line; the ability protocol shows it as a question.
            Line(out, "QUERY 1: Stop the running program main.qbp?");
            m_askingStop = true;
            return;
        }
    } else if (verb == "qbusmasterreportdevices") {
        m_scanArgs = words.size() > 1 ? std::string(line.substr(line.find(words[1])))
                                      : std::string("0,false");
        Line(out, "PROGRESS 0 Scanning Qbus " + m_scanArgs);
        m_scanStep = 1;
        m_scanDue = m_nowMs + kScanStepMs;
        return;  // the report and the prompt come with the scan's last step
    } else if (verb == "burst") {
        if (words.size() != 2 || !ReadCount(words[1], n) || n > kMaxBurst) {
            Line(out, "error: burst needs a count from 0 to " + std::to_string(kMaxBurst));
        } else {
            out.reserve(out.size() + n + 32);
            for (std::uint64_t i = 0; i < n; ++i) {
                out.push_back(BurstByte(i));
            }
            out += kNewLine;
            Line(out, "burst done " + std::to_string(n));
        }
    } else if (verb == "flood") {
        std::uint64_t count = 0;
        if (words.size() < 2 || words.size() > 3 || !ReadCount(words[1], n) ||
            (words.size() == 3 && !ReadCount(words[2], count))) {
            Line(out, "error: flood needs a rate in bytes per second and an optional count");
        } else {
            m_flooding = true;
            m_floodRate = n;
            m_floodCount = count;
            m_floodSent = 0;
            return;  // the prompt comes when the flood ends
        }
    } else if (verb == "stop") {
        if (m_flooding) {
            StopFlood(out, true);
            return;
        }
        Line(out, "nothing to stop");
    } else if (verb == "xmodem") {
        const std::string what = words.size() > 1 ? Lower(words[1]) : std::string();
        if (what == "receive" && words.size() == 2) {
            Line(out, "xmodem: waiting for your XModem Send");
            m_xReceiver = std::make_unique<CNxrXModemReceiver>(SXModemReceiverOptions{}, m_nowMs);
            m_xBytes = 0;
            m_xSum = 0;
            XModemStep(out);
            return;
        }
        if (what == "send" && words.size() == 3 && ReadCount(words[2], n) && n <= kMaxBurst) {
            ByteString data(static_cast<std::size_t>(n), '\0');
            for (std::uint64_t i = 0; i < n; ++i) {
                data[static_cast<std::size_t>(i)] = BurstByte(i);
            }
            Line(out, "xmodem: sending " + std::to_string(n) + " bytes, start your XModem Receive");
            m_xSender = std::make_unique<CNxrXModemSender>(std::move(data), SXModemSenderOptions{},
                                                           m_nowMs);
            return;
        }
        Line(out, "error: xmodem receive, or xmodem send <n> (n up to " +
                      std::to_string(kMaxBurst) + ")");
    } else if (verb == "raw") {
        if (words.size() != 2 || !ReadCount(words[1], n) || n == 0) {
            Line(out, "error: raw needs a count above 0");
        } else {
            m_rawLeft = n;
            m_rawTotal = n;
            Line(out, "raw " + std::to_string(n));
            return;
        }
    } else {
        Line(out, "error: unknown command \"" + std::string(words[0]) + "\" (try help)");
    }
    out += kPrompt;
}

ByteString CDevSimEngine::Tick(std::uint32_t nowMs) {
    m_nowMs = nowMs;
    ByteString out;
    ScanStep(out);
    if (m_xReceiver) {
        m_xReceiver->Tick(nowMs);
    } else if (m_xSender) {
        m_xSender->Tick(nowMs);
    }
    XModemStep(out);
    return out;
}

void CDevSimEngine::ScanStep(ByteString& out) {
    static constexpr int kAddresses = 4;
    static constexpr std::string_view kFound[kAddresses] = {"QIO-16 digital I/O", "(none)",
                                                            "QAI-8 analog input", "(none)"};
    while (m_scanStep > 0 && TickReached(m_nowMs, m_scanDue)) {
        const int address = m_scanStep;
        Line(out, "PROGRESS " + std::to_string(address * 100 / kAddresses) + " Address " +
                      std::to_string(address) + ": " + std::string(kFound[address - 1]));
        m_scanDue += kScanStepMs;
        if (++m_scanStep > kAddresses) {
            m_scanStep = 0;
            Line(out, "Qbus " + m_scanArgs + ": 2 devices");
            Line(out, "  1: QIO-16 digital I/O");
            Line(out, "  3: QAI-8 analog input");
            out += kPrompt;
        }
    }
}

void CDevSimEngine::AnswerQuestion(std::string_view line, ByteString& out) {
    m_askingStop = false;
    const std::string answer = Lower(line);
    if (answer == "yes" || answer == "y") {
        m_programRunning = false;
        Line(out, "Program stopped");
    } else {
        Line(out, "Program left running");
    }
    out += kPrompt;
}

bool CDevSimEngine::Interrupt(ByteString& out) {
    if (!m_askingStop && !m_askingPassword && m_scanStep == 0) {
        return false;
    }
    m_askingStop = false;
    m_askingPassword = false;
    m_scanStep = 0;
    m_line.clear();
    out += kNewLine;
    Line(out, "cancelled");
    out += kPrompt;
    return true;
}

std::uint32_t CDevSimEngine::Sum(std::string_view bytes, std::uint32_t sum) {
    for (const char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

// Hands on what the transfer says, and the report with a prompt when it ends.
void CDevSimEngine::XModemStep(ByteString& out) {
    if (m_xReceiver) {
        out += m_xReceiver->TakeOutput();
        const ByteString data = m_xReceiver->TakeData();
        m_xBytes += data.size();
        m_xSum = Sum(data, m_xSum);
        if (m_xReceiver->State() == EXModemState::Running) {
            return;
        }
        const bool done = m_xReceiver->State() == EXModemState::Done;
        out += kNewLine;
        Line(out, done ? "xmodem: received " + std::to_string(m_xBytes) + " bytes, sum " +
                             std::to_string(m_xSum)
                       : "xmodem: receive failed: " + m_xReceiver->ErrorText());
        m_xReceiver.reset();
        out += kPrompt;
    } else if (m_xSender) {
        out += m_xSender->TakeOutput();
        if (m_xSender->State() == EXModemState::Running) {
            return;
        }
        const bool done = m_xSender->State() == EXModemState::Done;
        out += kNewLine;
        Line(out, done ? "xmodem: sent " + std::to_string(m_xSender->Total()) + " bytes"
                       : "xmodem: send failed: " + m_xSender->ErrorText());
        m_xSender.reset();
        out += kPrompt;
    }
}

std::size_t CDevSimEngine::FloodDue(std::uint64_t elapsedMs, std::size_t linkRoom) const {
    if (!m_flooding) {
        return 0;
    }
    std::uint64_t due = linkRoom;
    if (m_floodRate > 0) {
        const std::uint64_t owed = m_floodRate * elapsedMs / 1000;
        due = owed > m_floodSent ? owed - m_floodSent : 0;
    }
    if (m_floodCount > 0) {
        due = std::min(due, m_floodCount - m_floodSent);
    }
    return static_cast<std::size_t>(std::min<std::uint64_t>(due, linkRoom));
}

ByteString CDevSimEngine::TakeFlood(std::size_t n) {
    if (!m_flooding) {
        return {};
    }
    if (m_floodCount > 0) {
        n = static_cast<std::size_t>(std::min<std::uint64_t>(n, m_floodCount - m_floodSent));
    }
    ByteString out = FloodBytes(m_floodSent, n);
    m_floodSent += n;
    if (m_floodCount > 0 && m_floodSent >= m_floodCount) {
        StopFlood(out, false);
    }
    return out;
}

ByteString CDevSimEngine::FloodBytes(std::uint64_t offset, std::size_t n) {
    static constexpr std::string_view kFill =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0";
    static_assert(kFill.size() + 11 == kFloodLine);
    ByteString out;
    out.reserve(n);
    char line[kFloodLine + 1];
    std::uint64_t lineNo = offset / kFloodLine;
    std::size_t at = static_cast<std::size_t>(offset % kFloodLine);
    while (out.size() < n) {
        std::snprintf(line, sizeof line, "%08llX %s\r\n",
                      static_cast<unsigned long long>(lineNo & 0xFFFFFFFFull), kFill.data());
        const std::size_t take = std::min(kFloodLine - at, n - out.size());
        out.append(line + at, take);
        at = 0;
        ++lineNo;
    }
    return out;
}

}  // namespace quillpad
