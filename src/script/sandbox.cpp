// The sandbox for untrusted scripts.
//
// Taken away: os.execute, os.exit, os.tmpname, io.popen, io.tmpfile,
// package.loadlib, the C module loaders, the debug library and newproxy (the
// one way to give a userdata a finaliser of the script's own); os.getenv
// returns nil, since the environment holds the user's tokens.  Standard
// input is closed: io.stdin is gone, and io.read, io.lines() and io.input()
// refuse to use it.  Precompiled (binary) chunks are refused everywhere a
// chunk is loaded, since a crafted one can crash the Lua 5.1 virtual
// machine.  Every file name given to io.open, io.lines, io.input, io.output,
// os.remove, os.rename, loadfile, dofile and require must lie below the
// script folder (symbolic links resolved) and, when it names a file, the
// file must have no other name: a hard link inside the folder to a file
// outside it is refused, whatever the mode.
#include "script/sandbox.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/system.h"

namespace {

constexpr const char* kFolderKey = "quorvel.sandbox.folder";
constexpr const char* kStdinKey = "quorvel.sandbox.stdin";
constexpr const char* kBinaryRefused = "precompiled chunks are not allowed in the sandbox";
constexpr const char* kStdinClosed = "standard input is closed to the script (sandbox)";

bool is_binary(const char* bytes, std::size_t size) { return size > 0 && bytes[0] == '\033'; }

// What the sandbox says of a path: allowed, outside the folder, or a file
// with other names (hard links) that may lie outside it.
enum class Reach { allowed, outside, linked };

Reach reach(lua_State* L, const char* path) {
    lua_getfield(L, LUA_REGISTRYINDEX, kFolderKey);
    const char* folder = lua_tostring(L, -1);
    Reach r = Reach::outside;
    if (folder != nullptr && platform::path_is_below(path, folder))
        r = platform::file_link_count(path) > 1 ? Reach::linked : Reach::allowed;
    lua_pop(L, 1);
    return r;
}

bool allowed(lua_State* L, const char* path) { return reach(L, path) == Reach::allowed; }

// Raises the refusal of a path unless it is allowed.
void check_path(lua_State* L, const char* path) {
    switch (reach(L, path)) {
        case Reach::allowed:
            return;
        case Reach::outside:
            luaL_error(L, "%s: outside the script folder (sandbox)", path);
            return;
        case Reach::linked:
            luaL_error(L, "%s: a file with more than one name (hard link) (sandbox)", path);
            return;
    }
}

void check_path_arg(lua_State* L, int index) { check_path(L, luaL_checkstring(L, index)); }

// Raises the refusal when the io library's default input is still the
// host's standard input; upvalue 2 of the caller is the original io.input.
void check_default_input(lua_State* L) {
    lua_pushvalue(L, lua_upvalueindex(2));
    lua_call(L, 0, 1);
    lua_getfield(L, LUA_REGISTRYINDEX, kStdinKey);
    const bool standard = lua_rawequal(L, -1, -2) != 0;
    lua_pop(L, 2);
    if (standard) luaL_error(L, "%s", kStdinClosed);
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

// io.output(file) keeps its meaning without a name.
int checked_optional_name(lua_State* L) {
    if (lua_type(L, 1) == LUA_TSTRING) check_path_arg(L, 1);
    return call_original(L);
}

// io.read, io.lines and io.input read the default input only when it is
// not standard input (upvalues: the original, the original io.input).
int read_default_input(lua_State* L) {
    check_default_input(L);
    return call_original(L);
}

int lines_or_input(lua_State* L) {
    if (lua_type(L, 1) == LUA_TSTRING)
        check_path_arg(L, 1);
    else if (lua_isnoneornil(L, 1))
        check_default_input(L);
    return call_original(L);
}

// os.getenv: the environment holds the user's tokens.
int no_environment(lua_State* L) {
    luaL_checkstring(L, 1);
    lua_pushnil(L);
    return 1;
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
    check_path(L, path);
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
    // A first line starting with '#' ("#!/usr/bin/lua") is skipped, as the
    // language's own loader does; its line end stays, so line numbers hold.
    if (size > 0 && bytes[0] == '#') {
        const void* line_end = std::memchr(bytes, '\n', size);
        const std::size_t skipped =
            line_end != nullptr
                ? static_cast<std::size_t>(static_cast<const char*>(line_end) - bytes)
                : size;
        bytes += skipped;
        size -= skipped;
    }
    lua_pushfstring(L, "@%s", path);
    if (is_binary(bytes, size) || (size > 1 && bytes[0] == '\n' && bytes[1] == '\033'))
        luaL_error(L, "%s: %s", path, kBinaryRefused);
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

// An io function wrapped with the original io.input as a second upvalue.
void wrap_with_input(lua_State* L, const char* field, lua_CFunction check, int original_input) {
    lua_getglobal(L, "io");
    lua_getfield(L, -1, field);
    lua_pushvalue(L, original_input);
    lua_pushcclosure(L, check, 2);
    lua_setfield(L, -2, field);
    lua_pop(L, 1);
}

// Standard input goes out of reach: io.stdin is kept in the registry only,
// to be recognised as the default input.
void close_standard_input(lua_State* L) {
    lua_getglobal(L, "io");
    lua_getfield(L, -1, "stdin");
    lua_setfield(L, LUA_REGISTRYINDEX, kStdinKey);
    lua_pushnil(L);
    lua_setfield(L, -2, "stdin");
    lua_getfield(L, -1, "input");
    const int original_input = lua_gettop(L);
    wrap_with_input(L, "read", read_default_input, original_input);
    wrap_with_input(L, "lines", lines_or_input, original_input);
    wrap_with_input(L, "input", lines_or_input, original_input);
    lua_pop(L, 2);
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
    remove(L, "io", "tmpfile");
    lua_pushnil(L);
    lua_setglobal(L, "newproxy");
    lua_getglobal(L, "os");
    lua_pushcfunction(L, no_environment);
    lua_setfield(L, -2, "getenv");
    lua_pop(L, 1);
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

    close_standard_input(L);
    wrap(L, "io", "open", checked_first);
    wrap(L, "io", "output", checked_optional_name);
    wrap(L, "os", "remove", checked_first);
    wrap(L, "os", "rename", checked_first_two);
    lua_register(L, "loadstring", sandbox_loadstring);
    lua_register(L, "load", sandbox_load);
    lua_register(L, "loadfile", sandbox_loadfile);
    lua_register(L, "dofile", sandbox_dofile);
}

void load_sandboxed_file(lua_State* L, const char* path) { load_text_file(L, path); }
