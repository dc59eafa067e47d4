#include "control/CScriptRunner.h"

#include <lua.hpp>

#include <chrono>
#include <utility>

#include "input/Escapes.h"
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

void CScriptRunner::WatchHook(lua_State* L, lua_Debug* /*ar*/) {
    if (std::chrono::steady_clock::now() - Self(L).m_runSince > kMaxRunWithoutWait) {
        luaL_error(L,
                   "the script ran for a second without waiting (a loop without sleep or "
                   "expect?)");
    }
}

struct CScriptRunner::SWait {
    enum class EKind { Sleep, Expect } kind = EKind::Sleep;
    std::string bytes;                      // what an expect waits for
    std::optional<std::uint64_t> deadline;  // none: an expect without a time-out
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
    m_runSince = std::chrono::steady_clock::now();
    lua_sethook(m_thread, WatchHook, LUA_MASKCOUNT, kHookEvery);
    int returned = 0;
    const int status = lua_resume(m_thread, m_lua, results, &returned);
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
    m_kept.append(bytes);
    if (m_kept.size() > kKeptBytes) {
        m_kept.erase(0, m_kept.size() - kKeptBytes);
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

void CScriptRunner::Cancel() {
    if (Running()) {
        m_wait.reset();
        m_state = EScriptState::Cancelled;
    }
}

std::optional<std::uint64_t> CScriptRunner::NextDeadline() const {
    if (!m_wait) {
        return std::nullopt;
    }
    return m_wait->deadline;
}

int CScriptRunner::TryMatch(lua_State* L) {
    const auto at = m_kept.find(m_wait->bytes);
    if (at == std::string::npos) {
        return 0;
    }
    lua_pushlstring(L, m_kept.data() + at, m_wait->bytes.size());
    m_kept.erase(0, at + m_wait->bytes.size());
    m_wait.reset();
    return 1;
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

// A pattern as expect() takes it: a string is text with the console's
// escapes, {hex="55 AA"} bytes written in hex. False with the reason pushed.
bool PatternBytes(lua_State* L, std::string& bytes) {
    if (lua_type(L, 1) == LUA_TSTRING) {
        std::size_t size = 0;
        const char* text = lua_tolstring(L, 1, &size);
        bytes = ExpandEscapes(std::string_view(text, size));
        return true;
    }
    if (lua_type(L, 1) != LUA_TTABLE) {
        lua_pushliteral(L, "expect: a pattern is a string, {hex=...} or {regex=...}");
        return false;
    }
    if (lua_getfield(L, 1, "hex") == LUA_TSTRING) {
        const std::string_view hex = lua_tostring(L, -1);
        std::string digits;
        for (const char c : hex) {
            if (c != ' ' && !IsHexDigit(c)) {
                lua_pushfstring(L, "expect: \"%s\" is not hex", lua_tostring(L, -1));
                return false;
            }
            if (c != ' ') {
                digits.push_back(c);
            }
        }
        if (digits.size() % 2 != 0) {
            lua_pushfstring(L, "expect: \"%s\" has an odd number of hex digits",
                            lua_tostring(L, -1));
            return false;
        }
        for (std::size_t i = 0; i < digits.size(); i += 2) {
            char byte = 0;
            ReadHexByte(digits, i, byte);
            bytes.push_back(byte);
        }
        lua_pop(L, 1);
        return true;
    }
    lua_pop(L, 1);
    if (lua_getfield(L, 1, "regex") != LUA_TNIL) {
        lua_pushliteral(L, "expect: regular expressions are not built into scripts yet");
        return false;
    }
    lua_pushliteral(L, "expect: a pattern is a string, {hex=...} or {regex=...}");
    return false;
}

}  // namespace

int CScriptRunner::LuaExpect(lua_State* L) {
    CScriptRunner& self = Self(L);
    const bool timed = !lua_isnoneornil(L, 2);
    const lua_Integer ms = timed ? luaL_checkinteger(L, 2) : 0;
    bool ok = false;
    {
        std::string bytes;
        ok = PatternBytes(L, bytes);
        if (ok && bytes.empty()) {
            lua_pushliteral(L, "expect: the pattern is empty");
            ok = false;
        }
        if (ok) {
            self.m_wait = std::make_unique<SWait>();
            self.m_wait->kind = SWait::EKind::Expect;
            self.m_wait->bytes = std::move(bytes);
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

}  // namespace quillpad
