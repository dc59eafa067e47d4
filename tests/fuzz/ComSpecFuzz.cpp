// Connection text, read as every kind of caller reads it (with and without
// the network and simulated kinds). It is either read, with fields in their
// ranges and no error, or refused with a reason and nothing of it kept. A
// caller that accepts more reads what a stricter one read, the same way; and
// the connection written back from what was read, in another case and with
// every default spelt out, reads back to the same fields. A serial one given
// another device reads back the same but for the device.

#include <cstdint>
#include <string>
#include <string_view>

#include "nxr/CNxrComSpec.h"
#include "tests/fuzz/FuzzCheck.h"

using quillpad::fuzz::Check;

namespace {

using quillpad::CNxrComSpec;
using quillpad::ENxrConnectionKind;

bool SameFields(const CNxrComSpec& a, const CNxrComSpec& b) {
    return a.m_nConnectionKind == b.m_nConnectionKind && a.m_device == b.m_device &&
           a.m_baud == b.m_baud && a.m_dataBits == b.m_dataBits && a.m_parity == b.m_parity &&
           a.m_stopBits == b.m_stopBits && a.m_flow == b.m_flow && a.m_host == b.m_host &&
           a.m_port == b.m_port && a.m_simName == b.m_simName && a.m_simEcho == b.m_simEcho &&
           a.Reconnects() == b.Reconnects();
}

std::string ReconnectField(const CNxrComSpec& s) {
    return s.m_reconnect == -1 ? std::string()
           : s.Reconnects()    ? ",RECONNECT=on"
                               : ",reconnect=Off";
}

// The line a serial port or an RFC 2217 port is set to, every field spelt out.
std::string LineOptions(const CNxrComSpec& s) {
    using namespace quillpad;
    std::string text = "," + std::to_string(s.m_baud) + "," + std::to_string(s.m_dataBits) +
                       static_cast<char>(s.m_parity);
    text += s.m_stopBits == ENxrStopBits::One          ? "1"
            : s.m_stopBits == ENxrStopBits::OneAndHalf ? "1.5"
                                                       : "2";
    text += s.m_flow == ENxrFlowControl::None     ? ",flow=none"
            : s.m_flow == ENxrFlowControl::RtsCts ? ",flow=rtscts"
                                                  : ",flow=xonxoff";
    return text;
}

// What a read spec says, written out in full.
std::string Written(const CNxrComSpec& s) {
    using namespace quillpad;
    switch (s.Kind()) {
        case ENxrConnectionKind::Serial:
            return "SERIAL:" + s.m_device + LineOptions(s) + ReconnectField(s);
        case ENxrConnectionKind::Tcp:
        case ENxrConnectionKind::Telnet: {
            // A host that starts with "[" is read from brackets only.
            const bool bracket = s.m_host.find(':') != std::string::npos || s.m_host[0] == '[';
            const std::string kind = s.m_comPort                           ? "Rfc2217:"
                                     : s.Kind() == ENxrConnectionKind::Tcp ? "Tcp:"
                                                                           : "TELNET:";
            return kind + (bracket ? "[" + s.m_host + "]" : s.m_host) + ":" +
                   std::to_string(s.m_port) + (s.m_comPort ? LineOptions(s) : std::string()) +
                   ReconnectField(s);
        }
        case ENxrConnectionKind::Simulated:
            return "Sim:name=" + s.m_simName + ",echo=" + (s.m_simEcho ? "on" : "OFF");
        case ENxrConnectionKind::None:
            break;
    }
    return std::string();
}

void CheckRead(const CNxrComSpec& s, bool network, bool simulated) {
    using namespace quillpad;
    Check(s.ErrorText().empty());
    Check(!s.Describe().empty());
    switch (s.Kind()) {
        case ENxrConnectionKind::Serial:
            Check(!s.m_device.empty());
            Check(s.m_baud >= 50 && s.m_baud <= 100000000);
            Check(s.m_dataBits >= 5 && s.m_dataBits <= 8);
            Check(s.OffersBreak());
            break;
        case ENxrConnectionKind::Tcp:
        case ENxrConnectionKind::Telnet:
            Check(network);
            Check(!s.m_host.empty() && s.m_port >= 1);
            // An RFC 2217 port sends a break as a serial one does; a plain link has none.
            Check(s.OffersBreak() == s.m_comPort);
            break;
        case ENxrConnectionKind::Simulated:
            Check(simulated);
            Check(!s.m_simName.empty());
            Check(s.OffersBreak());
            break;
        case ENxrConnectionKind::None:
            Check(false);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    CNxrComSpec all(true, true);
    const bool allRead = all.Parse(text);
    if (allRead) {
        CheckRead(all, true, true);
        CNxrComSpec again(true, true);
        Check(again.Parse(Written(all)));
        Check(SameFields(all, again));
        if (all.Kind() == quillpad::ENxrConnectionKind::Serial && !all.m_comPort) {
            CNxrComSpec moved(true, true);
            Check(moved.Parse(all.TextWithDevice("/dev/ttyQ9")));
            Check(moved.m_device == "/dev/ttyQ9");
            moved.m_device = all.m_device;
            Check(SameFields(all, moved));
        }
    } else {
        Check(all.Kind() == ENxrConnectionKind::None);
        Check(all.ErrorText().rfind("bad connection spec \"", 0) == 0);
        Check(SameFields(all, CNxrComSpec()));
    }

    for (int flags = 0; flags < 3; ++flags) {
        const bool network = (flags & 1) != 0;
        const bool simulated = (flags & 2) != 0;
        CNxrComSpec strict(network, simulated);
        // Reused after another spec was read: nothing of that one stays.
        strict.Parse("serial:/dev/ttyS9,9600,7E2,flow=xonxoff");
        if (strict.Parse(text)) {
            CheckRead(strict, network, simulated);
            Check(allRead && SameFields(strict, all));
        } else {
            Check(strict.Kind() == ENxrConnectionKind::None && !strict.ErrorText().empty());
            Check(strict.m_device.empty() && strict.m_baud == CNxrComSpec().m_baud);
        }
    }
    return 0;
}
