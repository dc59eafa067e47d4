#include "control/CScriptRunner.h"

#include <lua.hpp>

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "nxr/NxrCodes.h"
#include "pattern/BytePattern.h"
#include "platform/Hex.h"

namespace quillpad {

namespace {

// A script that runs this long without waiting holds its owner's loop: it is
// stopped, as a loop that forgot its sleep() would otherwise freeze the console.
constexpr auto kMaxRunWithoutWait = std::chrono::milliseconds(1000);
constexpr int kHookEvery = 100000;  // instructions between looks at the clock

// What starts other programs or reads compiled chunks is taken away; text
// chunks still load, so a script can read a table from a file of its own.
constexpr const char* kSandbox = R"lua(
os.execute = nil
io.popen = nil
package.loadlib = nil
package.cpath = ""
package.searchers[4] = nil
package.searchers[3] = nil
local load_, loadfile_ = load, loadfile
load = function(chunk, name, mode, env) return load_(chunk, name, "t", env) end
loadfile = function(file, mode, env) return loadfile_(file, "t", env) end
dofile = function(file)
  local f = assert(loadfile_(file, "t"))
  return f()
end
)lua";

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

void CScriptRunner::WatchHook(lua_State* L, lua_Debug* /*ar*/) {
    if (std::chrono::steady_clock::now() - Self(L).m_runSince > kMaxRunWithoutWait) {
        luaL_error(L,
                   "the script ran for a second without waiting (a loop without sleep or "
                   "expect?)");
    }
}

struct CScriptRunner::SWait {
    enum class EKind { Sleep, Expect, Transfer } kind = EKind::Sleep;
    std::string bytes;                      // what an expect waits for
    std::unique_ptr<CBytePattern> pattern;  // or the expression (or caseless text)
    std::optional<std::uint64_t> deadline;  // none: an expect without a time-out
    EScriptTransfer transfer = EScriptTransfer::XModemSend;
    // A transfer that ended before its call could yield (the host told it
    // from inside StartTransfer): the call returns this at once.
    bool ended = false;
    bool succeeded = false;
    std::string why;
};

static_assert(LUA_EXTRASPACE >= sizeof(void*), "the runner lives there");

CScriptRunner::CScriptRunner(IScriptHost& host) : m_host(host) {
    m_lua = luaL_newstate();
    *static_cast<CScriptRunner**>(lua_getextraspace(m_lua)) = this;
    OpenLibraries();
}

CScriptRunner::~CScriptRunner() {
    lua_close(m_lua);
}

CScriptRunner& CScriptRunner::Self(lua_State* L) {
    return **static_cast<CScriptRunner**>(lua_getextraspace(L));
}

void CScriptRunner::OpenLibraries() {
    luaL_openlibs(m_lua);
    if (luaL_dostring(m_lua, kSandbox) != LUA_OK) {
        m_state = EScriptState::Failed;
        m_error = lua_tostring(m_lua, -1);
        lua_pop(m_lua, 1);
    }
    const luaL_Reg functions[] = {{"send", LuaSend},    {"expect", LuaExpect}, {"sleep", LuaSleep},
                                  {"mark", LuaMark},    {"print", LuaPrint},   {"time", LuaTime},
                                  {"break_", LuaBreak}, {nullptr, nullptr}};
    lua_pushglobaltable(m_lua);
    luaL_setfuncs(m_lua, functions, 0);
    lua_pop(m_lua, 1);
    lua_pushcfunction(m_lua, LuaDtr);
    lua_setglobal(m_lua, "dtr");
    lua_pushcfunction(m_lua, LuaRts);
    lua_setglobal(m_lua, "rts");
    const luaL_Reg log[] = {{"start", LuaLogStart}, {"stop", LuaLogStop}, {nullptr, nullptr}};
    luaL_newlib(m_lua, log);
    lua_setglobal(m_lua, "log");
    const luaL_Reg xmodem[] = {
        {"send", LuaXModemSend}, {"receive", LuaXModemReceive}, {nullptr, nullptr}};
    luaL_newlib(m_lua, xmodem);
    lua_setglobal(m_lua, "xmodem");
    const luaL_Reg ascii[] = {{"send", LuaAsciiSend}, {nullptr, nullptr}};
    luaL_newlib(m_lua, ascii);
    lua_setglobal(m_lua, "ascii");
}

bool CScriptRunner::Load(std::string_view source, const std::string& name,
                         const std::vector<std::string>& args) {
    if (m_state == EScriptState::Failed) {
        return false;
    }
    m_name = name;
    lua_createtable(m_lua, static_cast<int>(args.size()), 0);
    for (std::size_t i = 0; i < args.size(); ++i) {
        lua_pushlstring(m_lua, args[i].data(), args[i].size());
        lua_rawseti(m_lua, -2, static_cast<lua_Integer>(i + 1));
    }
    lua_setglobal(m_lua, "args");
    m_thread = lua_newthread(m_lua);
    lua_setfield(m_lua, LUA_REGISTRYINDEX, "quillpad.script");  // kept from the collector
    const std::string chunk = "@" + name;
    if (luaL_loadbufferx(m_thread, source.data(), source.size(), chunk.c_str(), "t") != LUA_OK) {
        m_state = EScriptState::Failed;
        m_error = lua_tostring(m_thread, -1);
        return false;
    }
    m_state = EScriptState::Loaded;
    return true;
}

void CScriptRunner::Start(std::uint64_t nowMs) {
    if (m_state != EScriptState::Loaded || m_thread == nullptr) {
        return;
    }
    m_start = m_now = nowMs;
    Resume(0);
}

void CScriptRunner::Resume(int results) {
    m_state = EScriptState::Waiting;
    m_resuming = true;
    m_runSince = std::chrono::steady_clock::now();
    lua_sethook(m_thread, WatchHook, LUA_MASKCOUNT, kHookEvery);
    int returned = 0;
    const int status = lua_resume(m_thread, m_lua, results, &returned);
    m_resuming = false;
    lua_sethook(m_thread, nullptr, 0, 0);
    if (status == LUA_YIELD) {
        lua_pop(m_thread, returned);
        return;
    }
    m_wait.reset();
    if (status == LUA_OK) {
        m_state = EScriptState::Finished;
        return;
    }
    m_state = EScriptState::Failed;
    const char* message = lua_tostring(m_thread, -1);
    m_error = message != nullptr ? message : "the script failed with an error that is no text";
}

void CScriptRunner::Received(std::string_view bytes, std::uint64_t nowMs) {
    m_now = nowMs;
    if (!Running()) {
        return;
    }
    if (m_wait && m_wait->kind == SWait::EKind::Transfer) {
        return;  // the transfer's (an echo of the file sent), not for an expect
    }
    m_kept.append(bytes);
    if (m_kept.size() - m_taken > kKeptBytes) {
        m_kept.erase(0, m_kept.size() - kKeptBytes);
        m_taken = 0;
    }
    if (m_wait && m_wait->kind == SWait::EKind::Expect) {
        if (const int results = TryMatch(m_thread)) {
            Resume(results);
        }
    }
}

void CScriptRunner::Tick(std::uint64_t nowMs) {
    m_now = nowMs;
    if (!m_wait || !m_wait->deadline || nowMs < *m_wait->deadline) {
        return;
    }
    const bool expect = m_wait->kind == SWait::EKind::Expect;
    m_wait.reset();
    if (expect) {
        lua_pushnil(m_thread);  // the time-out's answer
        Resume(1);
    } else {
        Resume(0);
    }
}

void CScriptRunner::TransferEnded(bool success, std::string_view why, std::uint64_t nowMs) {
    if (!Running() || !WaitingForTransfer()) {
        return;
    }
    if (m_resuming) {
        // Told from inside StartTransfer: the call has not yielded yet.
        m_wait->ended = true;
        m_wait->succeeded = success;
        m_wait->why.assign(why);
        return;
    }
    m_now = nowMs;
    const EScriptTransfer kind = m_wait->transfer;
    m_wait.reset();
    Resume(PushTransferResult(m_thread, kind, success, why));
}

int CScriptRunner::PushTransferResult(lua_State* L, EScriptTransfer kind, bool success,
                                      std::string_view why) {
    if (success) {
        lua_pushboolean(L, 1);
        return 1;
    }
    lua_pushnil(L);
    lua_pushfstring(L, "%s: ", ScriptTransferName(kind));
    if (why.empty()) {
        lua_pushliteral(L, "the transfer failed");
    } else {
        lua_pushlstring(L, why.data(), why.size());
    }
    lua_concat(L, 2);
    return 2;
}

bool CScriptRunner::WaitingForTransfer() const {
    return m_wait && m_wait->kind == SWait::EKind::Transfer;
}

void CScriptRunner::Cancel() {
    if (Running()) {
        const bool transfer = WaitingForTransfer();
        m_wait.reset();
        m_state = EScriptState::Cancelled;
        if (transfer) {
            m_host.CancelTransfer();
        }
    }
}

std::optional<std::uint64_t> CScriptRunner::NextDeadline() const {
    if (!m_wait) {
        return std::nullopt;
    }
    return m_wait->deadline;
}

int CScriptRunner::TryMatch(lua_State* L) {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::vector<std::pair<std::size_t, std::size_t>> groups;
    if (m_wait->pattern) {
        const SPatternMatch m = m_wait->pattern->Match(m_kept, m_taken, EFollow::Live, true);
        if (m.kind != SPatternMatch::EKind::Full) {
            return 0;
        }
        begin = m.begin;
        end = m.end;
        groups = m_wait->pattern->Groups();
    } else {
        begin = m_kept.find(m_wait->bytes, m_taken);
        if (begin == std::string::npos) {
            return 0;
        }
        end = begin + m_wait->bytes.size();
    }
    if (!lua_checkstack(L, static_cast<int>(groups.size()) + 1)) {
        return 0;  // more groups than Lua can return: the time-out ends it
    }
    lua_pushlstring(L, m_kept.data() + begin, end - begin);
    for (const auto& [from, to] : groups) {
        if (from == std::string::npos) {
            lua_pushnil(L);
        } else {
            lua_pushlstring(L, m_kept.data() + from, to - from);
        }
    }
    // A few bytes before the next search's start stay for ^, \b and lookbehind.
    const std::size_t drop = end > kContextBytes ? end - kContextBytes : 0;
    m_kept.erase(0, drop);
    m_taken = end - drop;
    m_wait.reset();
    return static_cast<int>(groups.size()) + 1;
}

// Lua raises its errors and yields with longjmp, past any C++ destructor:
// the functions below end the life of their C++ objects before either.

namespace {

// Raises the message on top of the stack, with the script's line in front.
int RaiseHere(lua_State* L) {
    luaL_where(L, 1);
    lua_insert(L, -2);
    lua_concat(L, 2);
    return lua_error(L);
}

}  // namespace

int CScriptRunner::LuaSend(lua_State* L) {
    std::size_t size = 0;
    const char* bytes = luaL_checklstring(L, 1, &size);
    bool sent = false;
    {
        std::string error;
        sent = Self(L).m_host.Send(std::string_view(bytes, size), error);
        if (!sent) {
            lua_pushfstring(L, "send: %s", error.c_str());
        }
    }
    return sent ? 0 : RaiseHere(L);
}

namespace {

constexpr const char* kPatternForms =
    "expect: a pattern is a string, {text=...}, {hex=...} or {regex=...}";

// Hex bytes as every hex box reads them. False with the reason pushed.
bool HexBytes(lua_State* L, std::string_view hex, std::string& bytes) {
    std::string error;
    if (!ParseHexBytes(hex, bytes, error)) {
        lua_pushfstring(L, "expect: %s", error.c_str());
        return false;
    }
    return true;
}

// A pattern as expect() takes it: a string is text with find's escapes
// (\n one LF, as in every pattern box), matched as written; a table names one of text, hex or
// regex, and nocase = true lets text and regex letters match either case. The bytes to find go to
// `bytes`; an expression, or text without case, to `pattern`. False with the reason pushed.
bool ReadPattern(lua_State* L, std::string& bytes, std::unique_ptr<CBytePattern>& pattern) {
    if (lua_type(L, 1) == LUA_TSTRING) {
        std::size_t size = 0;
        const char* text = lua_tolstring(L, 1, &size);
        bytes = ParseFindEscapes(std::string_view(text, size));
        return true;
    }
    if (lua_type(L, 1) != LUA_TTABLE) {
        lua_pushstring(L, kPatternForms);
        return false;
    }
    SFindQuery query;
    query.matchLimit = kLiveMatchLimit;
    int forms = 0;
    bool nocaseGiven = false;
    lua_pushnil(L);
    while (lua_next(L, 1) != 0) {
        if (lua_type(L, -2) != LUA_TSTRING) {
            lua_pushliteral(L, "expect: the pattern table's keys are names");
            return false;
        }
        const std::string_view key = lua_tostring(L, -2);
        if (key == "nocase") {
            if (lua_type(L, -1) != LUA_TBOOLEAN) {
                lua_pushliteral(L, "expect: nocase is true or false");
                return false;
            }
            query.matchCase = lua_toboolean(L, -1) == 0;
            nocaseGiven = true;
        } else if (key == "text" || key == "hex" || key == "regex") {
            if (lua_type(L, -1) != LUA_TSTRING) {
                lua_pushfstring(L, "expect: %s is a string", lua_tostring(L, -2));
                return false;
            }
            std::size_t size = 0;
            const char* value = lua_tolstring(L, -1, &size);
            query.text.assign(value, size);
            query.mode = key == "text"  ? EFindMode::Text
                         : key == "hex" ? EFindMode::Hex
                                        : EFindMode::Pattern;
            ++forms;
        } else {
            lua_pushfstring(L, "expect: \"%s\" is no key of a pattern (text, hex, regex, nocase)",
                            lua_tostring(L, -2));
            return false;
        }
        lua_pop(L, 1);
    }
    if (forms != 1) {
        lua_pushstring(L, forms == 0 ? kPatternForms
                                     : "expect: a pattern is one of text, hex or regex, not two");
        return false;
    }
    if (query.mode == EFindMode::Hex && nocaseGiven) {
        lua_pushliteral(L, "expect: hex names bytes, which have no case: leave out nocase");
        return false;
    }
    switch (query.mode) {
        case EFindMode::Hex:
            return HexBytes(L, query.text, bytes);
        case EFindMode::Text:
            if (query.matchCase) {
                bytes = ParseFindEscapes(query.text);
                return true;
            }
            if (ParseFindEscapes(query.text).empty()) {
                return true;  // empty: the caller says so
            }
            break;
        case EFindMode::Pattern:
            break;
    }
    pattern = std::make_unique<CBytePattern>(query);
    if (!pattern->IsValid()) {
        std::string why = pattern->Error();
        why[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(why[0])));
        lua_pushfstring(L, "expect: %s", why.c_str());
        pattern.reset();
        return false;
    }
    return true;
}

}  // namespace

