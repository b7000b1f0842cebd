// The mkmask_p and mkmask_l families: twelve masks on one row loop,
// differing only in the colour space of the distance.
#include "mask/graded_mask.h"

#include "buffers/rows.h"
#include "color/convert.h"
#include "mask/color_spaces.h"

namespace {

Triple weigh(const Triple& w, const Triple& p) { return {w.a * p.a, w.b * p.b, w.c * p.c}; }

// Distance of converted pixel c: to the weighted segment wa-wb (Line), or
// to the key ka with weights w, the first component taken around the hue
// circle when Circular.
template <bool Line, bool Circular>
double graded_distance(const Triple& c, const Triple& ka, const Triple& wa, const Triple& wb,
                       const Triple& w) {
    if constexpr (Line) {
        return segment_distance(wa, wb, weigh(w, c));
    } else {
        double t = c.a - ka.a;
        if constexpr (Circular) {
            t = std::fabs(t);
            if (t > 1800) t = 3600 - t;
        }
        const double e1 = w.a * t, e2 = w.b * (c.b - ka.b), e3 = w.c * (c.c - ka.c);
        return std::sqrt(e1 * e1 + e2 * e2 + e3 * e3);
    }
}

template <bool Line, bool Circular, class Convert>
void graded_rows(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m,
                 const Convert& convert, const Triple& ka, const Triple& kb, const Triple& w) {
    const Triple wa = weigh(w, ka), wb = weigh(w, kb);  // weighted segment ends, once
    const double inner = m.inner, outer = m.outer;
    for_each_pair(src, dst, area, [&](const PIXEL_YC& in, PIXEL_YC& out) {
        const double d = graded_distance<Line, Circular>(convert(in), ka, wa, wb, w);
        put_grade(out, distance_grade(d, inner, outer));
    });
}

// Converts the keys with `key_of` and runs the loop for the mask's shape.
template <bool Circular, class Convert, class KeyFn>
void graded_space(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m,
                  const Convert& convert, KeyFn key_of, const Triple& w) {
    const Triple ka = key_of(m.key_a), kb = key_of(m.key_b);
    if (m.line)
        graded_rows<true, false>(src, dst, area, m, convert, ka, kb, w);
    else
        graded_rows<false, Circular>(src, dst, area, m, convert, ka, kb, w);
}

Triple as_triple(const int k[3]) { return {double(k[0]), double(k[1]), double(k[2])}; }

}  // namespace

void graded_mask(const Frame& src, const Frame& dst, const PairArea& area, const GradedMask& m) {
    const Triple w{m.weight[0], m.weight[1], m.weight[2]};
    const Triple unit{1, 1, 1};
    switch (m.space) {
        case MaskSpace::Yc:
            return graded_space<false>(src, dst, area, m, mask_space::Yc{}, as_triple, w);
        case MaskSpace::Rgb:
            return graded_space<false>(src, dst, area, m, mask_space::Rgb{}, as_triple, w);
        case MaskSpace::Hsv:
            return graded_space<true>(src, dst, area, m, mask_space::Hsv{}, as_triple, w);
        case MaskSpace::HsvP: {
            const mask_space::HsvP p{m.weight[1], m.weight[2]};
            auto key = [&p](const int k[3]) { return p.from_hsv(k[0], k[1], k[2]); };
            return graded_space<false>(src, dst, area, m, p, key, unit);
        }
        case MaskSpace::HsvC: {
            const mask_space::HsvC c{m.weight[1], m.weight[2]};
            auto key = [&c](const int k[3]) { return c.from_hsv(k[0], k[1], k[2]); };
            return graded_space<false>(src, dst, area, m, c, key, unit);
        }
        case MaskSpace::Lab: {
            auto key = [](const int k[3]) { return yc_to_lab(k[0], k[1], k[2]); };
            return graded_space<false>(src, dst, area, m, mask_space::Lab{}, key, w);
        }
    }
}
