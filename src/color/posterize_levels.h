// What the single-precision posterize_hsv rows take from a call.
#pragma once

#include <cstdint>

#include "color/tone_pixel.h"

// The colours of posterize_hsv by level: entry (ih * n[1] + is) * n[2] + iv
// is the pixel of levels ih, is, iv (level i of a component stands for
// min(i * step, top)), packed as y | cb << 16 and cr.
struct HsvLevels {
    Posterize q;
    int n[3];
    const std::int32_t* y_cb;
    const std::int32_t* cr;
    float cut[3];    // the float H, S, V plus half a step, within this of the double's
    float inv[3];    // 1 / step, rounded
    float cut_q[3];  // (H, S, V plus half a step) * inv within this of the double's over the step
};
