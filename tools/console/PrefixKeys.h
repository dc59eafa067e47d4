#pragma once
// The keys of a terminal console as states: typing (keys go to the device),
// prefixed (after Ctrl-], the next key is a command), or one of the prompts a
// command asks on the terminal (a file name, whether to replace a file, ASCII
// Send's two pauses). What the keys ask for goes to IConsoleKeyActions, so the
// machine runs without a terminal or a session.

#include <cstdint>
#include <string>
#include <string_view>

#include "tools/console/ConsoleRequest.h"

namespace quillpad {

inline constexpr char kPrefixKey = 0x1D;  // Ctrl-]

class IConsoleKeyActions {
  public:
    virtual ~IConsoleKeyActions() = default;
    // A key for the device, as typed (Ctrl-] Ctrl-] gives Ctrl-] itself).
    virtual void Type(char key) = 0;
    virtual void Quit() = 0;
    // Starts a request the keys made (it says itself when one is running).
    virtual void Request(const SConsoleRequest& request) = 0;
    // Cancels the running transfer (it says itself when there is none).
    virtual void CancelRequest() = 0;
    // Gives up waiting for a lost link (it says itself when none is waited for).
    virtual void StopWaiting() = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // Prompts, the echo of a line being typed, and notes, for the terminal.
    virtual void Say(std::string_view text) = 0;
};

class CPrefixKeys {
  public:
    enum class EState { Typing, Prefixed, FileName, ReplaceQuestion, LinePause, CharPause };

    // `pacing`: the pauses ASCII Send offers first; what is typed at its
    // prompts is kept for the next one.
    CPrefixKeys(IConsoleKeyActions& actions, SAsciiPacing pacing)
        : m_actions(actions), m_pacing(pacing) {}

    void Feed(char key);
    EState State() const { return m_state; }
    const SAsciiPacing& Pacing() const { return m_pacing; }

  private:
    void Command(char key);
    void Ask(EState prompt, const std::string& text);
    // A prompt's line ended: by Enter (`given`) or given up (Ctrl-C, Ctrl-]).
    void Answer(bool given);
    void Cancelled();

    IConsoleKeyActions& m_actions;
    SAsciiPacing m_pacing;
    EState m_state = EState::Typing;
    std::string m_line;
    SConsoleRequest m_request;  // the one the prompts are filling in
};

}  // namespace quillpad
