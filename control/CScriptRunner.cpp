#include "control/CScriptRunner.h"

#include <lua.hpp>

#include <cstdlib>
#include <utility>

#include "control/ScriptCore.h"
#include "nxr/NxrCodes.h"
#include "pattern/BytePattern.h"

namespace quillpad {

namespace {

constexpr int kHookEvery = 1000;  // instructions between looks at the clock
// How long a runner going away waits for its thread before letting it go.
constexpr auto kJoinLimit = std::chrono::milliseconds(20);

constexpr const char* kStoppedByUser = "stopped by the user";

}  // namespace

const char* ScriptTransferName(EScriptTransfer kind) {
    switch (kind) {
        case EScriptTransfer::XModemSend:
            return "xmodem.send";
        case EScriptTransfer::XModemReceive:
            return "xmodem.receive";
        case EScriptTransfer::AsciiSend:
            return "ascii.send";
    }
    return "";
}

std::uint32_t ScriptTransferRequest(EScriptTransfer kind) {
    switch (kind) {
        case EScriptTransfer::XModemSend:
            return nxr_request::XModemSend;
        case EScriptTransfer::XModemReceive:
            return nxr_request::XModemReceive;
        case EScriptTransfer::AsciiSend:
            return nxr_request::AsciiSend;
    }
    return 0;
}

std::string ScriptTransferReason(EScriptTransfer kind, std::string_view sessionText) {
    const std::string named = NxrRequestName(ScriptTransferRequest(kind)) + ": ";
    if (sessionText.substr(0, named.size()) == named) {
        sessionText.remove_prefix(named.size());
    }
    return std::string(sessionText);
}

static_assert(LUA_EXTRASPACE >= sizeof(void*), "the core lives there");

SScriptCore::SScriptCore(std::size_t memoryMB) : memoryLimit(memoryMB << 20) {
    lua = lua_newstate(ScriptAlloc, this);
    if (lua != nullptr) {
        *static_cast<SScriptCore**>(lua_getextraspace(lua)) = this;
    }
}

SScriptCore::~SScriptCore() {
    if (lua != nullptr) {
        lua_close(lua);
    }
}

SScriptCore& SScriptCore::Of(lua_State* L) {
    return **static_cast<SScriptCore**>(lua_getextraspace(L));
}

void SScriptCore::TellOwner() {
    toOwner.notify_all();
    if (!ownerSettling && wake) {
        wake();
    }
}

bool SScriptCore::Ask(const std::function<void(IScriptHost&)>& call) {
    std::unique_lock<std::mutex> lock(mutex);
    if (stopped != EScriptStop::None) {
        return false;
    }
    request = &call;
    requestTaken = false;
    requestDone = false;
    TellOwner();
    toScript.wait(
        lock, [this] { return requestDone || (stopped != EScriptStop::None && !requestTaken); });
    request = nullptr;
    runSince = std::chrono::steady_clock::now();
    return requestDone;
}

void SScriptCore::BeginWait(EScriptWait kind, std::optional<std::uint64_t> until,
                            EScriptTransfer kindOfTransfer) {
    const std::lock_guard<std::mutex> lock(mutex);
    wait = kind;
    deadline = until;
    transfer = kindOfTransfer;
    transferEnded = false;
}

std::uint64_t SScriptCore::Now() {
    const std::lock_guard<std::mutex> lock(mutex);
    return now;
}

int SScriptCore::AwaitEnd(lua_State* L) {
    for (;;) {
        std::uint64_t nowMs = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex);
            if (stopped != EScriptStop::None) {
                return -1;
            }
            seen = given;
            nowMs = now;
            kept.append(inbox);
            inbox.clear();
        }
        if (kept.size() - taken > CScriptRunner::kKeptBytes) {
            kept.erase(0, kept.size() - CScriptRunner::kKeptBytes);
            taken = 0;
        }
        const int results = CheckWait(L, nowMs);
        if (results >= 0) {
            runSince = std::chrono::steady_clock::now();
            return results;
        }
        std::unique_lock<std::mutex> lock(mutex);
        if (seen == given && stopped == EScriptStop::None) {
            blocked = true;
            TellOwner();
            toScript.wait(lock, [this] { return seen != given || stopped != EScriptStop::None; });
            blocked = false;
        }
    }
}