int CScriptRunner::LuaExpect(lua_State* L) {
    CScriptRunner& self = Self(L);
    const bool timed = !lua_isnoneornil(L, 2);
    const lua_Integer ms = timed ? luaL_checkinteger(L, 2) : 0;
    bool ok = false;
    {
        std::string bytes;
        std::unique_ptr<CBytePattern> pattern;
        ok = ReadPattern(L, bytes, pattern);
        if (ok && !pattern && bytes.empty()) {
            lua_pushliteral(L, "expect: the pattern is empty");
            ok = false;
        }
        if (ok) {
            self.m_wait = std::make_unique<SWait>();
            self.m_wait->kind = SWait::EKind::Expect;
            self.m_wait->bytes = std::move(bytes);
            self.m_wait->pattern = std::move(pattern);
            if (timed) {
                self.m_wait->deadline = self.m_now + static_cast<std::uint64_t>(ms < 0 ? 0 : ms);
            }
        }
    }
    if (!ok) {
        return RaiseHere(L);
    }
    if (const int results = self.TryMatch(L)) {
        return results;  // it came before the script asked
    }
    return lua_yield(L, 0);
}

int CScriptRunner::LuaSleep(lua_State* L) {
    CScriptRunner& self = Self(L);
    const lua_Integer ms = luaL_checkinteger(L, 1);
    self.m_wait = std::make_unique<SWait>();
    self.m_wait->deadline = self.m_now + static_cast<std::uint64_t>(ms < 0 ? 0 : ms);
    return lua_yield(L, 0);
}

