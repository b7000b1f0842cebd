// The editor forwards its main window's messages here.  With the check box
// "クリックで色情報の表示" on, a mouse press on the preview shows the clicked
// pixel of the last frame's output in several colour spaces.  The editor is
// never asked to redraw (the result is always FALSE).
#include <cstdint>

#include "color/color_info.h"
#include "host/adapter_state.h"
#include "host/filter_table.h"
#include "platform/aviutl.h"
#include "platform/desktop.h"

namespace {

void show_color_info(host::AdapterState& state, int x, int y) {
    // One box at a time: a box still open from an earlier click goes first.
    host::close_color_box();
    const PIXEL_YC pixel =
        state.last_ycp_edit[static_cast<std::ptrdiff_t>(y) * state.last_max_w + x];
    char text[kColorInfoSize];
    format_color_info(text, x, y, pixel);
    // The box runs its own message loop; a frame or click arriving meanwhile
    // finds the flag set and dismisses the box through its caption.
    state.color_box_open = 1;
    platform::message_box(nullptr, text, host::kColorBoxCaption, MB_TOPMOST);
    state.color_box_open = 0;
}

}  // namespace

BOOL window_proc(HWND, UINT message, WPARAM, LPARAM lparam, void*, FILTER* fp) {
    if (message != WM_FILTER_MAIN_MOUSE_DOWN) return FALSE;
    // Picture coordinates: x in the low 16 bits, y in the high 16, signed.
    const int x = static_cast<std::int16_t>(static_cast<std::uint16_t>(lparam & 0xFFFF));
    const int y = static_cast<std::int16_t>(static_cast<std::uint16_t>((lparam >> 16) & 0xFFFF));
    host::AdapterState& state = host::adapter_state();
    const bool enabled = fp != nullptr && fp->check != nullptr && fp->check[0] != 0;
    if (!enabled || state.last_ycp_edit == nullptr) return FALSE;
    if (x < 0 || x >= state.last_max_w || y < 0 || y >= state.last_max_h) return FALSE;
    show_color_info(state, x, y);
    return FALSE;
}
