// tickcount() and msgbox(text, caption [, kind]).
#include <cstring>

#include "platform/desktop.h"
#include "platform/system.h"
#include "script/binding.h"
#include "script/library.h"
#include "script/message_cut.h"

namespace {

// tickcount(): milliseconds since the system started, signed 32-bit.
int l_tickcount(lua_State* L) {
    lua_pushinteger(L, platform::tick_count());
    return 1;
}

// msgbox(text, caption, kind): kind "yesno" asks Yes/No, anything else shows
// OK.  Returns "yes", "no" or "ok".
int l_msgbox(lua_State* L) {
    std::size_t text_size = 0, caption_size = 0;
    const char* text = luaL_checklstring(L, 1, &text_size);
    const char* caption = luaL_checklstring(L, 2, &caption_size);
    const char* kind = luaL_optstring(L, 3, "ok");
    const HostRecords records = fetch_host_records(L);
    // A box shows at most kMessageLimit bytes of either text.
    text = push_cut_message(L, text, text_size);
    caption = push_cut_message(L, caption, caption_size);
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