int CScriptRunner::LuaMark(lua_State* L) {
    std::size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    Self(L).m_host.Mark(std::string_view(text, size));
    return 0;
}

int CScriptRunner::LuaPrint(lua_State* L) {
    // The pieces are joined on Lua's stack: tostring() may raise.
    const int n = lua_gettop(L);
    luaL_Buffer line;
    luaL_buffinit(L, &line);
    for (int i = 1; i <= n; ++i) {
        if (i > 1) {
            luaL_addchar(&line, '\t');
        }
        luaL_tolstring(L, i, nullptr);
        luaL_addvalue(&line);
    }
    luaL_pushresult(&line);
    std::size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    Self(L).m_host.Print(std::string_view(text, size));
    return 0;
}

int CScriptRunner::LuaTime(lua_State* L) {
    const CScriptRunner& self = Self(L);
    lua_pushnumber(L, static_cast<lua_Number>(self.m_now - self.m_start) / 1000.0);
    return 1;
}

int CScriptRunner::LuaBreak(lua_State* L) {
    const lua_Integer ms = luaL_optinteger(L, 1, 500);
    bool done = false;
    {
        std::string error;
        done = Self(L).m_host.Break(static_cast<int>(ms), error);
        if (!done) {
            lua_pushfstring(L, "break_: %s", error.c_str());
        }
    }
    return done ? 0 : RaiseHere(L);
}

