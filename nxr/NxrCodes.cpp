#include "nxr/NxrCodes.h"

#include <cstdio>

namespace quillpad {

std::string NxrStatusText(std::uint16_t status) {
    switch (static_cast<ENxrConnectionStatus>(status)) {
        case ENxrConnectionStatus::NotConnected:
            return "not connected";
        case ENxrConnectionStatus::Connecting:
            return "connecting";
        case ENxrConnectionStatus::Connected:
            return "connected";
        case ENxrConnectionStatus::LinkLost:
            return "link lost";
    }
    return "status " + std::to_string(status);
}

std::string NxrRequestName(std::uint32_t code) {
    switch (code) {
        case nxr_request::Connect:
            return "connect";
        case nxr_request::OpenConsole:
            return "open console";
        case nxr_request::CloseConsole:
            return "close console";
        case nxr_request::Reconnect:
            return "reconnect";
        case nxr_request::Disconnect:
            return "disconnect";
        case nxr_request::SendBreak:
            return "send break";
        case nxr_request::XModemSend:
            return "XModem send";
        case nxr_request::XModemReceive:
            return "XModem receive";
        case nxr_request::AsciiSend:
            return "ASCII send";
        case nxr_request::AsciiReceive:
            return "ASCII receive";
        case nxr_request::LineScript:
            return "line sequence";
        case nxr_request::StopWaiting:
            return "stop waiting";
        case nxr_request::ShareStart:
            return "share link";
        case nxr_request::ShareStop:
            return "stop sharing";
        default:
            break;
    }
    char text[32];
    std::snprintf(text, sizeof text, "request 0x%04X", static_cast<unsigned>(code));
    return text;
}

}  // namespace quillpad
