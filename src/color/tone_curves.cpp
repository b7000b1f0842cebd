// gamma and sigmoid: per-component curves on the unit scale.
#include <cmath>

#include "color/pixel_loop.h"
#include "color/tone.h"

namespace {

// Stores a curve value unless it is NaN or infinite: those have no integer
// to truncate to, and the component then keeps what it had.
inline void store_curve(std::int16_t& component, double value) {
    if (std::isfinite(value)) component = to_component(value);
}

}  // namespace

void gamma_curve(const Frame& frame, const Region& region, const double gain[3]) {
    const double ey = 1 / gain[0], ecb = 1 / gain[1], ecr = 1 / gain[2];
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        store_curve(p.y, std::pow(p.y * (1.0 / 4096), ey) * 4096);
        store_curve(p.cb, std::pow((p.cb + 2048) * (1.0 / 4096), ecb) * 4096 - 2048);
        store_curve(p.cr, std::pow((p.cr + 2048) * (1.0 / 4096), ecr) * 4096 - 2048);
    });
}

void sigmoid_curve(const Frame& frame, const Region& region, const double gain[3],
                   const double centre[3]) {
    const double ay = gain[0], acb = gain[1], acr = gain[2];
    const double cy = centre[0], ccb = centre[1], ccr = centre[2];
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        store_curve(p.y, 4096 / (std::exp(-((p.y * (1.0 / 4096) - cy) * ay)) + 1));
        store_curve(p.cb, 4096 / (std::exp(-((p.cb * (1.0 / 4096) - ccb) * acb)) + 1) - 2048);
        store_curve(p.cr, 4096 / (std::exp(-((p.cr * (1.0 / 4096) - ccr) * acr)) + 1) - 2048);
    });
}