// The wait's results when it has ended, else -1.
int SScriptCore::CheckWait(lua_State* L, std::uint64_t nowMs) {
    EScriptWait kind = EScriptWait::None;
    std::optional<std::uint64_t> until;
    bool ended = false;
    bool succeeded = false;
    EScriptTransfer kindOfTransfer = EScriptTransfer::XModemSend;
    {
        const std::lock_guard<std::mutex> lock(mutex);
        kind = wait;
        until = deadline;
        ended = transferEnded;
        succeeded = transferSucceeded;
        kindOfTransfer = transfer;
        scratch = transferWhy;
    }
    int results = -1;
    if (kind == EScriptWait::Transfer) {
        if (!ended) {
            return -1;
        }
        results = succeeded ? 1 : 2;
        if (succeeded) {
            lua_pushboolean(L, 1);
        } else {
            lua_pushnil(L);
            lua_pushfstring(L, "%s: %s", ScriptTransferName(kindOfTransfer),
                            scratch.empty() ? "the transfer failed" : scratch.c_str());
        }
    } else {
        if (kind == EScriptWait::Expect) {
            results = TryMatch(L);
        }
        if (results < 0 && until && nowMs >= *until) {
            if (kind == EScriptWait::Expect) {
                lua_pushnil(L);  // the time-out's answer
            }
            results = kind == EScriptWait::Expect ? 1 : 0;
        }
        if (results < 0) {
            return -1;
        }
    }
    BeginWait(EScriptWait::None, std::nullopt);
    return results;
}

int SScriptCore::TryMatch(lua_State* L) {
    matchGroups.clear();
    if (expectPattern) {
        const SPatternMatch m = expectPattern->Match(kept, taken, EFollow::Live, true);
        if (m.kind != SPatternMatch::EKind::Full) {
            return -1;
        }
        matchBegin = m.begin;
        matchEnd = m.end;
        matchGroups = expectPattern->Groups();
    } else {
        matchBegin = kept.find(expectBytes, taken);
        if (matchBegin == std::string::npos) {
            return -1;
        }
        matchEnd = matchBegin + expectBytes.size();
    }
    if (!lua_checkstack(L, static_cast<int>(matchGroups.size()) + 1)) {
        return -1;  // more groups than Lua can return: the time-out ends it
    }
    lua_pushlstring(L, kept.data() + matchBegin, matchEnd - matchBegin);
    for (const auto& [from, to] : matchGroups) {
        if (from == std::string::npos) {
            lua_pushnil(L);
        } else {
            lua_pushlstring(L, kept.data() + from, to - from);
        }
    }
    // A few bytes before the next search's start stay for ^, \b and lookbehind.
    const std::size_t drop =
        matchEnd > CScriptRunner::kContextBytes ? matchEnd - CScriptRunner::kContextBytes : 0;
    kept.erase(0, drop);
    taken = matchEnd - drop;
    return static_cast<int>(matchGroups.size()) + 1;
}

void SScriptCore::StopWith(EScriptStop why, std::string message) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (stopped == EScriptStop::None) {
        stopped = why;
        stopMessage = std::move(message);
    }
    toScript.notify_all();
}

void SScriptCore::RaiseStop(lua_State* L) {
    {
        const std::lock_guard<std::mutex> lock(mutex);
        scratch = stopMessage;  // pushed without the lock: pushing may raise
    }
    lua_pushstring(L, scratch.c_str());
    lua_error(L);
    std::abort();  // lua_error does not return
}

void SScriptCore::OverLimit() {
    if (!running || stopped != EScriptStop::None) {
        return;
    }
    // Where the script is: the innermost Lua function of the main thread
    // (a coroutine's allocation names the line that resumed it).
    lua_Debug ar{};
    std::string where;
    for (int level = 0; lua_getstack(lua, level, &ar) != 0; ++level) {
        if (lua_getinfo(lua, "Sl", &ar) != 0 && ar.currentline > 0) {
            where = std::string(ar.short_src) + ":" + std::to_string(ar.currentline) + ": ";
            break;
        }
    }
    StopWith(EScriptStop::Memory,
             where + "out of memory (limit " + std::to_string(memoryLimit >> 20) + " MB)");
}

void SScriptCore::Finish(int status, const char* message) {
    const std::lock_guard<std::mutex> lock(mutex);
    if (state == EScriptState::Waiting) {
        if (stopped == EScriptStop::Deadline || stopped == EScriptStop::Memory) {
            state = EScriptState::Failed;
            error = stopMessage;
        } else if (status == LUA_OK) {
            state = EScriptState::Finished;
        } else {
            state = EScriptState::Failed;
            error =
                message != nullptr ? message : "the script failed with an error that is no text";
        }
    }
    ended = true;
    TellOwner();
}

