#pragma once
// A Lua script that drives a console: it sends, waits for what the device
// says, sleeps and marks the history. It runs as a coroutine on its owner's
// loop and never blocks it: a wait yields, and the owner resumes the script
// with the bytes it receives (Received) and the time (Tick). The owner says
// what send, mark and print do (IScriptHost); the script cannot reach the
// link or the program in any other way.
//
// The Lua standard library is open but for what starts programs
// (os.execute, io.popen) or loads binary chunks; files are read and written
// with the user's own rights.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct lua_State;
struct lua_Debug;

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

class CScriptRunner {
  public:
    // What the script still holds of received bytes that no expect has taken:
    // the newest are kept, so a prompt that came just before expect() counts.
    static constexpr std::size_t kKeptBytes = 64 * 1024;
    // Taken bytes kept before the next search for ^, \b and lookbehind.
    static constexpr std::size_t kContextBytes = 16;

    explicit CScriptRunner(IScriptHost& host);
    ~CScriptRunner();
    CScriptRunner(const CScriptRunner&) = delete;
    CScriptRunner& operator=(const CScriptRunner&) = delete;

    // Compiles the script (text only); `name` is how errors name it (the
    // file's name). False with Error() on a syntax error.
    bool Load(std::string_view source, const std::string& name,
              const std::vector<std::string>& args);
    // Runs from the start until its first wait or its end.
    void Start(std::uint64_t nowMs);
    // Bytes from the device; an expect they complete resumes the script.
    void Received(std::string_view bytes, std::uint64_t nowMs);
    // Ends a sleep or an expect whose time has come.
    void Tick(std::uint64_t nowMs);
    // The end of the transfer the script waits for: the call returns true,
    // or nil and the call's name with `why` (the session's reason, see
    // ScriptTransferReason).
    void TransferEnded(bool success, std::string_view why, std::uint64_t nowMs);
    // Stops the script at its wait, cancelling a transfer it waits for;
    // nothing of it runs again.
    void Cancel();

    EScriptState State() const { return m_state; }
    bool Running() const {
        return m_state == EScriptState::Loaded || m_state == EScriptState::Waiting;
    }
    // "name:line: message" of a failed script.
    const std::string& Error() const { return m_error; }
    // When Tick() has something to do.
    std::optional<std::uint64_t> NextDeadline() const;
    // Whether the script waits for a transfer's end.
    bool WaitingForTransfer() const;

  private:
    struct SWait;
    static int LuaSend(lua_State* L);
    static int LuaExpect(lua_State* L);
    static int LuaSleep(lua_State* L);
    static int LuaMark(lua_State* L);
    static int LuaPrint(lua_State* L);
    static int LuaTime(lua_State* L);
    static int LuaBreak(lua_State* L);
    static int LuaDtr(lua_State* L);
    static int LuaRts(lua_State* L);
    static int LuaLogStart(lua_State* L);
    static int LuaLogStop(lua_State* L);
    static int LuaXModemSend(lua_State* L);
    static int LuaXModemReceive(lua_State* L);
    static int LuaAsciiSend(lua_State* L);
    static int LuaTransfer(lua_State* L, EScriptTransfer kind);
    // true, or nil and the reason: what a transfer's call returns.
    static int PushTransferResult(lua_State* L, EScriptTransfer kind, bool success,
                                  std::string_view why);
    static int LuaLine(lua_State* L, EScriptLine line, const char* name);
    static CScriptRunner& Self(lua_State* L);
    static void WatchHook(lua_State* L, lua_Debug* ar);

    void OpenLibraries();
    void Resume(int results);
    // Pushes the expect's results and clears the wait when the kept bytes
    // hold a match; the number of results, or 0.
    int TryMatch(lua_State* L);

    IScriptHost& m_host;
    lua_State* m_lua = nullptr;
    lua_State* m_thread = nullptr;  // the script's coroutine
    std::unique_ptr<SWait> m_wait;
    std::string m_kept;
    std::size_t m_taken = 0;  // m_kept's bytes before this are context only
    std::chrono::steady_clock::time_point m_runSince;  // of the current resume
    std::uint64_t m_now = 0;
    std::uint64_t m_start = 0;
    EScriptState m_state = EScriptState::Loaded;
    bool m_resuming = false;  // the script's code is running
    std::string m_error;
    std::string m_name;
};

}  // namespace quillpad
