// Guards for the code Lua 5.1 runs with hooks off (see budget_guards.h).
//
// A proxy made by newproxy(true) gets a metatable M as usual, which the
// script fills in; every metamethod but __gc works from M as before.  M has
// a hidden metatable of its own that keeps "__gc" out of M: what the script
// stores there is kept aside (M.__gc and rawset/rawget still see it), and a
// companion userdata, collected together with the proxy, runs it in a fresh
// coroutine when the proxy goes.
#include "script/budget_guards.h"

#include <cstdint>
#include <cstring>

#include "platform/work_deadline.h"
#include "script/engine.h"

namespace {

// Addresses that serve as private keys.
const char kFinaliserKey = 0;   // in M's hidden metatable: the script's __gc
const char kProxyMark = 0;      // in M's hidden metatable: M belongs to a proxy
const char kCompanionMeta = 0;  // in the registry: the companions' metatable

bool is_gc_key(lua_State* L, int index) {
    if (lua_type(L, index) != LUA_TSTRING) return false;
    std::size_t size = 0;
    const char* key = lua_tolstring(L, index, &size);
    return size == 4 && std::memcmp(key, "__gc", 4) == 0;
}

// Pushes the hidden metatable of the proxy metatable at `index` and returns
// true, or pushes nothing and returns false for any other value.
bool push_hidden_meta(lua_State* L, int index) {
    if (!lua_istable(L, index) || !lua_getmetatable(L, index)) return false;
    lua_pushlightuserdata(L, const_cast<char*>(&kProxyMark));
    lua_rawget(L, -2);
    const bool mine = lua_toboolean(L, -1) != 0;
    lua_pop(L, mine ? 1 : 2);
    return mine;
}

// Stores the value at `value` as the finaliser of proxy metatable `meta`.
void set_finaliser(lua_State* L, int meta, int value) {
    push_hidden_meta(L, meta);
    lua_pushlightuserdata(L, const_cast<char*>(&kFinaliserKey));
    lua_pushvalue(L, value);
    lua_rawset(L, -3);
    lua_pop(L, 1);
}

void push_finaliser(lua_State* L, int meta) {
    if (!push_hidden_meta(L, meta)) {
        lua_pushnil(L);
        return;
    }
    lua_pushlightuserdata(L, const_cast<char*>(&kFinaliserKey));
    lua_rawget(L, -2);
    lua_remove(L, -2);
}

// M's hidden __newindex and __index: "__gc" goes aside, the rest into M.
int proxy_meta_newindex(lua_State* L) {
    if (is_gc_key(L, 2)) {
        set_finaliser(L, 1, 3);
        return 0;
    }
    lua_settop(L, 3);
    lua_rawset(L, 1);
    return 0;
}

int proxy_meta_index(lua_State* L) {
    if (!is_gc_key(L, 2)) return 0;
    push_finaliser(L, 1);
    return 1;
}

// rawset and rawget, which would bypass the two above.
int guarded_rawset(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    luaL_checkany(L, 3);
    lua_settop(L, 3);
    if (is_gc_key(L, 2) && push_hidden_meta(L, 1)) {
        lua_pop(L, 1);
        set_finaliser(L, 1, 3);
    } else {
        lua_rawset(L, 1);
    }
    lua_settop(L, 1);
    return 1;
}

int guarded_rawget(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    if (is_gc_key(L, 2) && push_hidden_meta(L, 1)) {
        lua_pop(L, 1);
        push_finaliser(L, 1);
    } else {
        lua_rawget(L, 1);
    }
    return 1;
}

// The companion's __gc: the proxy's finaliser, in a coroutine of its own so
// that the budget's hook reaches it.  Past the budget it ends with the
// budget error, which goes on; another error is logged, as an error in a
// finaliser has no caller to go to.
int run_proxy_finaliser(lua_State* L) {
    lua_getfenv(L, 1);
    if (!lua_istable(L, 2)) return 0;
    lua_rawgeti(L, 2, 1);  // 3: the proxy
    if (!lua_getmetatable(L, 3)) return 0;
    push_finaliser(L, 4);  // 5
    if (lua_isnil(L, 5)) return 0;
    lua_State* co = lua_newthread(L);
    lua_pushvalue(L, 5);
    lua_pushvalue(L, 3);
    lua_xmove(L, co, 2);
    const int status = lua_resume(co, 1);
    if (status == 0 || status == LUA_YIELD) return 0;
    lua_xmove(co, L, 1);
    if (work_deadline::passed()) return lua_error(L);
    lua_pushliteral(L, " (in a finaliser)");
    lua_concat(L, 2);
    log_error(L);
    return 0;
}

// Ties a companion to the proxy at `proxy`: each holds the other through
// their shared environment table, so they go together.
void attach_companion(lua_State* L, int proxy) {
    lua_newuserdata(L, 0);
    lua_pushlightuserdata(L, const_cast<char*>(&kCompanionMeta));
    lua_rawget(L, LUA_REGISTRYINDEX);
    lua_setmetatable(L, -2);
    lua_createtable(L, 2, 0);
    lua_pushvalue(L, proxy);
    lua_rawseti(L, -2, 1);
    lua_pushvalue(L, -2);
    lua_rawseti(L, -2, 2);
    lua_pushvalue(L, -1);
    lua_setfenv(L, proxy);
    lua_setfenv(L, -2);
    lua_pop(L, 1);
}

// newproxy(false|true|proxy): a userdata with no metatable, a new one, or
// the metatable of another proxy.
int guarded_newproxy(lua_State* L) {
    lua_settop(L, 1);
    lua_newuserdata(L, 0);  // 2
    if (!lua_toboolean(L, 1)) return 1;
    if (lua_isboolean(L, 1)) {
        lua_newtable(L);  // 3: M
        lua_createtable(L, 0, 4);
        lua_pushcfunction(L, proxy_meta_newindex);
        lua_setfield(L, -2, "__newindex");
        lua_pushcfunction(L, proxy_meta_index);
        lua_setfield(L, -2, "__index");
        lua_pushboolean(L, 0);
        lua_setfield(L, -2, "__metatable");
        lua_pushlightuserdata(L, const_cast<char*>(&kProxyMark));
        lua_pushboolean(L, 1);
        lua_rawset(L, -3);
        lua_setmetatable(L, 3);
    } else {
        const bool proxy = lua_getmetatable(L, 1) && push_hidden_meta(L, 3);
        luaL_argcheck(L, proxy, 1, "boolean or proxy expected");
        lua_pop(L, 1);
    }
    lua_setmetatable(L, 2);
    attach_companion(L, 2);
    return 1;
}

// xpcall's handler, wrapped: skipped once the budget is spent.
int handler_unless_spent(lua_State* L) {
    if (work_deadline::passed()) return 1;
    lua_settop(L, 1);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 1, 1);
    return 1;
}