namespace {

// At every call and every kHookEvery instructions; once the script is
// stopped, at every instruction, so a pcall that catches the error only
// meets it again. A call is where a C function that held the thread (a
// pattern that backtracks) is left behind.
void WatchHook(lua_State* L, lua_Debug* ar) {
    SScriptCore& core = SScriptCore::Of(L);
    if (core.stopped == EScriptStop::None) {
        if (ar->event != LUA_HOOKCOUNT) {
            return;
        }
        if (std::chrono::steady_clock::now() - core.runSince <= core.runLimit) {
            return;
        }
        lua_getinfo(L, "Sl", ar);
        core.StopWith(EScriptStop::Deadline, std::string(ar->short_src) + ":" +
                                                 std::to_string(ar->currentline) +
                                                 ": stopped: ran past its deadline");
    }
    lua_sethook(L, WatchHook, LUA_MASKCALL | LUA_MASKCOUNT, 1);
    core.RaiseStop(L);
}

void RunScript(const std::shared_ptr<SScriptCore>& core) {
    lua_State* L = core->lua;
    core->runSince = std::chrono::steady_clock::now();
    core->running = true;
    lua_sethook(L, WatchHook, LUA_MASKCALL | LUA_MASKCOUNT, kHookEvery);
    const int status = lua_pcall(L, 0, 0, 0);
    core->running = false;
    const char* message = status == LUA_OK ? nullptr : lua_tostring(L, -1);
    core->scratch = message != nullptr ? message : "";
    // Closed here, not on the owner's thread: a big state takes a while.
    lua_close(L);
    core->lua = nullptr;
    core->Finish(status, message != nullptr ? core->scratch.c_str() : nullptr);
}

}  // namespace

CScriptRunner::CScriptRunner(IScriptHost& host, std::size_t memoryMB)
    : m_host(host), m_core(std::make_shared<SScriptCore>(memoryMB)) {
    if (m_core->lua == nullptr) {
        m_core->state = EScriptState::Failed;
        m_core->error = "out of memory";
    }
}

CScriptRunner::~CScriptRunner() {
    std::unique_lock<std::mutex> lock(m_core->mutex);
    m_core->wake = nullptr;
    if (m_core->state == EScriptState::Waiting) {
        m_core->state = EScriptState::Cancelled;
    }
    if (m_core->stopped == EScriptStop::None) {
        m_core->stopped = EScriptStop::User;
        m_core->stopMessage = kStoppedByUser;
    }
    m_core->toScript.notify_all();
    if (!m_thread.joinable()) {
        return;
    }
    if (m_core->toOwner.wait_for(lock, kJoinLimit, [this] { return m_core->ended; })) {
        lock.unlock();
        m_thread.join();
    } else {
        // Held in a C function: it ends on its own, with the core it shares.
        m_thread.detach();
    }
}

