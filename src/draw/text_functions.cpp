// font and text: reading the arguments; the work is in draw/text.cpp.
#include "draw/text.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// font(face, height, bold, italic, underline, Y, Cb, Cr)
// font(face, height, bold, italic, underline, edge_width, Y, Cb, Cr, eY, eCb, eCr)
int l_font(lua_State* L) {
    const int n = check_arg_count(L);
    FontArgs args;
    args.face = luaL_checklstring(L, 1, &args.face_length);
    args.height = check_int(L, 2);
    args.bold = check_int(L, 3);
    args.italic = check_int(L, 4);
    args.underline = check_int(L, 5);
    args.has_edge = n == 12;
    int next = 6;
    if (args.has_edge) args.edge_width = check_int(L, next++);
    check_ints(L, next, 3, args.text_color);
    if (args.has_edge) check_ints(L, next + 3, 3, args.edge_color);
    guarded(L, [&] { set_font(font_state(), args); });
    return 0;
}

// text(buf, x, y, align, str)
int l_text(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const int buf = check_int(L, 1);
    const int x = check_int(L, 2);
    const int y = check_int(L, 3);
    const int align = check_int(L, 4);
    std::size_t length = 0;
    const char* str = luaL_checklstring(L, 5, &length);
    if (static_cast<unsigned>(align) > 2) return 0;
    const Frame frame = require_frame(L, r, buf);
    guarded(L, [&] { draw_text(frame, font_state(), x, y, align, {str, length}); });
    return 0;
}

}  // namespace

const LibraryFunction text_functions[] = {
    {"font", l_font, {8, 12}},
    {"text", l_text, {5}},
    {},
};
