#pragma once
// A Lua script that drives a console: it sends, waits for what the device
// says, sleeps and marks the history. It runs on a thread of its own, so no
// loop, C function or finalizer of the script's can hold its owner's loop:
// the owner hands it the bytes it receives (Received) and the time (Tick),
// and its calls to the host (IScriptHost: send, mark, print, logs,
// transfers) come back as requests the owner serves on its own thread
// (Settle). The script cannot reach the link or the program in any other way.
//
// A script that runs a second without waiting, or grows past its memory
// limit, is stopped: from then on every instruction raises, so no pcall can
// keep it going. The sandbox (control/ScriptSandbox.cpp) takes away what
// starts or ends programs, the debug library and compiled chunks; files are
// read and written with the user's own rights.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace quillpad {

enum class EScriptLine { Dtr, Rts };

// The file transfers a script starts, each as the console's menu starts it.
enum class EScriptTransfer { XModemSend, XModemReceive, AsciiSend };

// The function's name in the script: "xmodem.send", "xmodem.receive", "ascii.send".
const char* ScriptTransferName(EScriptTransfer kind);
// The session's request for it (nxr_request).
std::uint32_t ScriptTransferRequest(EScriptTransfer kind);
// A failed transfer's reason as the session words it, without the request's
// name in front ("XModem send: cancelled" gives "cancelled").
std::string ScriptTransferReason(EScriptTransfer kind, std::string_view sessionText);

// log.start{...}: which of the console's logs to write. Without kinds the
// console's own choice of kinds holds, as for a trigger's start.
struct SScriptLog {
    std::string name;         // the quick name the files are named after
    bool kindsGiven = false;  // plain, formatted or binary was given
    bool plain = false;
    bool formatted = false;
    bool binary = false;
    // Empty: named after `name` in the log folder; else this file.
    std::string plainPath;
    std::string formattedPath;
    std::string binaryPath;
    std::optional<bool> timestamps;  // none: the console's setting
};

class IScriptHost {
  public:
    virtual ~IScriptHost() = default;
    // The bytes to the device; false with `error` when they cannot go.
    virtual bool Send(std::string_view bytes, std::string& error) = 0;
    // A mark in the history (a record of another source).
    virtual void Mark(std::string_view text) = 0;
    // What the script prints, one call per print().
    virtual void Print(std::string_view text) = 0;
    // A break of `ms`; false with `error` where the link has none.
    virtual bool Break(int ms, std::string& error) {
        (void)ms;
        error = "this link cannot send a break";
        return false;
    }
    // DTR or RTS on or off; false with `error` where the link has no such line.
    virtual bool SetLine(EScriptLine line, bool on, std::string& error) {
        (void)on;
        error =
            line == EScriptLine::Dtr ? "this link has no DTR line" : "this link has no RTS line";
        return false;
    }
    // Starts the console's logs; false with `error` when they cannot start.
    virtual bool StartLog(const SScriptLog& log, std::string& error) {
        (void)log;
        error = "this console has no logs";
        return false;
    }
    // Stops them; false when none were being written.
    virtual bool StopLog() { return false; }
    // Starts a transfer of `path` (a full path) as the console's menu does,
    // with the console's options and without asking; false with `error` when
    // it cannot start. Its end comes back through CScriptRunner::TransferEnded.
    virtual bool StartTransfer(EScriptTransfer kind, const std::string& path, std::string& error) {
        (void)kind;
        (void)path;
        error = "this console has no file transfers";
        return false;
    }
    // Cancels the transfer started last: the script that waits for it was
    // cancelled, so its end need not come back.
    virtual void CancelTransfer() {}
};

enum class EScriptState { Loaded, Waiting, Finished, Failed, Cancelled };

struct SScriptCore;

class CScriptRunner {
  public:
    // What the script still holds of received bytes that no expect has taken:
    // the newest are kept, so a prompt that came just before expect() counts.
    static constexpr std::size_t kKeptBytes = 64 * 1024;
    // Taken bytes kept before the next search for ^, \b and lookbehind.
    static constexpr std::size_t kContextBytes = 16;
    // The memory a script's Lua state may hold unless the console says otherwise.
    static constexpr std::size_t kDefaultMemoryMB = 64;
    // How long Start, Received, Tick and TransferEnded wait for the script to
    // come back to a wait, serving its calls meanwhile: an answer to a prompt
    // goes out in the same turn, and the owner's turn stays short.
    static constexpr std::chrono::milliseconds kStepLimit{5};
    // A script that runs this long without waiting is stopped: a loop that
    // forgot its sleep() would otherwise run until the user finds Cancel.
    static constexpr std::chrono::milliseconds kRunLimit{1000};

    explicit CScriptRunner(IScriptHost& host, std::size_t memoryMB = kDefaultMemoryMB);
    // Stops a script still running; its thread is let go, not waited for,
    // when a C function holds it (it ends on its own, touching nothing here).
    ~CScriptRunner();
    CScriptRunner(const CScriptRunner&) = delete;
    CScriptRunner& operator=(const CScriptRunner&) = delete;

    // Compiles the script (text only); `name` is how errors name it (the
    // file's name). require() looks in `folders` only. False with Error() on
    // a syntax error.
    bool Load(std::string_view source, const std::string& name,
              const std::vector<std::string>& args, const std::vector<std::string>& folders = {});
    // Starts the script on its own thread.
    void Start(std::uint64_t nowMs);
    // Bytes from the device; an expect they complete ends its wait.
    void Received(std::string_view bytes, std::uint64_t nowMs);
    // Ends a sleep or an expect whose time has come.
    void Tick(std::uint64_t nowMs);
    // The end of the transfer the script waits for: the call returns true,
    // or nil and the call's name with `why` (the session's reason, see
    // ScriptTransferReason).
    void TransferEnded(bool success, std::string_view why, std::uint64_t nowMs);
    // Stops the script at once, cancelling a transfer it waits for; nothing
    // of it reaches the host again.
    void Cancel();

    // Serves the script's calls to the host, on this thread, until it waits
    // or has ended, for at most `limit`; true when it has come to rest.
    bool Settle(std::chrono::milliseconds limit);
    // How long the step calls settle (kStepLimit unless set).
    void SetStepLimit(std::chrono::milliseconds limit) { m_stepLimit = limit; }
    // How long the script may run without waiting before it is stopped
    // (kRunLimit unless set). Set before Start.
    void SetRunLimit(std::chrono::milliseconds limit);
    // Called on the script's thread when it has a call for the host, or has
    // come to a wait or an end, while the owner is not settling: the owner
    // then calls Settle on its own thread. Set before Start.
    void SetWake(std::function<void()> wake);

    EScriptState State() const;
    bool Running() const {
        const EScriptState state = State();
        return state == EScriptState::Loaded || state == EScriptState::Waiting;
    }
    // "name:line: message" of a failed script, or why the console stopped it.
    std::string Error() const;
    // The script's thread is done with it: after Cancel, once the script
    // has stopped running (a C function it is in returns first).
    bool Ended() const;
    // When Tick() has something to do.
    std::optional<std::uint64_t> NextDeadline() const;
    // Whether the script waits for a transfer's end.
    bool WaitingForTransfer() const;

  private:
    IScriptHost& m_host;
    std::shared_ptr<SScriptCore> m_core;  // shared with the script's thread
    std::thread m_thread;
    std::chrono::milliseconds m_stepLimit = kStepLimit;
    bool m_settling = false;
};

}  // namespace quillpad
