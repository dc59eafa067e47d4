// What a script may reach of Lua's standard library. It is cut down here, in
// C: a wrapper written in Lua would keep the original function in an upvalue
// that a script could dig out. Taken away: the debug library (hooks, upvalues),
// what starts or ends programs (os.execute, os.exit, io.popen), C modules
// (package.loadlib, package.cpath), compiled chunks (load, loadfile, dofile
// and require read text only), and finalizers (__gc runs with the watchdog
// off, so a loop in one could never be stopped).

#include <lua.hpp>

#include <cstdlib>
#include <string>

#include "control/ScriptCore.h"

namespace quillpad {

void* ScriptAlloc(void* core, void* block, std::size_t oldSize, std::size_t newSize) {
    SScriptCore& self = *static_cast<SScriptCore*>(core);
    const std::size_t had = block != nullptr ? oldSize : 0;
    if (newSize == 0) {
        std::free(block);
        self.memoryUsed -= had;
        return nullptr;
    }
    if (newSize > had && self.memoryUsed + (newSize - had) > self.memoryLimit) {
        self.OverLimit();
        return nullptr;
    }
    void* grown = std::realloc(block, newSize);
    if (grown != nullptr) {
        self.memoryUsed = self.memoryUsed - had + newSize;
    }
    return grown;
}

namespace {

// Calls the original function (upvalue 1) with argument `mode` forced to "t".
int CallInTextMode(lua_State* L, int mode) {
    if (lua_gettop(L) < mode) {
        lua_settop(L, mode);
    }
    lua_pushliteral(L, "t");
    lua_replace(L, mode);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

int LoadText(lua_State* L) {
    return CallInTextMode(L, 3);  // load(chunk, name, mode, env)
}

int LoadFileText(lua_State* L) {
    return CallInTextMode(L, 2);  // loadfile(file, mode, env)
}

int DoFileText(lua_State* L) {
    const char* file = luaL_optstring(L, 1, nullptr);
    lua_settop(L, 1);
    if (luaL_loadfilex(L, file, "t") != LUA_OK) {
        return lua_error(L);
    }
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - 1;
}

// require's searcher: NAME.lua in the script's folders (upvalue 2, a path
// for package.searchpath, upvalue 1), read as text.
int SearchFolders(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_pushstring(L, name);
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_call(L, 2, 2);
    if (lua_isnil(L, -2)) {
        return 1;  // where it looked
    }
    lua_pop(L, 1);
    const char* file = lua_tostring(L, -1);
    if (luaL_loadfilex(L, file, "t") != LUA_OK) {
        return luaL_error(L, "error loading module '%s' from file '%s':\n\t%s", name, file,
                          lua_tostring(L, -1));
    }
    lua_insert(L, -2);  // the loader, then the file it came from
    return 2;
}

int SetMetatableWithoutGc(lua_State* L) {
    if (lua_type(L, 2) == LUA_TTABLE) {
        lua_pushliteral(L, "__gc");
        const bool finalizer = lua_rawget(L, 2) != LUA_TNIL;
        lua_pop(L, 1);
        if (finalizer) {
            return luaL_error(L, "setmetatable: a script's table cannot have __gc");
        }
    }
    lua_settop(L, 2);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 2, 1);
    return 1;
}

// Replaces table[name] (the table on top) with `wrapper` holding the original.
void Wrap(lua_State* L, const char* name, lua_CFunction wrapper) {
    lua_getfield(L, -1, name);
    lua_pushcclosure(L, wrapper, 1);
    lua_setfield(L, -2, name);
}

void Remove(lua_State* L, const char* table, const char* name) {
    lua_getglobal(L, table);
    lua_pushnil(L);
    lua_setfield(L, -2, name);
    lua_pop(L, 1);
}

}  // namespace

void OpenSandboxedLibraries(lua_State* L, const std::vector<std::string>& folders) {
    const luaL_Reg libraries[] = {
        {LUA_GNAME, luaopen_base},          {LUA_LOADLIBNAME, luaopen_package},
        {LUA_COLIBNAME, luaopen_coroutine}, {LUA_TABLIBNAME, luaopen_table},
        {LUA_IOLIBNAME, luaopen_io},        {LUA_OSLIBNAME, luaopen_os},
        {LUA_STRLIBNAME, luaopen_string},   {LUA_MATHLIBNAME, luaopen_math},
        {LUA_UTF8LIBNAME, luaopen_utf8}};
    for (const luaL_Reg& library : libraries) {
        luaL_requiref(L, library.name, library.func, 1);
        lua_pop(L, 1);
    }
    Remove(L, LUA_OSLIBNAME, "execute");
    Remove(L, LUA_OSLIBNAME, "exit");
    Remove(L, LUA_IOLIBNAME, "popen");
    Remove(L, LUA_LOADLIBNAME, "loadlib");

    lua_pushglobaltable(L);
    Wrap(L, "load", LoadText);
    Wrap(L, "loadfile", LoadFileText);
    Wrap(L, "setmetatable", SetMetatableWithoutGc);
    lua_pushcfunction(L, DoFileText);
    lua_setfield(L, -2, "dofile");
    lua_pop(L, 1);

    // require: what package.preload holds, and text files of the script's folders.
    std::string path;
    for (const std::string& folder : folders) {
        path += (path.empty() ? "" : ";") + folder + "/?.lua";
    }
    lua_getglobal(L, LUA_LOADLIBNAME);
    lua_pushliteral(L, "");
    lua_setfield(L, -2, "cpath");
    lua_pushstring(L, path.c_str());
    lua_setfield(L, -2, "path");
    lua_getfield(L, -1, "searchers");
    lua_createtable(L, 2, 0);
    lua_rawgeti(L, -2, 1);  // the preload searcher
    lua_rawseti(L, -2, 1);
    lua_getfield(L, -3, "searchpath");
    lua_pushstring(L, path.c_str());
    lua_pushcclosure(L, SearchFolders, 2);
    lua_rawseti(L, -2, 2);
    lua_setfield(L, -3, "searchers");
    lua_pop(L, 2);
}

}  // namespace quillpad