int guarded_xpcall(lua_State* L) {
    luaL_checkany(L, 2);
    lua_settop(L, 2);
    lua_pushcclosure(L, handler_unless_spent, 1);
    lua_insert(L, 1);
    const int status = lua_pcall(L, 0, LUA_MULTRET, 1);
    lua_pushboolean(L, status == 0);
    lua_replace(L, 1);
    return lua_gettop(L);
}

void protect_file_metatable(lua_State* L) {
    luaL_getmetatable(L, LUA_FILEHANDLE);
    if (lua_istable(L, -1)) {
        lua_pushboolean(L, 0);
        lua_setfield(L, -2, "__metatable");
    }
    lua_pop(L, 1);
}

// The deadline, looked at every `interval` calls of a loop in native code.
bool deadline_passed_every(std::uint32_t* counter, std::uint32_t interval) {
    return ++*counter % interval == 0 && work_deadline::passed();
}

// string.rep(s, n): the language's own loops n times even for an empty s,
// billions of times with no hook; this one stops at the deadline.
int guarded_rep(lua_State* L) {
    std::size_t size = 0;
    const char* s = luaL_checklstring(L, 1, &size);
    const int n = luaL_checkint(L, 2);
    if (n <= 0 || size == 0) {
        lua_pushliteral(L, "");
        return 1;
    }
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    std::uint32_t steps = 0;
    for (int i = 0; i < n; ++i) {
        if (deadline_passed_every(&steps, 1u << 14)) return raise_budget_error(L);
        luaL_addlstring(&b, s, size);
    }
    luaL_pushresult(&b);
    return 1;
}

// The comparison of table.sort when the script gives none or a native one:
// the language's quicksort takes quadratic time on some orders, all of it
// in native code where no hook fires.  Upvalue 1: the comparison, or nil
// for "<"; upvalue 2: a call counter.
int sort_comparison(lua_State* L) {
    auto* steps = static_cast<std::uint32_t*>(lua_touserdata(L, lua_upvalueindex(2)));
    if (deadline_passed_every(steps, 1u << 12)) return raise_budget_error(L);
    if (lua_isnil(L, lua_upvalueindex(1))) {
        lua_pushboolean(L, lua_lessthan(L, 1, 2));
        return 1;
    }
    lua_settop(L, 2);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 2, 1);
    return 1;
}

// table.sort(t [, comp]), upvalue 1 the original: a comparison in Lua runs
// under the hook; any other is wrapped.
int guarded_sort(lua_State* L) {
    luaL_checktype(L, 1, LUA_TTABLE);
    if (lua_type(L, 2) == LUA_TFUNCTION && !lua_iscfunction(L, 2)) {
        lua_settop(L, 2);
    } else {
        if (!lua_isnoneornil(L, 2)) luaL_checktype(L, 2, LUA_TFUNCTION);
        lua_settop(L, 2);
        *static_cast<std::uint32_t*>(lua_newuserdata(L, sizeof(std::uint32_t))) = 0;
        lua_pushcclosure(L, sort_comparison, 2);
    }
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, 2, 0);
    return 0;
}

void guard_native_loops(lua_State* L) {
    lua_getglobal(L, LUA_TABLIBNAME);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return;
    }
    lua_getfield(L, -1, "sort");
    lua_pushcclosure(L, guarded_sort, 1);
    lua_setfield(L, -2, "sort");
    lua_getglobal(L, LUA_STRLIBNAME);
    lua_pushcfunction(L, guarded_rep);
    lua_setfield(L, -2, "rep");
    lua_pop(L, 2);
}

const luaL_Reg guarded_globals[] = {
    {"xpcall", guarded_xpcall}, {"newproxy", guarded_newproxy},
    {"rawset", guarded_rawset}, {"rawget", guarded_rawget},
    {nullptr, nullptr},
};

}  // namespace

void install_budget_guards(lua_State* L) {
    lua_pushlightuserdata(L, const_cast<char*>(&kCompanionMeta));
    lua_createtable(L, 0, 1);
    lua_pushcfunction(L, run_proxy_finaliser);
    lua_setfield(L, -2, "__gc");
    lua_rawset(L, LUA_REGISTRYINDEX);
    for (const luaL_Reg* f = guarded_globals; f->name != nullptr; ++f) {
        lua_pushcfunction(L, f->func);
        lua_setglobal(L, f->name);
    }
    protect_file_metatable(L);
    guard_native_loops(L);
}