bool CScriptRunner::Load(std::string_view source, const std::string& name,
                         const std::vector<std::string>& args,
                         const std::vector<std::string>& folders) {
    SScriptCore& core = *m_core;
    if (core.state != EScriptState::Loaded || core.lua == nullptr) {
        return false;
    }
    lua_State* L = core.lua;
    core.name = name;
    OpenSandboxedLibraries(L, folders);
    OpenScriptLibrary(L);
    lua_createtable(L, static_cast<int>(args.size()), 0);
    for (std::size_t i = 0; i < args.size(); ++i) {
        lua_pushlstring(L, args[i].data(), args[i].size());
        lua_rawseti(L, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(L, "args");
    const std::string chunk = "@" + name;
    if (luaL_loadbufferx(L, source.data(), source.size(), chunk.c_str(), "t") != LUA_OK) {
        core.state = EScriptState::Failed;
        core.error = lua_tostring(L, -1);
        lua_settop(L, 0);
        return false;
    }
    return true;
}

void CScriptRunner::Start(std::uint64_t nowMs) {
    {
        const std::lock_guard<std::mutex> lock(m_core->mutex);
        if (m_core->state != EScriptState::Loaded || m_thread.joinable() ||
            lua_gettop(m_core->lua) != 1) {
            return;
        }
        m_core->start = m_core->now = nowMs;
        m_core->state = EScriptState::Waiting;
    }
    m_thread = std::thread(RunScript, m_core);
    Settle(m_stepLimit);
}

void CScriptRunner::SetRunLimit(std::chrono::milliseconds limit) {
    if (!m_thread.joinable()) {
        m_core->runLimit = limit;
    }
}

void CScriptRunner::SetWake(std::function<void()> wake) {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    m_core->wake = std::move(wake);
}

void CScriptRunner::Received(std::string_view bytes, std::uint64_t nowMs) {
    {
        const std::lock_guard<std::mutex> lock(m_core->mutex);
        SScriptCore& core = *m_core;
        core.now = nowMs;
        if (core.state != EScriptState::Waiting && core.state != EScriptState::Loaded) {
            return;
        }
        if (core.wait == EScriptWait::Transfer) {
            return;  // the transfer's (an echo of the file sent), not for an expect
        }
        core.inbox.append(bytes);
        if (core.inbox.size() > kKeptBytes) {
            core.inbox.erase(0, core.inbox.size() - kKeptBytes);
        }
        if (core.wait != EScriptWait::Expect) {
            return;  // looked at when the script expects
        }
        ++core.given;
        core.toScript.notify_all();
    }
    Settle(m_stepLimit);
}

void CScriptRunner::Tick(std::uint64_t nowMs) {
    {
        const std::lock_guard<std::mutex> lock(m_core->mutex);
        SScriptCore& core = *m_core;
        core.now = nowMs;
        if (core.state != EScriptState::Waiting || !core.deadline || nowMs < *core.deadline) {
            return;
        }
        ++core.given;
        core.toScript.notify_all();
    }
    Settle(m_stepLimit);
}

void CScriptRunner::TransferEnded(bool success, std::string_view why, std::uint64_t nowMs) {
    {
        const std::lock_guard<std::mutex> lock(m_core->mutex);
        SScriptCore& core = *m_core;
        if (core.state != EScriptState::Waiting || core.wait != EScriptWait::Transfer ||
            core.transferEnded) {
            return;
        }
        core.now = nowMs;
        core.transferEnded = true;
        core.transferSucceeded = success;
        core.transferWhy.assign(why);
        ++core.given;
        core.toScript.notify_all();
    }
    Settle(m_stepLimit);
}

void CScriptRunner::Cancel() {
    bool transfer = false;
    {
        const std::lock_guard<std::mutex> lock(m_core->mutex);
        SScriptCore& core = *m_core;
        if (core.state != EScriptState::Loaded && core.state != EScriptState::Waiting) {
            return;
        }
        core.state = EScriptState::Cancelled;
        core.error = kStoppedByUser;
        transfer = core.wait == EScriptWait::Transfer;
        if (core.stopped == EScriptStop::None) {
            core.stopped = EScriptStop::User;
            core.stopMessage = kStoppedByUser;
        }
        core.toScript.notify_all();
    }
    if (transfer) {
        m_host.CancelTransfer();
    }
}

bool CScriptRunner::Settle(std::chrono::milliseconds limit) {
    if (m_settling) {
        return false;  // a host call of the script's is being served
    }
    m_settling = true;
    const auto until = std::chrono::steady_clock::now() + limit;
    SScriptCore& core = *m_core;
    std::unique_lock<std::mutex> lock(core.mutex);
    core.ownerSettling = true;
    bool rest = false;
    for (;;) {
        const bool running = core.state == EScriptState::Waiting;
        if (running && core.request != nullptr && !core.requestTaken) {
            const auto* call = core.request;
            core.requestTaken = true;
            lock.unlock();
            (*call)(m_host);
            lock.lock();
            core.requestDone = true;
            core.toScript.notify_all();
            continue;
        }
        rest = !running || core.ended || (core.blocked && core.seen == core.given);
        if (rest || core.toOwner.wait_until(lock, until) == std::cv_status::timeout) {
            break;
        }
    }
    // What the script did while this waited went untold by its wake: a call
    // that came as the time ran out, a wait or its end.
    if (!rest && (core.request != nullptr || core.blocked || core.ended) && core.wake) {
        core.wake();
    }
    core.ownerSettling = false;
    m_settling = false;
    return rest;
}

EScriptState CScriptRunner::State() const {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->state;
}

std::string CScriptRunner::Error() const {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->error;
}

std::optional<std::uint64_t> CScriptRunner::NextDeadline() const {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    if (m_core->state != EScriptState::Waiting || m_core->wait == EScriptWait::None) {
        return std::nullopt;
    }
    return m_core->deadline;
}

bool CScriptRunner::Ended() const {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->ended;
}

bool CScriptRunner::WaitingForTransfer() const {
    const std::lock_guard<std::mutex> lock(m_core->mutex);
    return m_core->state == EScriptState::Waiting && m_core->wait == EScriptWait::Transfer;
}

}  // namespace quillpad
