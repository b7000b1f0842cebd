// What the host adapter remembers between callbacks: the output buffer of
// the last frame (read by the colour-information click) and whether that
// click's box is on screen.
#pragma once

#include "platform/aviutl.h"

namespace host {

struct AdapterState {
    PIXEL_YC* last_ycp_edit = nullptr;
    int last_max_w = 0;
    int last_max_h = 0;
    unsigned char color_box_open = 0;
};

AdapterState& adapter_state();

// Caption of the colour-information box; also how an open box is found.
constexpr const char* kColorBoxCaption = "色情報 - Quorvel";

// Dismisses an open colour-information box, if one is on screen.  Returns
// false when no such window exists.
bool close_color_box();

}  // namespace host
