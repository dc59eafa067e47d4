#pragma once
// The inside of control/CScriptRunner: what its owner and the script's
// thread share, under one mutex, and what only the script's thread touches.
// The Lua functions a script calls (ScriptLibrary.cpp) and the sandbox
// (ScriptSandbox.cpp) reach it through the state's extra space.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "control/CScriptRunner.h"

struct lua_State;

namespace quillpad {

class CBytePattern;

// Why the console stopped a script; once set, every instruction raises.
enum class EScriptStop { None, User, Deadline, Memory };

enum class EScriptWait { None, Sleep, Expect, Transfer };

struct SScriptCore {
    explicit SScriptCore(std::size_t memoryMB);
    ~SScriptCore();
    SScriptCore(const SScriptCore&) = delete;
    SScriptCore& operator=(const SScriptCore&) = delete;

    static SScriptCore& Of(lua_State* L);

    // --- the script's thread ---------------------------------------------
    // Runs `call` on the owner's thread and waits for it; false when the
    // script was stopped meanwhile (the call did not run).
    bool Ask(const std::function<void(IScriptHost&)>& call);
    // Enters a wait of `kind` ending at `deadline` (none: no time-out).
    void BeginWait(EScriptWait kind, std::optional<std::uint64_t> deadline,
                   EScriptTransfer transfer = EScriptTransfer::XModemSend);
    // Blocks until the wait ends and pushes its results: their number, or
    // -1 when the script was stopped.
    int AwaitEnd(lua_State* L);
    // Raises why the script was stopped.
    [[noreturn]] void RaiseStop(lua_State* L);
    // The last time the owner handed over, and the script's start.
    std::uint64_t Now();
    // The allocator's refusal: notes where, and stops the script.
    void OverLimit();
    // The script's end: its state and error, for the owner.
    void Finish(int status, const char* message);
    void StopWith(EScriptStop why, std::string message);

    lua_State* lua = nullptr;
    std::string name;
    std::size_t memoryLimit = 0;
    std::size_t memoryUsed = 0;
    bool running = false;  // the script's code has started
    std::chrono::steady_clock::time_point runSince;
    std::chrono::milliseconds runLimit = CScriptRunner::kRunLimit;
    std::atomic<EScriptStop> stopped{EScriptStop::None};
    // The expect being waited for, and what it looks at.
    std::string expectBytes;
    std::unique_ptr<CBytePattern> expectPattern;
    std::string kept;
    std::size_t taken = 0;  // kept's bytes before this are context only
    std::size_t matchBegin = 0;
    std::size_t matchEnd = 0;
    std::vector<std::pair<std::size_t, std::size_t>> matchGroups;
    std::string scratch;  // a copy made under the lock, pushed without it

    // --- shared, under `mutex` -------------------------------------------
    std::mutex mutex;
    std::condition_variable toScript;
    std::condition_variable toOwner;
    EScriptState state = EScriptState::Loaded;
    std::string error;
    std::string stopMessage;
    std::uint64_t now = 0;
    std::uint64_t start = 0;
    std::string inbox;  // received, not yet looked at by the script
    // Hand-overs that may end the wait, and how many the script has seen:
    // blocked with nothing unseen, the script is at rest.
    std::uint64_t given = 0;
    std::uint64_t seen = 0;
    bool blocked = false;
    bool ended = false;  // the thread is done with the script
    EScriptWait wait = EScriptWait::None;
    std::optional<std::uint64_t> deadline;
    EScriptTransfer transfer = EScriptTransfer::XModemSend;
    bool transferEnded = false;
    bool transferSucceeded = false;
    std::string transferWhy;
    const std::function<void(IScriptHost&)>* request = nullptr;
    bool requestTaken = false;
    bool requestDone = false;
    bool ownerSettling = false;
    std::function<void()> wake;

    // Tells the owner, with the lock held: through the condition when it
    // settles, else through its wake.
    void TellOwner();

  private:
    int CheckWait(lua_State* L, std::uint64_t nowMs);
    int TryMatch(lua_State* L);
};

// The standard libraries but what a script must not reach (ScriptSandbox.cpp).
void OpenSandboxedLibraries(lua_State* L, const std::vector<std::string>& folders);
// send, expect, sleep and the rest (ScriptLibrary.cpp).
void OpenScriptLibrary(lua_State* L);
// The allocator that keeps a state within its core's memory limit.
void* ScriptAlloc(void* core, void* block, std::size_t oldSize, std::size_t newSize);
// Raises the message on top of the stack, with the script's line in front.
int RaiseHere(lua_State* L);

}  // namespace quillpad
