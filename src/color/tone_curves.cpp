// gamma and sigmoid: per-component curves on the unit scale.
//
// Each output component depends only on the same input component, a 16-bit
// value, so for a large region the curve is evaluated once for every
// possible value (65536 per component) and the pixels are mapped through the
// table; a small region evaluates the curve per pixel.  Both give the same
// numbers.  The last table of each curve is kept with its parameters (bit
// for bit), so a script that applies the same curve on every frame builds it
// once; any region, small ones too, then uses it.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/rows.h"
#include "color/tone.h"

namespace {

// The component's new value; a curve that is NaN or infinite has no integer
// to truncate to, and the component then keeps its value.
inline std::int16_t curve_result(std::int16_t component, double value) {
    return std::isfinite(value) ? to_component(value) : component;
}

constexpr int kValues = 65536;

// Regions at least this large use tables: building them costs about as much
// as evaluating the curves on this many pixels.
constexpr long long kTableThreshold = kValues;

// The three component tables of one curve, indexed by the component's
// bits as unsigned, with the parameters they were built for.
struct CurveTables {
    double parameters[6];
    std::vector<std::int16_t> values = std::vector<std::int16_t>(3 * kValues);
};

// The last tables of one kind of curve.  Held through shared pointers: a
// call that replaces them leaves those another call is still reading.
class CurveCache {
public:
    std::shared_ptr<const CurveTables> find(const double (&parameters)[6]) {
        std::lock_guard<std::mutex> hold(m_);
        if (last_ && std::memcmp(last_->parameters, parameters, sizeof parameters) == 0)
            return last_;
        return nullptr;
    }
    void keep(std::shared_ptr<const CurveTables> tables) {
        std::lock_guard<std::mutex> hold(m_);
        last_ = std::move(tables);
    }

private:
    std::mutex m_;
    std::shared_ptr<const CurveTables> last_;
};

template <class CurveY, class CurveCb, class CurveCr>
void apply_curves(const Frame& frame, const Region& region, CurveCache& cache,
                  const double (&parameters)[6], CurveY fy, CurveCb fcb, CurveCr fcr) {
    if (region.empty()) return;
    std::shared_ptr<const CurveTables> tables = cache.find(parameters);
    if (!tables) {
        if (static_cast<long long>(region.w) * region.h < kTableThreshold) {
            for_each_pixel(frame, region, [&](PIXEL_YC& p) {
                p.y = fy(p.y);
                p.cb = fcb(p.cb);
                p.cr = fcr(p.cr);
            });
            return;
        }
        auto built = std::make_shared<CurveTables>();  // may throw bad_alloc
        std::memcpy(built->parameters, parameters, sizeof parameters);
        std::int16_t* ty = built->values.data();
        std::int16_t* tcb = ty + kValues;
        std::int16_t* tcr = tcb + kValues;
        constexpr int kChunk = 1024;
        const bool complete = parallel_rows(kValues / kChunk, [&](int chunk) {
            for (int u = chunk * kChunk; u < (chunk + 1) * kChunk; ++u) {
                const std::int16_t v = static_cast<std::int16_t>(static_cast<std::uint16_t>(u));
                ty[u] = fy(v);
                tcb[u] = fcb(v);
                tcr[u] = fcr(v);
            }
        });
        // Stopped by the frame's deadline: a partial table must never be
        // kept for later calls.
        if (!complete) return;
        cache.keep(built);
        tables = std::move(built);
    }
    const std::int16_t* ty = tables->values.data();
    const std::int16_t* tcb = ty + kValues;
    const std::int16_t* tcr = tcb + kValues;
    for_each_pixel(frame, region, [=](PIXEL_YC& p) {
        p.y = ty[static_cast<std::uint16_t>(p.y)];
        p.cb = tcb[static_cast<std::uint16_t>(p.cb)];
        p.cr = tcr[static_cast<std::uint16_t>(p.cr)];
    });
}

CurveCache gamma_cache, sigmoid_cache;

}  // namespace

void gamma_curve(const Frame& frame, const Region& region, const double gain[3]) {
    const double ey = 1 / gain[0], ecb = 1 / gain[1], ecr = 1 / gain[2];
    const double parameters[6] = {ey, ecb, ecr, 0, 0, 0};
    apply_curves(
        frame, region, gamma_cache, parameters,
        [ey](std::int16_t y) { return curve_result(y, std::pow(y * (1.0 / 4096), ey) * 4096); },
        [ecb](std::int16_t cb) {
            return curve_result(cb, std::pow((cb + 2048) * (1.0 / 4096), ecb) * 4096 - 2048);
        },
        [ecr](std::int16_t cr) {
            return curve_result(cr, std::pow((cr + 2048) * (1.0 / 4096), ecr) * 4096 - 2048);
        });
}

void sigmoid_curve(const Frame& frame, const Region& region, const double gain[3],
                   const double centre[3]) {
    const double ay = gain[0], acb = gain[1], acr = gain[2];
    const double cy = centre[0], ccb = centre[1], ccr = centre[2];
    const double parameters[6] = {ay, acb, acr, cy, ccb, ccr};
    apply_curves(
        frame, region, sigmoid_cache, parameters,
        [=](std::int16_t y) {
            return curve_result(y, 4096 / (std::exp(-((y * (1.0 / 4096) - cy) * ay)) + 1));
        },
        [=](std::int16_t cb) {
            return curve_result(cb,
                                4096 / (std::exp(-((cb * (1.0 / 4096) - ccb) * acb)) + 1) - 2048);
        },
        [=](std::int16_t cr) {
            return curve_result(cr,
                                4096 / (std::exp(-((cr * (1.0 / 4096) - ccr) * acr)) + 1) - 2048);
        });
}
