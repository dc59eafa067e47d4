#include <lua.hpp>

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "control/ScriptCore.h"
#include "pattern/BytePattern.h"
#include "platform/Hex.h"

// The functions a script calls, on the script's thread. What reaches the
// console goes through SScriptCore::Ask, on the owner's thread.
//
// Lua raises its errors with longjmp, past any C++ destructor: the functions
// below end the life of their C++ objects before they raise.

namespace quillpad {

int RaiseHere(lua_State* L) {
    luaL_where(L, 1);
    lua_insert(L, -2);
    lua_concat(L, 2);
    return lua_error(L);
}

namespace {

int LuaSend(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
    std::size_t size = 0;
    const char* bytes = luaL_checklstring(L, 1, &size);
    bool asked = false;
    bool sent = false;
    {
        std::string error;
        asked = core.Ask(
            [&](IScriptHost& host) { sent = host.Send(std::string_view(bytes, size), error); });
        if (asked && !sent) {
            lua_pushfstring(L, "send: %s", error.c_str());
        }
    }
    if (!asked) {
        core.RaiseStop(L);
    }
    return sent ? 0 : RaiseHere(L);
}

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

int LuaExpect(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
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
            core.expectBytes = std::move(bytes);
            core.expectPattern = std::move(pattern);
        }
    }
    if (!ok) {
        return RaiseHere(L);
    }
    std::optional<std::uint64_t> deadline;
    if (timed) {
        deadline = core.Now() + static_cast<std::uint64_t>(ms < 0 ? 0 : ms);
    }
    core.BeginWait(EScriptWait::Expect, deadline);
    const int results = core.AwaitEnd(L);
    if (results < 0) {
        core.RaiseStop(L);
    }
    return results;
}

int LuaSleep(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
    const lua_Integer ms = luaL_checkinteger(L, 1);
    core.BeginWait(EScriptWait::Sleep, core.Now() + static_cast<std::uint64_t>(ms < 0 ? 0 : ms));
    if (core.AwaitEnd(L) < 0) {
        core.RaiseStop(L);
    }
    return 0;
}

// Hands the text on top of the stack to the host through `call`.
int AskWithText(lua_State* L, void (*call)(IScriptHost&, std::string_view)) {
    SScriptCore& core = SScriptCore::Of(L);
    std::size_t size = 0;
    const char* text = lua_tolstring(L, -1, &size);
    if (!core.Ask([&](IScriptHost& host) { call(host, std::string_view(text, size)); })) {
        core.RaiseStop(L);
    }
    return 0;
}

int LuaMark(lua_State* L) {
    luaL_checkstring(L, 1);
    lua_settop(L, 1);
    return AskWithText(L, [](IScriptHost& host, std::string_view text) { host.Mark(text); });
}

int LuaPrint(lua_State* L) {
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
    return AskWithText(L, [](IScriptHost& host, std::string_view text) { host.Print(text); });
}

int LuaTime(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
    std::uint64_t start = 0;
    {
        const std::lock_guard<std::mutex> lock(core.mutex);
        start = core.start;
    }
    lua_pushnumber(L, static_cast<lua_Number>(core.Now() - start) / 1000.0);
    return 1;
}

// Asks the host for something that is done or not, with its reason.
int AskDone(lua_State* L, const char* name,
            const std::function<bool(IScriptHost&, std::string&)>& call) {
    SScriptCore& core = SScriptCore::Of(L);
    bool asked = false;
    bool done = false;
    {
        std::string error;
        asked = core.Ask([&](IScriptHost& host) { done = call(host, error); });
        if (asked && !done) {
            lua_pushfstring(L, "%s: %s", name, error.c_str());
        }
    }
    if (!asked) {
        core.RaiseStop(L);
    }
    return done ? 0 : RaiseHere(L);
}

int LuaBreak(lua_State* L) {
    const int ms = static_cast<int>(luaL_optinteger(L, 1, 500));
    return AskDone(L, "break_",
                   [ms](IScriptHost& host, std::string& error) { return host.Break(ms, error); });
}

