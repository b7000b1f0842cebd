// The 12-bit blend of compositing: (s * a + d * (4096 - a)) >> 12 with an
// arithmetic (flooring) shift.  Opacities come from scripts unclamped, so
// the products are formed in 64 bits: no signed overflow for any opacity,
// and the same result as 32-bit arithmetic wherever that did not overflow.
//
// The per-pixel rules of the blends and copies below are what the row
// loops of alpha.cpp and copy.cpp apply to the pixels their vector code
// does not cover, and the reference that code is held to.
#pragma once

#include <cstdint>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "platform/aviutl.h"

inline long long blend12(int s, int d, int a) {
    return (static_cast<long long>(s) * a + static_cast<long long>(d) * (4096LL - a)) >> 12;
}

// A blend result kept to the low 16 bits, as stored components are.
inline std::int16_t blend12_low16(int s, int d, int a) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(blend12(s, d, a) & 0xffff));
}

// A blend result saturated to the 16-bit range.
inline long long clamp16(long long v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

// 12-bit fixed point of a script opacity (1.0 = 4096), truncated, unclamped.
int opacity12(double opacity);

// All three components blended with opacity a, low 16 bits kept.
inline void blend_pixel(const PIXEL_YC& s, PIXEL_YC& d, int a) {
    d.y = blend12_low16(s.y, d.y, a);
    d.cb = blend12_low16(s.cb, d.cb, a);
    d.cr = blend12_low16(s.cr, d.cr, a);
}

// One opacity per component, results saturated (alpha_yc).
inline void blend_pixel_saturated(const PIXEL_YC& s, PIXEL_YC& d, int ay, int acb, int acr) {
    d.y = static_cast<std::int16_t>(clamp16(blend12(s.y, d.y, ay)));
    d.cb = static_cast<std::int16_t>(clamp16(blend12(s.cb, d.cb, acb)));
    d.cr = static_cast<std::int16_t>(clamp16(blend12(s.cr, d.cr, acr)));
}

// Blended in RGB (truncated yc_to_rgb), each channel saturated, converted
// back by rgb_to_yc, truncated and stored (alpha_rgb).
inline void blend_pixel_rgb(const PIXEL_YC& s, PIXEL_YC& d, int ar, int ag, int ab) {
    const Triple sf = yc_to_rgb(s.y, s.cb, s.cr);
    const Triple df = yc_to_rgb(d.y, d.cb, d.cr);
    const double r =
        static_cast<double>(clamp16(blend12(trunc_to_int(sf.a), trunc_to_int(df.a), ar)));
    const double g =
        static_cast<double>(clamp16(blend12(trunc_to_int(sf.b), trunc_to_int(df.b), ag)));
    const double b =
        static_cast<double>(clamp16(blend12(trunc_to_int(sf.c), trunc_to_int(df.c), ab)));
    const Triple yc = rgb_to_yc(r, g, b);
    d.y = to_component(yc.a);
    d.cb = to_component(yc.b);
    d.cr = to_component(yc.c);
}
