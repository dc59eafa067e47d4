#include "nxr/CNxrTelnetCodec.h"

namespace quillpad {

using namespace telnet;

namespace {

void Put(ByteString& out, unsigned char a, unsigned char b, unsigned char c) {
    out.push_back(static_cast<char>(a));
    out.push_back(static_cast<char>(b));
    out.push_back(static_cast<char>(c));
}

}  // namespace

CNxrTelnetCodec::CNxrTelnetCodec(ENxrTelnetRole role) : m_role(role) {}

bool CNxrTelnetCodec::AcceptHim(unsigned char option) const {
    if (option == OPT_BINARY || option == OPT_SGA) {
        return true;
    }
    // A client lets the server echo; a server never lets the client echo.
    return option == OPT_ECHO && m_role == ENxrTelnetRole::Client;
}

bool CNxrTelnetCodec::AcceptUs(unsigned char option) const {
    if (option == OPT_BINARY || option == OPT_SGA) {
        return true;
    }
    if (option == OPT_COM_PORT) {
        return m_comPort && m_role == ENxrTelnetRole::Client;
    }
    return option == OPT_ECHO && m_role == ENxrTelnetRole::Server;
}

ByteString CNxrTelnetCodec::Start() {
    ByteString out;
    const auto offer = [&](unsigned char verb, unsigned char option) {
        auto& pending = (verb == WILL) ? m_usPending : m_himPending;
        const auto& enabled = (verb == WILL) ? m_us : m_him;
        if (!pending[option] && !enabled[option]) {
            pending[option] = true;
            Put(out, IAC, verb, option);
        }
    };
    offer(WILL, OPT_BINARY);
    offer(DO, OPT_BINARY);
    offer(DO, OPT_SGA);
    offer(WILL, OPT_SGA);
    if (m_role == ENxrTelnetRole::Server) {
        offer(WILL, OPT_ECHO);
    }
    if (m_comPort && m_role == ENxrTelnetRole::Client) {
        offer(WILL, OPT_COM_PORT);
    }
    return out;
}

// Answers by the rules of RFC 1143 in their simple form: an answer goes out
// only when a state changes, so two ends can never loop.
void CNxrTelnetCodec::Negotiate(unsigned char verb, unsigned char option, ByteString& reply) {
    switch (verb) {
        case WILL:
            if (m_him[option]) {
                m_himPending[option] = false;
            } else if (AcceptHim(option)) {
                m_him[option] = true;
                if (!m_himPending[option]) {
                    Put(reply, IAC, DO, option);
                }
                m_himPending[option] = false;
            } else {
                Put(reply, IAC, DONT, option);
            }
            break;
        case WONT:
            if (m_him[option]) {
                m_him[option] = false;
                Put(reply, IAC, DONT, option);
            }
            m_himPending[option] = false;
            break;
        case DO:
            if (m_us[option]) {
                m_usPending[option] = false;
            } else if (AcceptUs(option)) {
                m_us[option] = true;
                if (!m_usPending[option]) {
                    Put(reply, IAC, WILL, option);
                }
                m_usPending[option] = false;
            } else {
                Put(reply, IAC, WONT, option);
            }
            break;
        case DONT:
            if (m_us[option]) {
                m_us[option] = false;
                Put(reply, IAC, WONT, option);
            }
            m_usPending[option] = false;
            break;
        default:
            break;
    }
}

void CNxrTelnetCodec::Emit(unsigned char byte, ByteString& data) {
    // Outside binary mode the peer sends a lone CR as CR NUL.
    if (m_afterCr && byte == 0 && !m_him[OPT_BINARY]) {
        m_afterCr = false;
        return;
    }
    m_afterCr = (byte == '\r');
    data.push_back(static_cast<char>(byte));
}

void CNxrTelnetCodec::Receive(std::string_view bytes, SReceived& out) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        switch (m_state) {
            case EState::Data:
                if (byte == IAC) {
                    m_state = EState::Iac;
                } else {
                    Emit(byte, out.data);
                }
                break;
            case EState::Iac:
                m_state = EState::Data;
                switch (byte) {
                    case IAC:
                        Emit(IAC, out.data);
                        break;
                    case WILL:
                        m_state = EState::Will;
                        break;
                    case WONT:
                        m_state = EState::Wont;
                        break;
                    case DO:
                        m_state = EState::Do;
                        break;
                    case DONT:
                        m_state = EState::Dont;
                        break;
                    case SB:
                        m_state = EState::Sb;
                        m_sb.clear();
                        m_sbTooLong = false;
                        break;
                    case BRK:
                        out.breaks.push_back(out.data.size());
                        break;
                    // IP is not a break: in the character mode agreed on,
                    // the peer's interrupt key comes as a data byte, and a
                    // break can throw a device into its boot monitor.
                    case IP:
                    default:
                        break;  // NOP, DM, GA, AYT and the like carry no data
                }
                break;
            case EState::Will:
                Negotiate(WILL, byte, out.reply);
                m_state = EState::Data;
                break;
            case EState::Wont:
                Negotiate(WONT, byte, out.reply);
                m_state = EState::Data;
                break;
            case EState::Do:
                Negotiate(DO, byte, out.reply);
                m_state = EState::Data;
                break;
            case EState::Dont:
                Negotiate(DONT, byte, out.reply);
                m_state = EState::Data;
                break;
            case EState::Sb:
                if (byte == IAC) {
                    m_state = EState::SbIac;
                } else {
                    KeepSb(byte);
                }
                break;
            case EState::SbIac:
                if (byte == SE) {
                    m_state = EState::Data;
                    EndSb(out);
                } else {
                    // IAC IAC is a data byte; anything else after IAC is
                    // a broken frame, read on as its payload.
                    m_state = EState::Sb;
                    KeepSb(byte);
                }
                break;
        }
    }
}

void CNxrTelnetCodec::KeepSb(unsigned char byte) {
    if (m_sb.size() < kMaxSubnegotiation) {
        m_sb.push_back(static_cast<char>(byte));
    } else {
        m_sbTooLong = true;
    }
}

void CNxrTelnetCodec::EndSb(SReceived& out) {
    // Only an option agreed on speaks in subnegotiation.
    if (!m_sbTooLong && !m_sb.empty() && static_cast<unsigned char>(m_sb[0]) == OPT_COM_PORT &&
        m_us[OPT_COM_PORT]) {
        out.comPort.push_back(m_sb.substr(1));
    }
    m_sb.clear();
}

ByteString CNxrTelnetCodec::Encode(std::string_view data) {
    ByteString out;
    out.reserve(data.size() + data.size() / 16 + 2);
    const bool binary = m_us[OPT_BINARY];
    for (const char c : data) {
        const auto byte = static_cast<unsigned char>(c);
        if (m_sentCr) {
            m_sentCr = false;
            if (byte != '\n' && !binary) {
                out.push_back('\0');
            }
        }
        out.push_back(c);
        if (byte == IAC) {
            out.push_back(static_cast<char>(IAC));
        } else if (byte == '\r' && !binary) {
            m_sentCr = true;
        }
    }
    return out;
}

bool CNxrTelnetCodec::Settled() const {
    for (int option = 0; option < 256; ++option) {
        if (m_usPending[option] || m_himPending[option]) {
            return false;
        }
    }
    return true;
}

ByteString CNxrTelnetCodec::BreakCommand() {
    ByteString out;
    out.push_back(static_cast<char>(IAC));
    out.push_back(static_cast<char>(BRK));
    return out;
}

}  // namespace quillpad
