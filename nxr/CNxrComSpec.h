#pragma once
// A connection spec: one line of text naming the link to a device.
//
//   serial:<device>[,<baud>][,<format>][,flow=none|rtscts|xonxoff][,reconnect=on|off]
//   tcp:<host>:<port>[,reconnect=on|off]
//   telnet:<host>[:<port>][,reconnect=on|off]
//   rfc2217:<host>:<port>[,<baud>][,<format>][,flow=...][,reconnect=on|off]
//   sim:[<option>[,<option>...]]
//
// The grammar and its defaults are described in docs/CONNECTIONS.md.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillpad {

enum class ENxrConnectionKind : std::uint32_t {
    None = 0,
    Serial = 1,
    Tcp = 2,
    Telnet = 3,
    Simulated = 4,
};

enum class ENxrParity : char { None = 'N', Even = 'E', Odd = 'O', Mark = 'M', Space = 'S' };
enum class ENxrStopBits { One, OneAndHalf, Two };
enum class ENxrFlowControl { None, RtsCts, XonXoff };

class CNxrComSpec {
  public:
    // The two flags say which kinds this spec accepts besides serial: the
    // network kinds (tcp, telnet) and the built-in simulated controller.
    explicit CNxrComSpec(bool acceptNetwork = true, bool acceptSimulated = true);

    void Clear();
    // Reads 8-bit spec text. On failure the kind is None and ErrorText() says why.
    bool Parse(std::string_view spec);

    // Public as the console reads it directly after Parse.
    std::uint32_t m_nConnectionKind = 0;

    ENxrConnectionKind Kind() const { return static_cast<ENxrConnectionKind>(m_nConnectionKind); }
    const std::string& ErrorText() const { return m_error; }
    // The link in the words of error texts: "/dev/ttyUSB0", "127.0.0.1:2323", "sim".
    std::string Describe() const;
    // Send Break is offered for serial and simulated links only.
    bool OffersBreak() const;
    // Whether a link that was lost is waited for and made again: a serial
    // device that went away, a network link that dropped. "reconnect=" says
    // so; without it serial links do and network links do not.
    bool Reconnects() const;
    // The text that was parsed, blanks around it taken off.
    const std::string& Text() const { return m_spec; }
    // That text with another serial device in place of this one's, every
    // other field as written; "" when this is no serial spec or the name
    // cannot stand in one (a comma, a blank at its end, a control byte).
    std::string TextWithDevice(std::string_view device) const;

    // Serial
    std::string m_device;
    std::int32_t m_baud = 115200;
    int m_dataBits = 8;
    ENxrParity m_parity = ENxrParity::None;
    ENxrStopBits m_stopBits = ENxrStopBits::One;
    ENxrFlowControl m_flow = ENxrFlowControl::None;

    // TCP and telnet
    std::string m_host;
    std::uint16_t m_port = 0;
    // A telnet link to a serial port server (RFC 2217): the serial fields
    // above set the remote port.
    bool m_comPort = false;

    // "reconnect=on|off" as given; -1 when not given.
    int m_reconnect = -1;

    // Simulated controller
    std::string m_simName = "QX-200";
    bool m_simEcho = true;

  private:
    bool Fail(std::string text);
    bool ParseSerial(std::string_view rest);
    bool ParseComPort(std::string_view rest);
    bool ParseLineOptions(const std::vector<std::string_view>& parts, std::size_t from,
                          std::string_view after);
    bool ParseHostPort(std::string_view rest, bool portOptional);
    bool ParseNetwork(std::string_view rest, bool portOptional);
    // Reads "reconnect=on|off"; false when `part` is no such field.
    bool ParseReconnect(std::string_view part, bool& ok);
    bool ParseSim(std::string_view rest);

    bool m_acceptNetwork;
    bool m_acceptSimulated;
    std::string m_spec;
    std::string m_error;
};

}  // namespace quillpad
