// mkmask_diff, mkmask_diff_rgb, mkmask_diff_hsv, mkmask_diff_hsv_p,
// mkmask_diff_hsv_c, mkmask_diff_lab: one row loop, one grade rule, a
// conversion and a distance per colour space.
#include "mask/difference_mask.h"

#include <cmath>

#include "buffers/rows.h"
#include "mask/color_spaces.h"

namespace {

// Fixed-point distance of whole-number components (the conversions give
// exact whole doubles of at most a few 10^5, so the casts are exact).
struct FixedDistance {
    long long w[3];
    double operator()(const Triple& a, const Triple& b) const {
        const long long e1 = (static_cast<long long>(a.a - b.a) * w[0]) >> 12;
        const long long e2 = (static_cast<long long>(a.b - b.b) * w[1]) >> 12;
        const long long e3 = (static_cast<long long>(a.c - b.c) * w[2]) >> 12;
        const double s = static_cast<double>(e1) * e1 + static_cast<double>(e2) * e2 +
                         static_cast<double>(e3) * e3;
        return std::sqrt(s);
    }
};

// Real-weighted distance; with Circular the first component is a hue.
template <bool Circular>
struct WeightedDistance {
    double w[3];
    double operator()(const Triple& a, const Triple& b) const {
        double t = a.a - b.a;
        if constexpr (Circular) {
            t = std::fabs(t);
            if (t > 1800) t = 3600 - t;
        }
        const double e1 = w[0] * t, e2 = w[1] * (a.b - b.b), e3 = w[2] * (a.c - b.c);
        return std::sqrt(e1 * e1 + e2 * e2 + e3 * e3);
    }
};

template <class Convert, class Distance>
void difference_rows(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     const DifferenceMask& m, const Convert& convert, const Distance& distance) {
    const double gain = m.gain, threshold = m.threshold;
    for_each_triple(a, b, dst, area, [&](const PIXEL_YC& pa, const PIXEL_YC& pb, PIXEL_YC& out) {
        const double d = distance(convert(pa), convert(pb));
        put_grade(out, difference_grade(d, gain, threshold));
    });
}

FixedDistance fixed_weights(const double w[3]) {
    return {{trunc_to_int(w[0] * 4096), trunc_to_int(w[1] * 4096), trunc_to_int(w[2] * 4096)}};
}

}  // namespace

void difference_mask(const Frame& a, const Frame& b, const Frame& dst, const TripleArea& area,
                     const DifferenceMask& m) {
    const WeightedDistance<false> plain{{m.weight[0], m.weight[1], m.weight[2]}};
    const WeightedDistance<false> unit{{1, 1, 1}};
    switch (m.space) {
        case MaskSpace::Yc:
            return difference_rows(a, b, dst, area, m, mask_space::Yc{}, fixed_weights(m.weight));
        case MaskSpace::Rgb:
            return difference_rows(a, b, dst, area, m, mask_space::RgbTruncated{},
                                   fixed_weights(m.weight));
        case MaskSpace::Hsv:
            return difference_rows(a, b, dst, area, m, mask_space::Hsv{},
                                   WeightedDistance<true>{{m.weight[0], m.weight[1], m.weight[2]}});
        case MaskSpace::HsvP:
            return difference_rows(a, b, dst, area, m, mask_space::HsvP{m.weight[0], m.weight[1]},
                                   unit);
        case MaskSpace::HsvC:
            return difference_rows(a, b, dst, area, m, mask_space::HsvC{m.weight[0], m.weight[1]},
                                   unit);
        case MaskSpace::Lab:
            return difference_rows(a, b, dst, area, m, mask_space::Lab{}, plain);
    }
}
