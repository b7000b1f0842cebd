// The runs of a row: the vector loop skips whole vectors of cells that are
// all of the kind not looked for, and takes the first one that is from the
// vector that holds it.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/cell_runs.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include "toolkit/cell_runs.h"

HWY_BEFORE_NAMESPACE();
namespace cell_runs_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

using toolkit::foreground_cells;

template <foreground_cells Rule, class V>
HWY_INLINE auto foreground(V v) {
    const hn::DFromV<V> d;
    if constexpr (Rule == foreground_cells::positive)
        return hn::Gt(v, hn::Zero(d));
    else if constexpr (Rule == foreground_cells::nonzero)
        return hn::Ne(v, hn::Zero(d));
    else
        return hn::Eq(v, hn::Zero(d));
}

// The first x in [x, w) whose cell is foreground (Wanted) or is not; w when
// none.
template <foreground_cells Rule, bool Wanted>
HWY_INLINE std::size_t next_cell(const short* row, std::size_t x, std::size_t w) {
    const hn::ScalableTag<std::int16_t> d;
    const std::size_t lanes = hn::Lanes(d);
    for (; x + lanes <= w; x += lanes) {
        auto hit = foreground<Rule>(hn::LoadU(d, row + x));
        if constexpr (!Wanted) hit = hn::Not(hit);
        if (!hn::AllFalse(d, hit)) return x + hn::FindKnownFirstTrue(d, hit);
    }
    const hn::CappedTag<std::int16_t, 1> d1;
    for (; x < w; ++x)
        if (!hn::AllFalse(d1, foreground<Rule>(hn::LoadU(d1, row + x))) == Wanted) return x;
    return w;
}

template <foreground_cells Rule>
HWY_INLINE std::size_t runs_of(const short* row, std::size_t w, std::uint32_t* bounds) {
    std::size_t count = 0;
    for (std::size_t x = next_cell<Rule, true>(row, 0, w); x < w;
         x = next_cell<Rule, true>(row, x, w)) {
        const std::size_t end = next_cell<Rule, false>(row, x + 1, w);
        bounds[2 * count] = static_cast<std::uint32_t>(x);
        bounds[2 * count + 1] = static_cast<std::uint32_t>(end);
        ++count;
        x = end;
    }
    return count;
}

static std::size_t cell_runs(const short* row, std::size_t w, foreground_cells rule,
                             std::uint32_t* bounds) {
    switch (rule) {
        case foreground_cells::positive:
            return runs_of<foreground_cells::positive>(row, w, bounds);
        case foreground_cells::nonzero:
            return runs_of<foreground_cells::nonzero>(row, w, bounds);
        default:
            return runs_of<foreground_cells::zero>(row, w, bounds);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace cell_runs_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace cell_runs_simd {
HWY_EXPORT(cell_runs);
}  // namespace cell_runs_simd

namespace toolkit {

std::size_t cell_runs(const short* row, std::size_t w, foreground_cells rule,
                      std::uint32_t* bounds) {
    return HWY_DYNAMIC_DISPATCH(cell_runs_simd::cell_runs)(row, w, rule, bounds);
}

}  // namespace toolkit
#endif  // HWY_ONCE
