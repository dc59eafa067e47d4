#include "nxr/NxrComPortOption.h"

namespace quillpad {

using namespace rfc2217;

ByteString ComPortCommand(unsigned char command, std::string_view value) {
    ByteString out;
    out.push_back(static_cast<char>(telnet::IAC));
    out.push_back(static_cast<char>(telnet::SB));
    out.push_back(static_cast<char>(telnet::OPT_COM_PORT));
    out.push_back(static_cast<char>(command));
    for (const char c : value) {
        out.push_back(c);
        if (static_cast<unsigned char>(c) == telnet::IAC) {
            out.push_back(c);
        }
    }
    out.push_back(static_cast<char>(telnet::IAC));
    out.push_back(static_cast<char>(telnet::SE));
    return out;
}

ByteString ComPortControl(unsigned char value) {
    const char byte = static_cast<char>(value);
    return ComPortCommand(SET_CONTROL, std::string_view(&byte, 1));
}

namespace {

ByteString OneByte(unsigned char command, unsigned char value) {
    const char byte = static_cast<char>(value);
    return ComPortCommand(command, std::string_view(&byte, 1));
}

unsigned char ParityValue(ENxrParity parity) {
    switch (parity) {
        case ENxrParity::None:
            return 1;
        case ENxrParity::Odd:
            return 2;
        case ENxrParity::Even:
            return 3;
        case ENxrParity::Mark:
            return 4;
        case ENxrParity::Space:
            return 5;
    }
    return 1;
}

unsigned char StopValue(ENxrStopBits stop) {
    switch (stop) {
        case ENxrStopBits::One:
            return 1;
        case ENxrStopBits::Two:
            return 2;
        case ENxrStopBits::OneAndHalf:
            return 3;
    }
    return 1;
}

unsigned char FlowValue(ENxrFlowControl flow) {
    switch (flow) {
        case ENxrFlowControl::None:
            return CONTROL_FLOW_NONE;
        case ENxrFlowControl::XonXoff:
            return CONTROL_FLOW_XONXOFF;
        case ENxrFlowControl::RtsCts:
            return CONTROL_FLOW_HARDWARE;
    }
    return CONTROL_FLOW_NONE;
}

}  // namespace

ByteString ComPortSetup(const CNxrComSpec& spec) {
    const auto baud = static_cast<std::uint32_t>(spec.m_baud);
    const char rate[] = {static_cast<char>(baud >> 24), static_cast<char>(baud >> 16),
                         static_cast<char>(baud >> 8), static_cast<char>(baud)};
    ByteString out = ComPortCommand(SET_BAUDRATE, std::string_view(rate, 4));
    out += OneByte(SET_DATASIZE, static_cast<unsigned char>(spec.m_dataBits));
    out += OneByte(SET_PARITY, ParityValue(spec.m_parity));
    out += OneByte(SET_STOPSIZE, StopValue(spec.m_stopBits));
    out += ComPortControl(FlowValue(spec.m_flow));
    out += OneByte(SET_MODEMSTATE_MASK, MODEM_DCD | MODEM_RI | MODEM_DSR | MODEM_CTS);
    return out;
}

std::optional<SComPortNotice> ReadComPortNotice(std::string_view payload) {
    if (payload.empty()) {
        return std::nullopt;
    }
    const auto command = static_cast<unsigned char>(payload[0]);
    if (command <= kServerOffset || command > kServerOffset + 12 || payload.size() > 5) {
        return std::nullopt;
    }
    SComPortNotice notice;
    notice.command = static_cast<unsigned char>(command - kServerOffset);
    for (const char c : payload.substr(1)) {
        notice.value = (notice.value << 8) | static_cast<unsigned char>(c);
    }
    return notice;
}

}  // namespace quillpad
