// Pixels for the L*a*b* exactness tests: random ones (nominal with a
// margin) and ones whose cube-root argument lies next to the knee.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "buffers/frame.h"
#include "color/convert.h"

struct LabLcg {
    std::uint32_t s;
    int next(int lo, int hi) {
        s = s * 1664525u + 1013904223u;
        return lo + static_cast<int>((s >> 8) % static_cast<unsigned>(hi - lo + 1));
    }
};

inline PIXEL_YC lab_pixel(int y, int cb, int cr) {
    return {static_cast<std::int16_t>(y), static_cast<std::int16_t>(cb),
            static_cast<std::int16_t>(cr)};
}

inline PIXEL_YC random_lab_pixel(LabLcg& rng) {
    return lab_pixel(rng.next(-200, 4300), rng.next(-2200, 2200), rng.next(-2200, 2200));
}

// Pixels whose X, Y or Z argument of the cube root (yc_to_lab's) lies within
// `within` of the knee 0.008856: for each Cb, Cr of the nominal range
// (every `stride`-th), the Y that puts it nearest (u is linear in Y).
inline std::vector<PIXEL_YC> knee_pixels(double within, int stride) {
    std::vector<PIXEL_YC> out;
    for (int cb = -2048; cb <= 2048; cb += stride)
        for (int cr = -2048; cr <= 2048; cr += stride)
            for (int channel = 0; channel < 3; ++channel) {
                const auto u = [&](int y) {
                    const Triple rgb = yc_to_rgb(y, cb, cr);
                    const Triple xyz = rgb_to_xyz(rgb.a, rgb.b, rgb.c);
                    const double v[3] = {xyz.a * (1.0 / 4096) / 0.95045, xyz.b * (1.0 / 4096),
                                         xyz.c * (1.0 / 4096) / 1.08892};
                    return v[channel];
                };
                const double slope = u(1) - u(0);
                const int y = static_cast<int>(std::nearbyint((0.008856 - u(0)) / slope));
                if (y >= -32768 && y <= 32767 && std::fabs(u(y) - 0.008856) < within)
                    out.push_back(lab_pixel(y, cb, cr));
            }
    return out;
}
