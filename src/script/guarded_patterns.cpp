// string.find, string.match, string.gmatch, string.gsub on the guarded
// matcher.  Arguments, results and messages are those of the language's own
// functions; only the two guards differ (see guarded_patterns.h).
//
// The matcher is plain data, so a Lua error (a bad argument, a replacement
// function that raises, a buffer that cannot grow) may jump over it.
#include "script/guarded_patterns.h"

#include <cstring>

#include "script/engine.h"
#include "script/pattern_matcher.h"

namespace {

using pattern::Matcher;

// A relative string position (negative counts from the end) as a 0-based
// start, kept inside the string.
std::ptrdiff_t start_offset(lua_State* L, int index, std::size_t size) {
    lua_Integer position = luaL_optinteger(L, index, 1);
    const auto length = static_cast<lua_Integer>(size);
    if (position < 0) position += length + 1;
    if (position < 1) position = 1;
    if (position > length + 1) position = length + 1;
    return static_cast<std::ptrdiff_t>(position - 1);
}

// Raises the script error for a matcher that stopped.
int raise_failure(lua_State* L, const Matcher& m) {
    if (m.failure() == pattern::Failure::over_budget) return raise_budget_error(L);
    return luaL_error(L, "%s", pattern::failure_text(m.failure()));
}

// Capture i of a match from s to e; without captures, capture 0 is the
// whole match.
void push_capture(lua_State* L, const Matcher& m, int i, const char* s, const char* e) {
    if (i >= m.capture_count()) {
        if (i != 0) luaL_error(L, "invalid capture index");
        lua_pushlstring(L, s, static_cast<std::size_t>(e - s));
        return;
    }
    const pattern::Capture& c = m.capture(i);
    if (c.length == pattern::kUnfinished) luaL_error(L, "unfinished capture");
    if (c.length == pattern::kPosition)
        lua_pushinteger(L, static_cast<lua_Integer>(c.start - m.subject() + 1));
    else
        lua_pushlstring(L, c.start, static_cast<std::size_t>(c.length));
}

// The captures (or the whole match, when s is given and there are none).
int push_captures(lua_State* L, const Matcher& m, const char* s, const char* e) {
    const int n = m.capture_count() == 0 && s != nullptr ? 1 : m.capture_count();
    luaL_checkstack(L, n, "too many captures");
    for (int i = 0; i < n; ++i) push_capture(L, m, i, s, e);
    return n;
}

// Plain search of `needle` in `hay`: the first place, or null.
const char* find_text(const char* hay, std::size_t hay_size, const char* needle,
                      std::size_t needle_size) {
    if (needle_size == 0) return hay;
    if (needle_size > hay_size) return nullptr;
    const char* last = hay + (hay_size - needle_size);
    for (const char* at = hay; at <= last; ++at) {
        at = static_cast<const char*>(
            std::memchr(at, needle[0], static_cast<std::size_t>(last - at) + 1));
        if (at == nullptr) return nullptr;
        if (std::memcmp(at + 1, needle + 1, needle_size - 1) == 0) return at;
    }
    return nullptr;
}

// find and match: the first match from the start position on.
int find_or_match(lua_State* L, bool find) {
    std::size_t size = 0, pattern_size = 0;
    const char* s = luaL_checklstring(L, 1, &size);
    const char* p = luaL_checklstring(L, 2, &pattern_size);
    const std::ptrdiff_t start = start_offset(L, 3, size);
    if (find && (lua_toboolean(L, 4) || pattern::is_plain_text(p))) {
        const char* at =
            find_text(s + start, size - static_cast<std::size_t>(start), p, pattern_size);
        if (at == nullptr) {
            lua_pushnil(L);
            return 1;
        }
        lua_pushinteger(L, static_cast<lua_Integer>(at - s + 1));
        lua_pushinteger(L,
                        static_cast<lua_Integer>(at - s) + static_cast<lua_Integer>(pattern_size));
        return 2;
    }
    Matcher m(s, size, p, pattern_size);
    const bool anchored = *p == '^';
    if (anchored) ++p;
    const char* from = s + start;
    do {
        const char* e = m.match(from, p);
        if (m.failure() != pattern::Failure::none) return raise_failure(L, m);
        if (e != nullptr) {
            if (!find) return push_captures(L, m, from, e);
            lua_pushinteger(L, static_cast<lua_Integer>(from - s + 1));
            lua_pushinteger(L, static_cast<lua_Integer>(e - s));
            return push_captures(L, m, nullptr, nullptr) + 2;
        }
    } while (from++ < m.subject_end() && !anchored);
    lua_pushnil(L);
    return 1;
}

int str_find(lua_State* L) { return find_or_match(L, true); }

int str_match(lua_State* L) { return find_or_match(L, false); }

// The iterator of gmatch; upvalues: the subject, the pattern, where the
// next search starts.
int gmatch_next(lua_State* L) {
    std::size_t size = 0, pattern_size = 0;
    const char* s = lua_tolstring(L, lua_upvalueindex(1), &size);
    const char* p = lua_tolstring(L, lua_upvalueindex(2), &pattern_size);
    Matcher m(s, size, p, pattern_size);
    for (const char* from = s + lua_tointeger(L, lua_upvalueindex(3)); from <= m.subject_end();
         ++from) {
        const char* e = m.match(from, p);
        if (m.failure() != pattern::Failure::none) return raise_failure(L, m);
        if (e == nullptr) continue;
        // An empty match moves the next search on by one.
        lua_pushinteger(L, static_cast<lua_Integer>(e - s) + (e == from ? 1 : 0));
        lua_replace(L, lua_upvalueindex(3));
        return push_captures(L, m, from, e);
    }
    return 0;
}

int str_gmatch(lua_State* L) {
    luaL_checkstring(L, 1);
    luaL_checkstring(L, 2);
    lua_settop(L, 2);
    lua_pushinteger(L, 0);
    lua_pushcclosure(L, gmatch_next, 3);
    return 1;
}

// A replacement string: %0 is the match, %1..%9 the captures, % and any
// other character that character.
void add_replacement_text(lua_State* L, luaL_Buffer* b, const Matcher& m, const char* s,
                          const char* e) {
    std::size_t size = 0;
    const char* text = lua_tolstring(L, 3, &size);
    for (std::size_t i = 0; i < size; ++i) {
        if (text[i] != '%') {
            luaL_addchar(b, text[i]);
            continue;
        }
        ++i;  // the character after '%' (the string's terminating zero at the end)
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < '0' || c > '9') {
            luaL_addchar(b, text[i]);
        } else if (c == '0') {
            luaL_addlstring(b, s, static_cast<std::size_t>(e - s));
        } else {
            push_capture(L, m, c - '1', s, e);
            luaL_addvalue(b);
        }
    }
}

