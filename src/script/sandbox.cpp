// The sandbox for untrusted scripts.
//
// Taken away: os.execute, os.exit, os.tmpname, io.popen, package.loadlib,
// the C module loaders and the debug library.  Precompiled (binary) chunks
// are refused everywhere a chunk is loaded, since a crafted one can crash
// the Lua 5.1 virtual machine.  Every file name given to io.open, io.lines,
// io.input, io.output, os.remove, os.rename, loadfile, dofile and require
// must lie below the script folder (symbolic links resolved).
#include "script/sandbox.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/system.h"

namespace {

constexpr const char* kFolderKey = "quorvel.sandbox.folder";
constexpr const char* kBinaryRefused = "precompiled chunks are not allowed in the sandbox";

bool is_binary(const char* bytes, std::size_t size) { return size > 0 && bytes[0] == '\033'; }

// True when `path` lies below the sandbox folder kept in the registry.
bool allowed(lua_State* L, const char* path) {
    lua_getfield(L, LUA_REGISTRYINDEX, kFolderKey);
    const char* folder = lua_tostring(L, -1);
    const bool ok = folder != nullptr && platform::path_is_below(path, folder);
    lua_pop(L, 1);
    return ok;
}

// Raises the refusal for the file name at `index` unless it is allowed.
void check_path_arg(lua_State* L, int index) {
    const char* path = luaL_checkstring(L, index);
    if (!allowed(L, path)) luaL_error(L, "%s: outside the script folder (sandbox)", path);
}

// A wrapped library function: checks the file-name arguments, then calls the
// original (upvalue 1) with every argument.
int call_original(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

int checked_first(lua_State* L) {
    check_path_arg(L, 1);
    return call_original(L);
}

int checked_first_two(lua_State* L) {
    check_path_arg(L, 1);
    check_path_arg(L, 2);
    return call_original(L);
}

// io.lines(), io.input(file), io.output(file) keep their meaning without a name.
int checked_optional_name(lua_State* L) {
    if (lua_type(L, 1) == LUA_TSTRING) check_path_arg(L, 1);
    return call_original(L);
}

// Loads a chunk from a string as text only; nil and a message otherwise.
int load_text(lua_State* L, const char* bytes, std::size_t size, const char* name) {
    if (is_binary(bytes, size)) {
        lua_pushnil(L);
        lua_pushstring(L, kBinaryRefused);
        return 2;
    }
    if (luaL_loadbuffer(L, bytes, size, name) != 0) {
        lua_pushnil(L);
        lua_insert(L, -2);
        return 2;
    }
    return 1;
}

int sandbox_loadstring(lua_State* L) {
    std::size_t size = 0;
    const char* bytes = luaL_checklstring(L, 1, &size);
    return load_text(L, bytes, size, luaL_optstring(L, 2, bytes));
}

// load(f [, name]): the pieces are joined first, so the first byte is known.
int sandbox_load(lua_State* L) {
    luaL_checktype(L, 1, LUA_TFUNCTION);
    const char* name = luaL_optstring(L, 2, "=(load)");
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    for (;;) {
        lua_pushvalue(L, 1);
        lua_call(L, 0, 1);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        if (!lua_isstring(L, -1)) luaL_error(L, "reader function must return a string");
        luaL_addvalue(&b);
    }
    luaL_pushresult(&b);
    std::size_t size = 0;
    const char* bytes = lua_tolstring(L, -1, &size);
    return load_text(L, bytes, size, name);
}

// Reads a whole file as a chunk; pushes the function, or raises.
void load_text_file(lua_State* L, const char* path) {
    if (!allowed(L, path)) luaL_error(L, "%s: outside the script folder (sandbox)", path);
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) luaL_error(L, "cannot open %s", path);
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    char* piece = luaL_prepbuffer(&b);
    std::size_t n;
    while ((n = std::fread(piece, 1, LUAL_BUFFERSIZE, f)) > 0) {
        luaL_addsize(&b, n);
        piece = luaL_prepbuffer(&b);
    }
    std::fclose(f);
    luaL_pushresult(&b);
    std::size_t size = 0;
    const char* bytes = lua_tolstring(L, -1, &size);
    lua_pushfstring(L, "@%s", path);
    if (is_binary(bytes, size)) luaL_error(L, "%s: %s", path, kBinaryRefused);
    if (luaL_loadbuffer(L, bytes, size, lua_tostring(L, -1)) != 0) lua_error(L);
}

int sandbox_loadfile(lua_State* L) {
    load_text_file(L, luaL_checkstring(L, 1));
    return 1;
}

int sandbox_dofile(lua_State* L) {
    const int base = lua_gettop(L);
    load_text_file(L, luaL_checkstring(L, 1));
    lua_call(L, 0, LUA_MULTRET);
    return lua_gettop(L) - base;
}

// The Lua-file searcher of require, limited to the sandbox: each template of
// package.path with '?' replaced by the module name (dots as separators).
int sandbox_searcher(lua_State* L) {
    const char* name = luaL_checkstring(L, 1);
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "path");
    const char* templates = lua_tostring(L, -1);
    if (templates == nullptr) luaL_error(L, "package.path must be a string");
    const char* file_name = luaL_gsub(L, name, ".", "/");
    for (const char* t = templates; *t != '\0';) {
        const char* end = std::strchr(t, ';');
        if (end == nullptr) end = t + std::strlen(t);
        lua_pushlstring(L, t, static_cast<std::size_t>(end - t));
        const char* candidate = luaL_gsub(L, lua_tostring(L, -1), "?", file_name);
        if (allowed(L, candidate)) {
            std::FILE* f = std::fopen(candidate, "rb");
            if (f != nullptr) {
                std::fclose(f);
                load_text_file(L, candidate);
                return 1;
            }
        }
        lua_pop(L, 2);
        t = *end == ';' ? end + 1 : end;
    }
    lua_pushfstring(L, "\n\tno file for '%s' below the script folder (sandbox)", name);
    return 1;
}

