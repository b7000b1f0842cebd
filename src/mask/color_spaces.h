// Per-pixel conversions of a stored YCbCr pixel into the colour spaces in
// which the graded and difference masks measure distances.  Each is a small
// functor, so a mask's row loop takes its space as a template parameter and
// the conversion is inlined into the loop.
#pragma once

#include "color/convert.h"
#include "platform/aviutl.h"

namespace mask_space {

// Y, Cb, Cr as stored.
struct Yc {
    Triple operator()(const PIXEL_YC& p) const { return {double(p.y), double(p.cb), double(p.cr)}; }
};

// R, G, B in double precision, neither truncated nor clamped.
struct Rgb {
    Triple operator()(const PIXEL_YC& p) const { return yc_to_rgb(p.y, p.cb, p.cr); }
};

// R, G, B each truncated toward zero (kept as exact whole doubles).
struct RgbTruncated {
    Triple operator()(const PIXEL_YC& p) const {
        const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
        return {double(trunc_to_int(c.a)), double(trunc_to_int(c.b)), double(trunc_to_int(c.c))};
    }
};

// H, S, V in double precision from unrounded RGB (rgb_to_hsv clamps RGB).
struct Hsv {
    Triple operator()(const PIXEL_YC& p) const {
        const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
        return rgb_to_hsv(c.a, c.b, c.c);
    }
};

// The HSV cylinder (P) and cone (C), with weights on the saturation radius
// (ws) and on V (wv).
template <Triple (*ToSolid)(double, double, double, double, double)>
struct HsvSolid {
    double ws = 1, wv = 1;
    Triple operator()(const PIXEL_YC& p) const {
        const Triple hsv = Hsv{}(p);
        return ToSolid(hsv.a, hsv.b, hsv.c, ws, wv);
    }
    Triple from_hsv(double h, double s, double v) const { return ToSolid(h, s, v, ws, wv); }
};

using HsvP = HsvSolid<hsv_to_hsv_p>;
using HsvC = HsvSolid<hsv_to_hsv_c>;

// CIE L*a*b*.
struct Lab {
    Triple operator()(const PIXEL_YC& p) const { return yc_to_lab(p.y, p.cb, p.cr); }
};

}  // namespace mask_space