int CScriptRunner::LuaDtr(lua_State* L) {
    return LuaLine(L, EScriptLine::Dtr, "dtr");
}

int CScriptRunner::LuaRts(lua_State* L) {
    return LuaLine(L, EScriptLine::Rts, "rts");
}

int CScriptRunner::LuaLine(lua_State* L, EScriptLine line, const char* name) {
    luaL_checktype(L, 1, LUA_TBOOLEAN);
    const bool on = lua_toboolean(L, 1) != 0;
    bool done = false;
    {
        std::string error;
        done = Self(L).m_host.SetLine(line, on, error);
        if (!done) {
            lua_pushfstring(L, "%s: %s", name, error.c_str());
        }
    }
    return done ? 0 : RaiseHere(L);
}

namespace {

// A kind's key: true (named after the quick name), false, or a file.
bool ReadLogKind(lua_State* L, const char* key, bool& enabled, std::string& path) {
    if (lua_type(L, -1) == LUA_TBOOLEAN) {
        enabled = lua_toboolean(L, -1) != 0;
        return true;
    }
    if (lua_type(L, -1) == LUA_TSTRING) {
        std::size_t size = 0;
        const char* text = lua_tolstring(L, -1, &size);
        if (size == 0 || std::string_view(text, size).find('\0') != std::string_view::npos) {
            lua_pushfstring(L, "log.start: %s names no file", key);
            return false;
        }
        enabled = true;
        path.assign(text, size);
        return true;
    }
    lua_pushfstring(L, "log.start: %s is true, false or a file's name", key);
    return false;
}

// The table's keys into `log`; false with the reason pushed.
bool ReadLogTable(lua_State* L, SScriptLog& log) {
    if (lua_isnoneornil(L, 1)) {
        return true;
    }
    if (!lua_istable(L, 1)) {
        lua_pushliteral(L, "log.start: give a table, log.start{plain = true}");
        return false;
    }
    lua_pushnil(L);
    while (lua_next(L, 1) != 0) {
        if (lua_type(L, -2) != LUA_TSTRING) {
            lua_pop(L, 2);
            lua_pushliteral(L, "log.start: the table's keys are names");
            return false;
        }
        const std::string_view key = lua_tostring(L, -2);
        bool ok = true;
        if (key == "name") {
            if (lua_type(L, -1) == LUA_TSTRING) {
                log.name = lua_tostring(L, -1);
            } else {
                lua_pushliteral(L, "log.start: name is a string");
                ok = false;
            }
        } else if (key == "plain") {
            ok = ReadLogKind(L, "plain", log.plain, log.plainPath);
            log.kindsGiven = true;
        } else if (key == "formatted") {
            ok = ReadLogKind(L, "formatted", log.formatted, log.formattedPath);
            log.kindsGiven = true;
        } else if (key == "binary") {
            ok = ReadLogKind(L, "binary", log.binary, log.binaryPath);
            log.kindsGiven = true;
        } else if (key == "timestamps") {
            if (lua_type(L, -1) == LUA_TBOOLEAN) {
                log.timestamps = lua_toboolean(L, -1) != 0;
            } else {
                lua_pushliteral(L, "log.start: timestamps is true or false");
                ok = false;
            }
        } else {
            lua_pushfstring(L,
                            "log.start: \"%s\" is no key of a log (name, plain, formatted, "
                            "binary, timestamps)",
                            lua_tostring(L, -2));
            ok = false;
        }
        if (!ok) {
            lua_replace(L, -3);  // the reason where the key was
            lua_pop(L, 1);
            return false;
        }
        lua_pop(L, 1);
    }
    if (log.kindsGiven && !log.plain && !log.formatted && !log.binary) {
        lua_pushliteral(L, "log.start: every kind of log is off");
        return false;
    }
    return true;
}

}  // namespace