void wrap(lua_State* L, const char* table, const char* field, lua_CFunction check) {
    lua_getglobal(L, table);
    lua_getfield(L, -1, field);
    lua_pushcclosure(L, check, 1);
    lua_setfield(L, -2, field);
    lua_pop(L, 1);
}

void remove(lua_State* L, const char* table, const char* field) {
    lua_getglobal(L, table);
    if (lua_istable(L, -1)) {
        lua_pushnil(L);
        lua_setfield(L, -2, field);
    }
    lua_pop(L, 1);
}

}  // namespace

void apply_sandbox(lua_State* L, const char* script_folder) {
    lua_pushstring(L, script_folder);
    lua_setfield(L, LUA_REGISTRYINDEX, kFolderKey);

    remove(L, "os", "execute");
    remove(L, "os", "exit");
    remove(L, "os", "tmpname");
    remove(L, "io", "popen");
    remove(L, "package", "loadlib");
    lua_pushnil(L);
    lua_setglobal(L, "debug");
    lua_getglobal(L, "package");
    lua_getfield(L, -1, "loaded");
    lua_pushnil(L);
    lua_setfield(L, -2, "debug");
    lua_pop(L, 1);
    lua_pushliteral(L, "");
    lua_setfield(L, -2, "cpath");
    // Searchers: the preload table, then Lua files below the folder only.
    lua_getfield(L, -1, "loaders");
    lua_rawgeti(L, -1, 1);
    lua_createtable(L, 2, 0);
    lua_insert(L, -2);
    lua_rawseti(L, -2, 1);
    lua_pushcfunction(L, sandbox_searcher);
    lua_rawseti(L, -2, 2);
    lua_setfield(L, -3, "loaders");
    lua_pop(L, 2);

    wrap(L, "io", "open", checked_first);
    wrap(L, "io", "lines", checked_optional_name);
    wrap(L, "io", "input", checked_optional_name);
    wrap(L, "io", "output", checked_optional_name);
    wrap(L, "os", "remove", checked_first);
    wrap(L, "os", "rename", checked_first_two);
    lua_register(L, "loadstring", sandbox_loadstring);
    lua_register(L, "load", sandbox_load);
    lua_register(L, "loadfile", sandbox_loadfile);
    lua_register(L, "dofile", sandbox_dofile);
}

void load_sandboxed_file(lua_State* L, const char* path) { load_text_file(L, path); }
