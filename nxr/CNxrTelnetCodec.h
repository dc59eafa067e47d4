#pragma once
// Telnet on a byte stream: option negotiation, IAC escapes and the CR rule of
// the network virtual terminal. Commands and negotiation never reach the data;
// a literal 0xFF byte is doubled on the way out and undoubled on the way in.
// Both ends use it: the session as client, the simulated controller as server.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/Bytes.h"

namespace quillpad {

namespace telnet {
inline constexpr unsigned char IAC = 255;
inline constexpr unsigned char DONT = 254;
inline constexpr unsigned char DO = 253;
inline constexpr unsigned char WONT = 252;
inline constexpr unsigned char WILL = 251;
inline constexpr unsigned char SB = 250;
inline constexpr unsigned char IP = 244;
inline constexpr unsigned char BRK = 243;
inline constexpr unsigned char SE = 240;
inline constexpr unsigned char OPT_BINARY = 0;
inline constexpr unsigned char OPT_ECHO = 1;
inline constexpr unsigned char OPT_SGA = 3;
inline constexpr unsigned char OPT_COM_PORT = 44;  // RFC 2217
}  // namespace telnet

enum class ENxrTelnetRole { Client, Server };

class CNxrTelnetCodec {
  public:
    explicit CNxrTelnetCodec(ENxrTelnetRole role);

    // A client that drives a serial port behind the server (RFC 2217)
    // offers the COM port option too; call before Start().
    void OfferComPort() { m_comPort = true; }
    bool ComPortAgreed() const { return m_us[telnet::OPT_COM_PORT]; }

    // What this end offers when the link comes up.
    ByteString Start();

    struct SReceived {
        ByteString data;   // plain data for the user
        ByteString reply;  // negotiation answers to send back at once
        // Each IAC BRK seen, as where it fell in `data`: the break comes
        // before data[pos], so that the line sees it between the right bytes.
        std::vector<std::size_t> breaks;
        // Subnegotiations of the COM port option, each without its framing
        // and with IAC undoubled; those of other options are skipped.
        std::vector<ByteString> comPort;
    };
    // Takes received bytes in any split; state carries over between calls.
    void Receive(std::string_view bytes, SReceived& out);

    // Data to send: IAC doubled; outside binary mode a lone CR becomes CR NUL.
    // Sends split anywhere give the same wire as one send: a CR that ends a
    // send goes out at once, and its NUL only with the next send, if that
    // does not start with LF.
    ByteString Encode(std::string_view data);
    static ByteString BreakCommand();

    // True once the peer has answered every offer of Start(); data sent
    // before that could be read under the wrong mode.
    bool Settled() const;

    // Whether each side has agreed to transmit in binary.
    bool WeSendBinary() const { return m_us[telnet::OPT_BINARY]; }
    bool PeerSendsBinary() const { return m_him[telnet::OPT_BINARY]; }

  private:
    enum class EState { Data, Iac, Will, Wont, Do, Dont, Sb, SbIac };
    // No notice of the option is longer; a longer one is a fault and is dropped.
    static constexpr std::size_t kMaxSubnegotiation = 64;

    bool AcceptHim(unsigned char option) const;
    bool AcceptUs(unsigned char option) const;
    void Negotiate(unsigned char verb, unsigned char option, ByteString& reply);
    void Emit(unsigned char byte, ByteString& data);
    void KeepSb(unsigned char byte);
    void EndSb(SReceived& out);

    ENxrTelnetRole m_role;
    EState m_state = EState::Data;
    bool m_afterCr = false;
    bool m_comPort = false;
    ByteString m_sb;  // the subnegotiation read so far, option byte first
    bool m_sbTooLong = false;
    bool m_sentCr = false;                 // the last byte sent was a CR whose NUL is still owed
    std::array<bool, 256> m_us{};          // option enabled on our side
    std::array<bool, 256> m_him{};         // option enabled on the peer's side
    std::array<bool, 256> m_usPending{};   // we sent WILL, awaiting DO/DONT
    std::array<bool, 256> m_himPending{};  // we sent DO, awaiting WILL/WONT
};

}  // namespace quillpad
