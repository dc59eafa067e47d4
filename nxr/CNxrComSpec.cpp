#include "nxr/CNxrComSpec.h"

#include <algorithm>
#include <charconv>
#include <vector>

namespace quillpad {
namespace {

std::string_view Trim(std::string_view text) {
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && isSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return out;
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    while (true) {
        const auto comma = text.find(',');
        parts.push_back(Trim(text.substr(0, comma)));
        if (comma == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(comma + 1);
    }
}

// Whole decimal number in [low, high]; nothing else in the text.
bool ReadNumber(std::string_view text, long long low, long long high, long long& value) {
    if (text.empty()) {
        return false;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

bool IsDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Quoted(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out.push_back('"');
    out.append(text);
    out.push_back('"');
    return out;
}

}  // namespace

CNxrComSpec::CNxrComSpec(bool acceptNetwork, bool acceptSimulated)
    : m_acceptNetwork(acceptNetwork), m_acceptSimulated(acceptSimulated) {}

void CNxrComSpec::Clear() {
    const bool network = m_acceptNetwork;
    const bool simulated = m_acceptSimulated;
    *this = CNxrComSpec(network, simulated);
}

bool CNxrComSpec::Fail(std::string text) {
    const std::string spec = m_spec;
    Clear();
    m_spec = spec;
    m_error = "bad connection spec " + Quoted(spec) + ": " + std::move(text);
    return false;
}

bool CNxrComSpec::Parse(std::string_view specText) {
    Clear();
    m_spec = std::string(Trim(specText));
    const std::string_view spec = m_spec;
    const auto colon = spec.find(':');
    if (spec.empty()) {
        return Fail("it is empty");
    }
    if (colon == std::string_view::npos) {
        return Fail("it names no kind (expected serial:, tcp:, telnet:, rfc2217: or sim:)");
    }
    const std::string kind = Lower(spec.substr(0, colon));
    const std::string_view rest = Trim(spec.substr(colon + 1));
    bool ok = false;
    if (kind == "serial") {
        ok = ParseSerial(rest);
        if (ok) {
            m_nConnectionKind = static_cast<std::uint32_t>(ENxrConnectionKind::Serial);
        }
    } else if (kind == "tcp" || kind == "telnet") {
        if (!m_acceptNetwork) {
            return Fail("network links are not accepted here");
        }
        ok = ParseNetwork(rest, kind == "telnet");
        if (ok) {
            m_nConnectionKind = static_cast<std::uint32_t>(
                kind == "tcp" ? ENxrConnectionKind::Tcp : ENxrConnectionKind::Telnet);
        }
    } else if (kind == "rfc2217") {
        if (!m_acceptNetwork) {
            return Fail("network links are not accepted here");
        }
        ok = ParseComPort(rest);
        if (ok) {
            m_nConnectionKind = static_cast<std::uint32_t>(ENxrConnectionKind::Telnet);
        }
    } else if (kind == "sim") {
        if (!m_acceptSimulated) {
            return Fail("the simulated controller is not accepted here");
        }
        ok = ParseSim(rest);
        if (ok) {
            m_nConnectionKind = static_cast<std::uint32_t>(ENxrConnectionKind::Simulated);
        }
    } else {
        return Fail("unknown kind " + Quoted(spec.substr(0, colon)) +
                    " (expected serial:, tcp:, telnet:, rfc2217: or sim:)");
    }
    if (ok) {
        m_error.clear();
    }
    return ok;
}

bool CNxrComSpec::ParseSerial(std::string_view rest) {
    const auto parts = SplitCommas(rest);
    if (parts[0].empty()) {
        return Fail("no serial device given");
    }
    m_device = std::string(parts[0]);
    return ParseLineOptions(parts, 1, "the device");
}

bool CNxrComSpec::ParseComPort(std::string_view rest) {
    const auto parts = SplitCommas(rest);
    if (!ParseHostPort(parts[0], false)) {
        return false;
    }
    m_comPort = true;
    return ParseLineOptions(parts, 1, "the port");
}

bool CNxrComSpec::ParseLineOptions(const std::vector<std::string_view>& parts, std::size_t from,
                                   std::string_view after) {
    bool haveBaud = false;
    bool haveFormat = false;
    bool haveFlow = false;
    for (std::size_t i = from; i < parts.size(); ++i) {
        const std::string part = Lower(parts[i]);
        if (part.empty()) {
            return Fail("empty field after " + std::string(after));
        }
        if (bool ok = true; ParseReconnect(parts[i], ok)) {
            if (!ok) {
                return false;
            }
        } else if (part.rfind("flow=", 0) == 0) {
            const std::string flow = part.substr(5);
            if (haveFlow) {
                return Fail("flow control given twice");
            }
            haveFlow = true;
            if (flow == "none") {
                m_flow = ENxrFlowControl::None;
            } else if (flow == "rtscts" || flow == "hardware") {
                m_flow = ENxrFlowControl::RtsCts;
            } else if (flow == "xonxoff" || flow == "software") {
                m_flow = ENxrFlowControl::XonXoff;
            } else {
                return Fail("unknown flow control " + Quoted(parts[i].substr(5)) +
                            " (expected none, rtscts or xonxoff)");
            }
        } else if (IsDigits(part) && !haveBaud) {
            long long baud = 0;
            if (!ReadNumber(part, 50, 100000000, baud)) {
                return Fail("baud rate " + Quoted(parts[i]) + " is out of range");
            }
            m_baud = static_cast<std::int32_t>(baud);
            haveBaud = true;
        } else if (!haveFormat && part.size() >= 3 && part[0] >= '5' && part[0] <= '8') {
            m_dataBits = part[0] - '0';
            switch (part[1]) {
                case 'n':
                    m_parity = ENxrParity::None;
                    break;
                case 'e':
                    m_parity = ENxrParity::Even;
                    break;
                case 'o':
                    m_parity = ENxrParity::Odd;
                    break;
                case 'm':
                    m_parity = ENxrParity::Mark;
                    break;
                case 's':
                    m_parity = ENxrParity::Space;
                    break;
                default:
                    return Fail("unknown parity in " + Quoted(parts[i]) +
                                " (expected N, E, O, M or S)");
            }
            const std::string stop = part.substr(2);
            if (stop == "1") {
                m_stopBits = ENxrStopBits::One;
            } else if (stop == "1.5") {
                m_stopBits = ENxrStopBits::OneAndHalf;
            } else if (stop == "2") {
                m_stopBits = ENxrStopBits::Two;
            } else {
                return Fail("unknown stop bits in " + Quoted(parts[i]) + " (expected 1, 1.5 or 2)");
            }
            haveFormat = true;
        } else {
            return Fail("cannot read " + Quoted(parts[i]) +
                        " (expected a baud rate, a format such as 8N1, flow=... or "
                        "reconnect=...)");
        }
    }
    return true;
}

bool CNxrComSpec::ParseReconnect(std::string_view part, bool& ok) {
    const std::string lower = Lower(part);
    if (lower.rfind("reconnect=", 0) != 0) {
        return false;
    }
    const std::string value = lower.substr(10);
    if (m_reconnect != -1) {
        ok = Fail("reconnect given twice");
    } else if (value == "on" || value == "off") {
        m_reconnect = value == "on" ? 1 : 0;
        ok = true;
    } else {
        ok = Fail("unknown reconnect " + Quoted(part.substr(10)) + " (expected on or off)");
    }
    return true;
}

bool CNxrComSpec::ParseNetwork(std::string_view rest, bool portOptional) {
    const auto parts = SplitCommas(rest);
    if (!ParseHostPort(parts[0], portOptional)) {
        return false;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) {
        bool ok = true;
        if (!ParseReconnect(parts[i], ok)) {
            return Fail(parts[i].empty() ? std::string("empty field after the port")
                                         : "cannot read " + Quoted(parts[i]) +
                                               " (expected reconnect=on or reconnect=off)");
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool CNxrComSpec::ParseHostPort(std::string_view rest, bool portOptional) {
    std::string_view host;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const auto close = rest.find(']');
        if (close == std::string_view::npos) {
            return Fail("unclosed \"[\" around the host");
        }
        host = rest.substr(1, close - 1);
        const std::string_view after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') {
                return Fail("unexpected " + Quoted(after) + " after the host");
            }
            port = after.substr(1);
            if (port.empty()) {
                return Fail("empty port");
            }
        }
    } else {
        const auto colon = rest.rfind(':');
        if (colon != std::string_view::npos && rest.find(':') != colon) {
            return Fail("an IPv6 host must be written in brackets, as [::1]:23");
        }
        host = rest.substr(0, colon);
        if (colon != std::string_view::npos) {
            port = rest.substr(colon + 1);
            if (port.empty()) {
                return Fail("empty port");
            }
        }
    }
    if (host.empty()) {
        return Fail("no host given");
    }
    // Control bytes too: inside brackets nothing trims them, and no resolver
    // knows a host that holds a line end.
    const bool controlByte = std::any_of(host.begin(), host.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
    if (controlByte || host.find_first_of(" \t,/") != std::string_view::npos) {
        return Fail("host " + Quoted(host) + " holds a character a host name cannot hold");
    }
    m_host = std::string(host);
    if (port.empty()) {
        if (!portOptional) {
            return Fail("no port given (expected host:port)");
        }
        m_port = 23;
        return true;
    }
    long long value = 0;
    if (!ReadNumber(port, 1, 65535, value)) {
        return Fail("port " + Quoted(port) + " is not a number from 1 to 65535");
    }
    m_port = static_cast<std::uint16_t>(value);
    return true;
}

bool CNxrComSpec::ParseSim(std::string_view rest) {
    if (rest.empty()) {
        return true;
    }
    for (const auto part : SplitCommas(rest)) {
        const auto equals = part.find('=');
        const std::string key = Lower(Trim(part.substr(0, equals)));
        const std::string_view value =
            equals == std::string_view::npos ? std::string_view() : Trim(part.substr(equals + 1));
        if (key == "name" && !value.empty()) {
            m_simName = std::string(value);
        } else if (key == "echo" && (Lower(value) == "on" || Lower(value) == "off")) {
            m_simEcho = Lower(value) == "on";
        } else {
            return Fail("unknown simulator option " + Quoted(part) +
                        " (expected name=<text> or echo=on|off)");
        }
    }
    return true;
}

std::string CNxrComSpec::Describe() const {
    switch (Kind()) {
        case ENxrConnectionKind::Serial:
            return m_device;
        case ENxrConnectionKind::Tcp:
        case ENxrConnectionKind::Telnet:
            return (m_host.find(':') != std::string::npos ? "[" + m_host + "]" : m_host) + ":" +
                   std::to_string(m_port);
        case ENxrConnectionKind::Simulated:
            return "the simulated controller";
        case ENxrConnectionKind::None:
            break;
    }
    return "no connection";
}

bool CNxrComSpec::Reconnects() const {
    if (m_reconnect != -1) {
        return m_reconnect == 1 && Kind() != ENxrConnectionKind::None;
    }
    return Kind() == ENxrConnectionKind::Serial;
}

std::string CNxrComSpec::TextWithDevice(std::string_view device) const {
    if (Kind() != ENxrConnectionKind::Serial || device.empty() || Trim(device) != device) {
        return {};
    }
    const bool unfit = std::any_of(device.begin(), device.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F || c == ',';
    });
    if (unfit) {
        return {};
    }
    const auto colon = m_spec.find(':');
    const auto comma = m_spec.find(',', colon);
    const std::string rest = comma == std::string::npos ? std::string() : m_spec.substr(comma);
    return m_spec.substr(0, colon + 1) + std::string(device) + rest;
}

bool CNxrComSpec::OffersBreak() const {
    return Kind() == ENxrConnectionKind::Serial || Kind() == ENxrConnectionKind::Simulated ||
           m_comPort;
}

}  // namespace quillpad
