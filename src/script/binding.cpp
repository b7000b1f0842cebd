#include "script/binding.h"

#include <cstdio>
#include <cstring>
#include <exception>

#include "buffers/numeric.h"
#include "script/library.h"

namespace {

void* registry_pointer(lua_State* L, const char* key, const char* message) {
    lua_getfield(L, -1, key);
    void* p = lua_touserdata(L, -1);
    lua_pop(L, 1);
    if (p == nullptr) {
        lua_pop(L, 1);
        luaL_error(L, "%s", message);
    }
    return p;
}

}  // namespace

HostRecords fetch_host_records(lua_State* L) {
    lua_getfield(L, LUA_REGISTRYINDEX, "LUA_FILTER_INFO");
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        luaL_error(L, "レジストリからのLuaフィルタ情報テーブル取得に失敗しました");
    }
    HostRecords r;
    r.fp = static_cast<FILTER*>(
        registry_pointer(L, "__filter__", "レジストリからのfp取得に失敗しました"));
    r.fpip = static_cast<FILTER_PROC_INFO*>(
        registry_pointer(L, "__filter_proc_info__", "レジストリからのfpip取得に失敗しました"));
    r.lfip = static_cast<LUA_FILTER_INFO*>(
        registry_pointer(L, "__lua_filter_info__", "レジストリからのlfip取得に失敗しました"));
    lua_pop(L, 1);
    return r;
}

namespace {

// The row of the C function Lua is running (level 0 of the call stack).
const LibraryFunction* running_row(lua_State* L) {
    lua_Debug ar;
    if (lua_getstack(L, 0, &ar) == 0) return nullptr;
    lua_getinfo(L, "f", &ar);
    const lua_CFunction running = lua_tocfunction(L, -1);
    lua_pop(L, 1);
    return running == nullptr ? nullptr : library_row_of(running);
}

}  // namespace

int check_arg_count(lua_State* L) {
    const int n = lua_gettop(L);
    const LibraryFunction* row = running_row(L);
    if (row == nullptr) return luaL_error(L, "argument counts unknown: not a library function");
    if (!row->counts.accepts(n)) return luaL_argerror(L, n, "wrong number of argument");
    return n;
}

int check_int(lua_State* L, int index) { return trunc_to_int(luaL_checknumber(L, index)); }

void check_ints(lua_State* L, int first, int count, int* out) {
    for (int k = 0; k < count; ++k) out[k] = check_int(L, first + k);
}

void check_numbers(lua_State* L, int first, int count, double* out) {
    for (int k = 0; k < count; ++k) out[k] = luaL_checknumber(L, first + k);
}

Region check_region(lua_State* L, int first) {
    int v[4];
    check_ints(L, first, 4, v);
    return {v[0], v[1], v[2], v[3]};
}

PIXEL_YC* require_buffer(lua_State* L, const HostRecords& records, int n) {
    PIXEL_YC* p = records.lfip->get_buffer ? records.lfip->get_buffer(n) : nullptr;
    if (p == nullptr) luaL_error(L, "バッファが存在しません[%d]", n);
    return p;
}

Frame require_frame(lua_State* L, const HostRecords& records, int n) {
    return records.frame(require_buffer(L, records, n));
}

void check_table_shape(lua_State* L, int index, std::size_t* rows, std::size_t* cols) {
    luaL_checktype(L, index, LUA_TTABLE);
    *rows = lua_objlen(L, index);
    lua_rawgeti(L, index, 1);
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        luaL_argerror(L, index, "テーブルの形式が不適切です");
    }
    *cols = lua_objlen(L, -1);
    lua_pop(L, 1);
}

const double* check_table2d(lua_State* L, int index, int* rows, int* cols) {
    std::size_t table_rows = 0, table_cols = 0;
    check_table_shape(L, index, &table_rows, &table_cols);
    const int r = static_cast<int>(table_rows);
    const int c = static_cast<int>(table_cols);
    // The userdata keeps the values alive until the function returns and is
    // freed by Lua's collector, so no C++ owner is needed.
    const std::size_t count = static_cast<std::size_t>(r) * static_cast<std::size_t>(c);
    if (c != 0 && count / static_cast<std::size_t>(c) != static_cast<std::size_t>(r))
        luaL_error(L, "table too large");
    auto* values = static_cast<double*>(lua_newuserdata(L, count * sizeof(double) + 1));
    // Absolute index of the table: the userdata just pushed shifts relative ones.
    const int table = index > 0 || index <= LUA_REGISTRYINDEX ? index : index - 1;
    for (int i = 0; i < r; ++i) {
        lua_rawgeti(L, table, i + 1);
        const bool row_ok = lua_istable(L, -1);
        for (int j = 0; j < c; ++j) {
            double v = 0;
            if (row_ok) {
                lua_rawgeti(L, -1, j + 1);
                v = lua_tonumber(L, -1);
                lua_pop(L, 1);
            }
            values[static_cast<std::size_t>(i) * c + j] = v;
        }
        lua_pop(L, 1);
    }
    *rows = r;
    *cols = c;
    return values;
}

const char* keep_message(const char* text, const char* name) {
    static char message[512];
    if (name != nullptr)
        std::snprintf(message, sizeof message, "%s: %s", name, text ? text : "");
    else
        std::snprintf(message, sizeof message, "%s", text ? text : "");
    return message;
}

void raise_error(lua_State* L, const char* message) {
    luaL_error(L, "%s", message);
    std::terminate();  // luaL_error does not return
}

void check_table_rows(lua_State* L, int index, const char* what) {
    if (!lua_istable(L, index)) return;
    const int rows = static_cast<int>(lua_objlen(L, index));
    for (int i = 2; i <= rows; ++i) {
        lua_rawgeti(L, index, i);
        if (!lua_istable(L, -1))
            luaL_error(L, "attempt to index a %s value (row %d of the %s)", luaL_typename(L, -1), i,
                       what);
        lua_pop(L, 1);
    }
}