// Adds the replacement of one match: the string form, or what the table or
// function gives (false or nil keep the match as it was).
void add_replacement(lua_State* L, luaL_Buffer* b, const Matcher& m, const char* s, const char* e) {
    const int kind = lua_type(L, 3);
    if (kind == LUA_TNUMBER || kind == LUA_TSTRING) {
        add_replacement_text(L, b, m, s, e);
        return;
    }
    if (kind == LUA_TFUNCTION) {
        lua_pushvalue(L, 3);
        const int n = push_captures(L, m, s, e);
        lua_call(L, n, 1);
    } else {
        push_capture(L, m, 0, s, e);
        lua_gettable(L, 3);
    }
    if (!lua_toboolean(L, -1)) {
        lua_pop(L, 1);
        lua_pushlstring(L, s, static_cast<std::size_t>(e - s));
    } else if (!lua_isstring(L, -1)) {
        luaL_error(L, "invalid replacement value (a %s)", luaL_typename(L, -1));
    }
    luaL_addvalue(b);
}

int str_gsub(lua_State* L) {
    std::size_t size = 0, pattern_size = 0;
    const char* src = luaL_checklstring(L, 1, &size);
    const char* p = luaL_checklstring(L, 2, &pattern_size);
    const int kind = lua_type(L, 3);
    const int most = luaL_optint(L, 4, static_cast<int>(size + 1));
    luaL_argcheck(
        L,
        kind == LUA_TNUMBER || kind == LUA_TSTRING || kind == LUA_TFUNCTION || kind == LUA_TTABLE,
        3, "string/function/table expected");
    Matcher m(src, size, p, pattern_size);
    const bool anchored = *p == '^';
    if (anchored) ++p;
    luaL_Buffer b;
    luaL_buffinit(L, &b);
    int n = 0;
    while (n < most) {
        const char* e = m.match(src, p);
        if (m.failure() != pattern::Failure::none) return raise_failure(L, m);
        if (e != nullptr) {
            ++n;
            add_replacement(L, &b, m, src, e);
        }
        if (e != nullptr && e > src)
            src = e;
        else if (src < m.subject_end())
            luaL_addchar(&b, *src++);
        else
            break;
        if (anchored) break;
    }
    luaL_addlstring(&b, src, static_cast<std::size_t>(m.subject_end() - src));
    luaL_pushresult(&b);
    lua_pushinteger(L, n);
    return 2;
}

const luaL_Reg guarded_functions[] = {
    {"find", str_find}, {"match", str_match}, {"gmatch", str_gmatch},
    {"gsub", str_gsub}, {nullptr, nullptr},
};

}  // namespace

void install_guarded_patterns(lua_State* L) {
    lua_getglobal(L, LUA_STRLIBNAME);
    if (!lua_istable(L, -1)) luaL_error(L, "the string library is not open");
    for (const luaL_Reg* f = guarded_functions; f->name != nullptr; ++f) {
        lua_pushcfunction(L, f->func);
        lua_setfield(L, -2, f->name);
    }
    lua_pop(L, 1);
}
