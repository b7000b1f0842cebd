// The per-pixel rule of the colour-key masks: the components of a pixel in
// the key's colour space, graded against the key box.  The row loops of
// key_mask.cpp run it on the pixels their vector code does not cover, and
// it is the reference that code is held to.
#pragma once

#include "color/convert.h"
#include "mask/grade.h"
#include "mask/key_box.h"

enum class KeySpace {
    Yc,      // Y, Cb, Cr as stored
    Rgb,     // R, G, B by yc_to_rgb, each truncated (no clamping)
    Hsv,     // H, S, V by rgb_to_hsv on unrounded RGB, then truncated
    HsvInt,  // H, S, V by rgb_to_hsv_int on truncated RGB
};

// A key box as the row loop uses it.  A hue range that passes through 0
// (lower bound above the upper, both already in 0..3599) becomes one plain
// interval around 0: hues at or above `wrap_from` (the lower bound) are
// moved down by 3600, and the lower bound with them.
struct KeyRule {
    KeyBox box;
    bool shift_hue = false;
    int wrap_from = 0;
};

inline KeyRule key_rule(const KeyBox& box, bool hue_wraps) {
    KeyRule rule;
    rule.box = box;
    rule.wrap_from = box.lower[0];
    rule.shift_hue = hue_wraps && box.lower[0] > box.upper[0];
    if (rule.shift_hue) rule.box.lower[0] -= 3600;
    return rule;
}

template <KeySpace S>
inline IntTriple key_components(const PIXEL_YC& p) {
    if constexpr (S == KeySpace::Yc) {
        return {p.y, p.cb, p.cr};
    } else {
        const Triple rgb = yc_to_rgb(p.y, p.cb, p.cr);
        if constexpr (S == KeySpace::Hsv) {
            const Triple hsv = rgb_to_hsv(rgb.a, rgb.b, rgb.c);
            return {trunc_to_int(hsv.a), trunc_to_int(hsv.b), trunc_to_int(hsv.c)};
        } else {
            const IntTriple t{trunc_to_int(rgb.a), trunc_to_int(rgb.b), trunc_to_int(rgb.c)};
            if constexpr (S == KeySpace::Rgb) return t;
            return rgb_to_hsv_int(t.a, t.b, t.c);
        }
    }
}

template <KeySpace S>
inline void key_pixel(const PIXEL_YC& in, PIXEL_YC& out, const KeyRule& rule) {
    IntTriple c = key_components<S>(in);
    if (rule.shift_hue && c.a >= rule.wrap_from) c.a -= 3600;
    put_grade(out, key_box_grade(c.a, c.b, c.c, rule.box));
}
