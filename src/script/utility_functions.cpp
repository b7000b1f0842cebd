// tickcount() and msgbox(text, caption [, kind]).
#include <cstring>

#include "platform/desktop.h"
#include "platform/system.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// tickcount(): milliseconds since the system started, signed 32-bit.
int l_tickcount(lua_State* L) {
    lua_pushinteger(L, platform::tick_count());
    return 1;
}

// msgbox(text, caption, kind): kind "yesno" asks Yes/No, anything else shows
// OK.  Returns "yes", "no" or "ok".
int l_msgbox(lua_State* L) {
    const char* text = luaL_checkstring(L, 1);
    const char* caption = luaL_checkstring(L, 2);
    const char* kind = luaL_optstring(L, 3, "ok");
    const HostRecords records = fetch_host_records(L);
    const UINT style = std::strcmp(kind, "yesno") == 0 ? MB_YESNO : MB_OK;
    const int answer = platform::message_box(records.fp->hwnd, text, caption, style);
    lua_pushstring(L, answer == IDYES ? "yes" : answer == IDNO ? "no" : "ok");
    return 1;
}

}  // namespace

const LibraryFunction utility_functions[] = {
    {"tickcount", l_tickcount, any_count},
    {"msgbox", l_msgbox, any_count},
    {},
};