int LuaLine(lua_State* L, EScriptLine line, const char* name) {
    luaL_checktype(L, 1, LUA_TBOOLEAN);
    const bool on = lua_toboolean(L, 1) != 0;
    return AskDone(L, name, [line, on](IScriptHost& host, std::string& error) {
        return host.SetLine(line, on, error);
    });
}

int LuaDtr(lua_State* L) {
    return LuaLine(L, EScriptLine::Dtr, "dtr");
}

int LuaRts(lua_State* L) {
    return LuaLine(L, EScriptLine::Rts, "rts");
}

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

int LuaLogStart(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
    bool valid = false;
    bool asked = true;
    bool started = false;
    {
        SScriptLog log;
        // Files are named after the script unless it names them.
        log.name = std::filesystem::path(core.name).stem().string();
        valid = ReadLogTable(L, log);
        if (valid) {
            std::string error;
            asked = core.Ask([&](IScriptHost& host) { started = host.StartLog(log, error); });
            if (asked && !started) {
                lua_pushnil(L);
                lua_pushlstring(L, error.data(), error.size());
            }
        }
    }
    if (!asked) {
        core.RaiseStop(L);
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

int LuaLogStop(lua_State* L) {
    SScriptCore& core = SScriptCore::Of(L);
    bool stopped = false;
    if (!core.Ask([&](IScriptHost& host) { stopped = host.StopLog(); })) {
        core.RaiseStop(L);
    }
    lua_pushboolean(L, stopped ? 1 : 0);
    return 1;
}

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

int LuaTransfer(lua_State* L, EScriptTransfer kind) {
    SScriptCore& core = SScriptCore::Of(L);
    std::size_t size = 0;
    const char* text = luaL_checklstring(L, 1, &size);
    bool asked = true;
    bool started = false;
    {
        std::string error;
        std::string path;
        if (TransferPath(kind, std::string(text, size), path, error)) {
            // The wait is there before the host starts: it may tell the end at once.
            core.BeginWait(EScriptWait::Transfer, std::nullopt, kind);
            asked = core.Ask(
                [&](IScriptHost& host) { started = host.StartTransfer(kind, path, error); });
            if (!started) {
                core.BeginWait(EScriptWait::None, std::nullopt);
            }
        }
        if (asked && !started) {
            lua_pushfstring(L, "%s: %s", ScriptTransferName(kind), error.c_str());
        }
    }
    if (!asked) {
        core.RaiseStop(L);
    }
    if (!started) {
        return RaiseHere(L);
    }
    const int results = core.AwaitEnd(L);
    if (results < 0) {
        core.RaiseStop(L);
    }
    return results;
}

int LuaXModemSend(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::XModemSend);
}

int LuaXModemReceive(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::XModemReceive);
}

int LuaAsciiSend(lua_State* L) {
    return LuaTransfer(L, EScriptTransfer::AsciiSend);
}

}  // namespace

void OpenScriptLibrary(lua_State* L) {
    const luaL_Reg functions[] = {{"send", LuaSend},    {"expect", LuaExpect}, {"sleep", LuaSleep},
                                  {"mark", LuaMark},    {"print", LuaPrint},   {"time", LuaTime},
                                  {"break_", LuaBreak}, {"dtr", LuaDtr},       {"rts", LuaRts},
                                  {nullptr, nullptr}};
    lua_pushglobaltable(L);
    luaL_setfuncs(L, functions, 0);
    lua_pop(L, 1);
    const luaL_Reg log[] = {{"start", LuaLogStart}, {"stop", LuaLogStop}, {nullptr, nullptr}};
    luaL_newlib(L, log);
    lua_setglobal(L, "log");
    const luaL_Reg xmodem[] = {
        {"send", LuaXModemSend}, {"receive", LuaXModemReceive}, {nullptr, nullptr}};
    luaL_newlib(L, xmodem);
    lua_setglobal(L, "xmodem");
    const luaL_Reg ascii[] = {{"send", LuaAsciiSend}, {nullptr, nullptr}};
    luaL_newlib(L, ascii);
    lua_setglobal(L, "ascii");
}

}  // namespace quillpad