int CScriptRunner::LuaLogStart(lua_State* L) {
    CScriptRunner& self = Self(L);
    bool valid = false;
    bool started = false;
    {
        SScriptLog log;
        // Files are named after the script unless it names them.
        log.name = std::filesystem::path(self.m_name).stem().string();
        valid = ReadLogTable(L, log);
        if (valid) {
            std::string error;
            started = self.m_host.StartLog(log, error);
            if (!started) {
                lua_pushnil(L);
                lua_pushlstring(L, error.data(), error.size());
            }
        }
    }
    if (!valid) {
        return RaiseHere(L);
    }
    if (started) {
        lua_pushboolean(L, 1);
        return 1;
    }
    return 2;
}

int CScriptRunner::LuaLogStop(lua_State* L) {
    lua_pushboolean(L, Self(L).m_host.StopLog() ? 1 : 0);
    return 1;
}

namespace {

// The file a transfer names, made full from the current folder (the one
// io.open reads from), and whether it can be read (a send) or written (a
// receive, whose folder must take the file). False with the reason.
bool TransferPath(EScriptTransfer kind, const std::string& given, std::string& path,
                  std::string& error) {
    if (given.empty() || given.find('\0') != std::string::npos) {
        error = "give the file's name";
        return false;
    }
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(given, ec);
    if (ec) {
        error = "cannot find \"" + given + "\": " + ec.message();
        return false;
    }
    path = full.string();
    const bool receiving = kind == EScriptTransfer::XModemReceive;
    const char* verb = receiving ? "cannot write \"" : "cannot open \"";
    if (std::filesystem::is_directory(full, ec)) {
        error = verb + given + "\": " + std::strerror(EISDIR);
        return false;
    }
    if (!receiving) {
        errno = 0;
        const std::ifstream file(path, std::ios::binary);
        if (!file) {
            error = verb + given + "\": " + std::strerror(errno != 0 ? errno : EACCES);
            return false;
        }
        return true;
    }
    // The receive writes NAME.partial beside the file and renames it.
    const std::string folder = full.parent_path().string();
    if (::access(folder.c_str(), W_OK | X_OK) != 0) {
        error = verb + given + "\": " + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

int CScriptRunner::LuaXModemSend(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::XModemSend);
}

int CScriptRunner::LuaXModemReceive(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::XModemReceive);
}

int CScriptRunner::LuaAsciiSend(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::AsciiSend);
}

int CScriptRunner::LuaTransfer(lua_State* L, EScriptTransfer kind) {
    CScriptRunner& self = Self(L);
    std::size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    bool started = false;
    int results = 0;
    {
        std::string error;
        std::string path;
        if (TransferPath(kind, std::string(text, size), path, error)) {
            // The wait is there before the host starts: it may tell the end at once.
            self.m_wait = std::make_unique<SWait>();
            self.m_wait->kind = SWait::EKind::Transfer;
            self.m_wait->transfer = kind;
            started = self.m_host.StartTransfer(kind, path, error);
            if (!started) {
                self.m_wait.reset();
            } else if (self.m_wait->ended) {
                const std::unique_ptr<SWait> wait = std::move(self.m_wait);
                results = PushTransferResult(L, kind, wait->succeeded, wait->why);
            }
        }
        if (!started) {
            lua_pushfstring(L, "%s: %s", ScriptTransferName(kind), error.c_str());
        }
    }
    if (!started) {
        return RaiseHere(L);
    }
    return results != 0 ? results : lua_yield(L, 0);
}

}  // namespace quillpad
