#include "tools/console/PrefixKeys.h"

#include <optional>

#include "nxr/CNxrTransferJob.h"
#include "nxr/NxrCodes.h"
#include "tools/console/ConsoleOptions.h"

namespace quillpad {
namespace {

constexpr char kCtrlC = 0x03;

// A pause typed at a prompt: "" keeps `current`.
std::optional<std::uint32_t> ReadPause(const std::string& typed, std::uint32_t current) {
    return typed.empty() ? std::optional<std::uint32_t>(current)
                         : ParseMilliseconds(typed, kNxrMaxPacingMs);
}

}  // namespace

void CPrefixKeys::Feed(char key) {
    switch (m_state) {
        case EState::Typing:
            if (key == kPrefixKey) {
                m_state = EState::Prefixed;
            } else {
                m_actions.Type(key);
            }
            return;
        case EState::Prefixed:
            m_state = EState::Typing;
            Command(key);
            return;
        default:
            break;
    }
    // A prompt: Enter ends the line, Backspace takes a byte back, Ctrl-C or
    // Ctrl-] gives up.
    if (key == '\r' || key == '\n') {
        m_actions.Say("\r\n");
        Answer(true);
    } else if (key == kCtrlC || key == kPrefixKey) {
        m_actions.Say("\r\n");
        Answer(false);
    } else if (key == 0x7F || key == 0x08) {
        if (!m_line.empty()) {
            m_line.pop_back();
            m_actions.Say("\b \b");
        }
    } else if (static_cast<unsigned char>(key) >= 0x20) {
        m_line.push_back(key);
        m_actions.Say(std::string_view(&key, 1));
    }
}

void CPrefixKeys::Command(char key) {
    m_request = SConsoleRequest{};
    // The transfers, which first ask for their file.
    struct SFileCommand {
        char key;
        std::uint32_t code;
        const char* prompt;
    };
    static constexpr SFileCommand kFileCommands[] = {
        {'x', nxr_request::XModemSend, "XModem send file: "},
        {'r', nxr_request::XModemReceive, "XModem receive file: "},
        {'a', nxr_request::AsciiSend, "ASCII send file: "},
    };
    const char lower = key >= 'A' && key <= 'Z' ? static_cast<char>(key - 'A' + 'a') : key;
    for (const SFileCommand& command : kFileCommands) {
        if (command.key == lower) {
            m_request.code = command.code;
            Ask(EState::FileName, command.prompt);
            return;
        }
    }
    switch (lower) {
        case 'q':
            m_actions.Quit();
            return;
        case 'b':
            m_request.code = nxr_request::SendBreak;
            m_actions.Request(m_request);
            return;
        case 'c':
            m_actions.CancelRequest();
            return;
        case 'w':
            m_actions.StopWaiting();
            return;
        case kPrefixKey:
            m_actions.Type(kPrefixKey);
            return;
        default:
            m_actions.Say(std::string("\r\n[") + kPrefixHelp + "]\r\n");
            return;
    }
}

void CPrefixKeys::Ask(EState prompt, const std::string& text) {
    m_state = prompt;
    m_line.clear();
    m_actions.Say("\r\n" + text);
}

void CPrefixKeys::Cancelled() {
    m_actions.Say("[cancelled]\r\n");
}

void CPrefixKeys::Answer(bool given) {
    const EState prompt = m_state;
    const std::string line = std::move(m_line);
    m_line.clear();
    m_state = EState::Typing;
    // The file name and the question take an empty line for giving up; the
    // pauses for keeping what is offered.
    const bool pause = prompt == EState::LinePause || prompt == EState::CharPause;
    if (!given || (line.empty() && !pause)) {
        Cancelled();
        return;
    }
    switch (prompt) {
        case EState::FileName:
            m_request.path = line;
            if (m_request.code == nxr_request::XModemReceive && m_actions.FileExists(line)) {
                // A good file is not replaced unasked.
                Ask(EState::ReplaceQuestion, line + " exists. Replace it? (y/n) ");
            } else if (m_request.code == nxr_request::AsciiSend) {
                Ask(EState::LinePause,
                    "Pause after each line, ms [" + std::to_string(m_pacing.lineDelayMs) + "]: ");
            } else {
                m_actions.Request(m_request);
            }
            return;
        case EState::ReplaceQuestion:
            // One letter compared as a byte: GCC 12 at -O3 warns wrongly on the string compare.
            if (line.size() == 1 && (line[0] == 'y' || line[0] == 'Y')) {
                m_actions.Request(m_request);
            } else {
                Cancelled();
            }
            return;
        case EState::LinePause:
        case EState::CharPause: {
            std::uint32_t& pause = prompt == EState::LinePause ? m_request.pacing.lineDelayMs
                                                               : m_request.pacing.charDelayMs;
            const auto ms = ReadPause(
                line, prompt == EState::LinePause ? m_pacing.lineDelayMs : m_pacing.charDelayMs);
            if (!ms) {
                m_actions.Say("[not a pause from 0 to 10000 ms]\r\n");
                return;
            }
            pause = *ms;
            if (prompt == EState::LinePause) {
                Ask(EState::CharPause, "Pause after each character, ms [" +
                                           std::to_string(m_pacing.charDelayMs) + "]: ");
                return;
            }
            m_pacing = m_request.pacing;
            m_actions.Request(m_request);
            return;
        }
        default:
            return;
    }
}

}  // namespace quillpad
