// rgb_to_hsv of convert.h, on the R, G, B of yc_to_rgb, in single-precision
// lanes with a known error: the fast form mkmask_hsv's lanes start from; the
// bounds below also hold for the H, S, V posterize_hsv forms from
// hsv_front (hsv_adjust_float_simd-inl.h); and guarded_steps, the loop of
// every guarded HSV kernel (include after hwy/highway.h in a file included
// once per target through hwy/foreach_target.h).
//
// R, G, B are formed exactly as whole numbers of thousandths:
//   1000 R = 1000 Y + 1402 Cr, 1000 G = 1000 Y - 344 Cb - 714 Cr,
//   1000 B = 1000 Y + 1772 Cb,
// in 32-bit lanes (no overflow for any 16-bit input), clamped to
// 0..4096000.  The maximum, the minimum, their difference (the range), the
// channel holding the maximum and the difference D of the other two are
// then exact integers below 2^23, so every decision of the double routine
// (flat or not, which channel is largest, the sign of the hue before it is
// wrapped) is taken on exact values; only H, S and V themselves are
// rounded:
//   H = 600 D / range + 0, 1200 or 2400 (+ 3600 if negative), in tenths
//   S = 4096 range / max,  V = max / 1000.
//
// The double routine computes the same real numbers from R, G, B that lie
// within 3e-11 of the exact thousandths (two roundings of values below
// 2^17), so it is within 1e-8 of them wherever the range is at least 0.1
// (its own roundings included).  The float lanes are within
//   H: 600 * 2u (product and quotient) + 2 half-ulps of 3600 (the two
//      additions)                             = 2.45e-4 + 7.2e-5 < 3.2e-4
//   S: one rounding of a quotient below 4096  <= 2.5e-4
//   V: 0.001f and one product, below 4096     <= 4.9e-4
// (u = 2^-24), and the bounds below add 1e-6 for the double side.  Pixels
// the float form cannot vouch for are flagged `risky`:
//   - a range below 0.1 (100 thousandths) that is not an exact grey the
//     double routine also sees as flat (Cb = Cr = 0, or all three channels
//     clamped to the same end): there its hue rests on its rounding;
//   - R largest and G equal to B (D = 0) where G and B are not both
//     clamped beyond the same end: the double hue is then +0 or a rounding
//     below it, which wraps to 3600.
// Exact greys give H = S = 0 and V exactly (flagged `exact`).  So does a
// channel clamped beyond an end, which the double routine also holds as
// exactly 0 or 4096: a minimum below 0 makes S = 4096 exactly (`exact_s`),
// a maximum above 4096 makes V = 4096 exactly (`exact_v`), and H is exact
// (`exact_h`) where R is largest and G and B are clamped beyond the same
// end (the double's B' - G' is then exactly 0), or all three are clamped
// (everything the double forms is a multiple of 60 / 4096, exactly; D is 0
// or the range, and 600 times a range of 4096000 is a float).  Saturated
// colours are common, and their H, S and V sit on the cuts of the
// quantisers.  (With G or B largest and the other two clamped alike the
// double forms (max + 120) - max or (max + 240) - max, which rounds where
// the sum crosses a power of two: not exact.)
#if defined(QUORVEL_COLOR_HSV_FLOAT_SIMD_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef QUORVEL_COLOR_HSV_FLOAT_SIMD_INL_H_
#undef QUORVEL_COLOR_HSV_FLOAT_SIMD_INL_H_
#else
#define QUORVEL_COLOR_HSV_FLOAT_SIMD_INL_H_
#endif

#include <hwy/highway.h>

#include "buffers/pixel_simd-inl.h"
#include "color/hsv_guard.h"  // the bounds, as kHueError, kSaturationError, kValueError

HWY_BEFORE_NAMESPACE();
namespace pixel_simd {
namespace HWY_NAMESPACE {

using FloatTag = hn::Rebind<float, IntTag>;
using FloatVec = hn::Vec<FloatTag>;
using FloatMask = hn::Mask<FloatTag>;

struct HsvFloat {
    FloatVec h, s, v;
    FloatMask exact, exact_h, exact_s, exact_v, risky;
};

// y, cb, cr: 32-bit lanes of stored components.
HWY_INLINE HsvFloat hsv_float(hn::Vec<IntTag> y, hn::Vec<IntTag> cb, hn::Vec<IntTag> cr) {
    const IntTag di;
    const FloatTag df;
    const auto y1000 = hn::Mul(y, hn::Set(di, 1000));
    const auto nr = hn::Add(y1000, hn::Mul(cr, hn::Set(di, 1402)));
    const auto ng =
        hn::Sub(hn::Sub(y1000, hn::Mul(cb, hn::Set(di, 344))), hn::Mul(cr, hn::Set(di, 714)));
    const auto nb = hn::Add(y1000, hn::Mul(cb, hn::Set(di, 1772)));
    const auto zero = hn::Zero(di), top = hn::Set(di, 4096000);
    const auto r = hn::Min(hn::Max(nr, zero), top);
    const auto g = hn::Min(hn::Max(ng, zero), top);
    const auto b = hn::Min(hn::Max(nb, zero), top);
    const auto max = hn::Max(r, hn::Max(g, b));
    const auto range = hn::Sub(max, hn::Min(r, hn::Min(g, b)));
    // A tie for the maximum goes to R, then G (the hue is the same either
    // way, up to rounding).
    const auto is_r = hn::Eq(r, max);
    const auto is_g = hn::AndNot(is_r, hn::Eq(g, max));
    const auto d = hn::IfThenElse(is_r, hn::Sub(g, b), hn::IfThenElse(is_g, hn::Sub(b, r), hn::Sub(r, g)));
    const auto base = hn::IfThenElse(
        hn::RebindMask(df, is_r), hn::Zero(df),
        hn::IfThenElse(hn::RebindMask(df, is_g), hn::Set(df, 1200.0f), hn::Set(df, 2400.0f)));

    const auto flat = hn::RebindMask(df, hn::Eq(range, zero));
    // Flat lanes divide by 1 instead of 0; their H and S are replaced.
    const auto safe_range = hn::ConvertTo(df, hn::Max(range, hn::Set(di, 1)));
    const auto maxf = hn::ConvertTo(df, max);
    auto h = hn::Add(hn::Div(hn::Mul(hn::ConvertTo(df, d), hn::Set(df, 600.0f)), safe_range), base);
    h = hn::IfThenElse(hn::Lt(h, hn::Zero(df)), hn::Add(h, hn::Set(df, 3600.0f)), h);
    const auto s = hn::Div(hn::Mul(safe_range, hn::Set(df, 4096.0f)),
                           hn::Max(maxf, hn::Set(df, 1.0f)));
    auto v = hn::Mul(maxf, hn::Set(df, 0.001f));

    // Exact greys: no chroma at all, or all three channels clamped alike.
    const auto grey = hn::RebindMask(df, hn::And(hn::Eq(cb, zero), hn::Eq(cr, zero)));
    const auto all_below = hn::RebindMask(df, hn::Lt(hn::Max(nr, hn::Max(ng, nb)), zero));
    const auto all_above = hn::RebindMask(df, hn::Gt(hn::Min(nr, hn::Min(ng, nb)), top));
    const auto exact = hn::Or(grey, hn::Or(all_below, all_above));
    // The range of an exact grey is 0 and its maximum a multiple of 1000.
    v = hn::IfThenElse(exact, hn::Round(v), v);
    const auto max_above = hn::RebindMask(df, hn::Gt(hn::Max(nr, hn::Max(ng, nb)), top));
    v = hn::IfThenElse(max_above, hn::Set(df, 4096.0f), v);
    // A minimum below 0 is exactly 0: S = 4096 range / range.
    const auto min_below = hn::RebindMask(df, hn::Lt(hn::Min(nr, hn::Min(ng, nb)), zero));
    const auto narrow = hn::RebindMask(df, hn::Lt(range, hn::Set(di, 100)));
    // The two channels other than the maximum both clamped beyond the same
    // end: D is exactly 0 for the double routine too, and H exactly 0, 1200
    // or 2400.
    const auto lo = [&](hn::Vec<IntTag> n) { return hn::Lt(n, zero); };
    const auto hi = [&](hn::Vec<IntTag> n) { return hn::Gt(n, top); };
    const auto alike = [&](hn::Vec<IntTag> m, hn::Vec<IntTag> n) {
        return hn::Or(hn::And(lo(m), lo(n)), hn::And(hi(m), hi(n)));
    };
    const auto others_alike =
        hn::IfThenElse(is_r, hn::VecFromMask(di, alike(ng, nb)),
                       hn::IfThenElse(is_g, hn::VecFromMask(di, alike(nb, nr)),
                                      hn::VecFromMask(di, alike(nr, ng))));
    const auto settled = hn::RebindMask(df, hn::MaskFromVec(others_alike));
    const auto wrap = hn::AndNot(settled, hn::RebindMask(df, hn::And(is_r, hn::Eq(g, b))));
    HsvFloat out;
    out.h = hn::IfThenZeroElse(flat, h);
    out.s = hn::IfThenZeroElse(flat, s);
    out.v = v;
    out.exact = exact;
    const auto clamped = [&](hn::Vec<IntTag> n) { return hn::Or(lo(n), hi(n)); };
    const auto all_clamped = hn::And(clamped(nr), hn::And(clamped(ng), clamped(nb)));
    const auto red_settled = hn::And(settled, hn::RebindMask(df, is_r));
    out.exact_h = hn::Or(hn::Or(exact, red_settled), hn::RebindMask(df, all_clamped));
    out.exact_s = hn::Or(exact, min_below);
    out.exact_v = hn::Or(exact, max_above);
    out.risky = hn::AndNot(exact, hn::Or(narrow, wrap));
    return out;
}

// Lanes(IntTag) pixels from p as three planes of 32-bit lanes.
HWY_INLINE void load_wide(const PIXEL_YC* p, hn::Vec<IntTag>& y, hn::Vec<IntTag>& cb,
                          hn::Vec<IntTag>& cr) {
    const IntTag di;
    const Int16Tag d16;
    hn::Vec<Int16Tag> y16, cb16, cr16;
    load_pixels(d16, p, y16, cb16, cr16);
    y = hn::PromoteTo(di, y16), cb = hn::PromoteTo(di, cb16), cr = hn::PromoteTo(di, cr16);
}

// hsv_float of the step of pixels from p.
HWY_INLINE HsvFloat hsv_float_at(const PIXEL_YC* p) {
    hn::Vec<IntTag> y, cb, cr;
    load_wide(p, y, cb, cr);
    return hsv_float(y, cb, cr);
}

// |x| lies within e of a whole number other than 0: where truncation
// toward zero of a value known to within e may go either way.
HWY_INLINE FloatMask near_cut(FloatVec x, FloatVec e) {
    const FloatTag df;
    const auto a = hn::Abs(x);
    return hn::And(hn::Ge(a, hn::Set(df, 0.5f)), hn::Le(hn::Abs(hn::Sub(a, hn::Round(a))), e));
}

// A step's results: the three components (to be stored with their low 16
// bits) and the lanes they cannot vouch for.
struct GuardedResult {
    hn::Vec<IntTag> y, cb, cr;
    FloatMask risky;
};

// Runs vector(i) on each whole step of Lanes(IntTag) pixels of a run of n
// and stores its results; the lanes it cannot vouch for, and the pixels
// left at the end, are gathered as they were, up to kRedoChunk at a time,
// and handed to redo(pixels, count), the exact double kernel, then put back.
//
// The pixels held back repeat in flat areas (graphics, test patterns,
// clipped colours), and redo's result depends on the pixel alone: a small
// table keyed by the input pixel (RedoMemo) hands a repeat the result of
// its first instead of computing it again.  A run whose first kTrialHeld
// held pixels repeat less than a quarter of the time (noise) stops looking.
constexpr int kRedoChunk = 256;
constexpr int kTrialHeld = 32;

class RedoMemo {
public:
    // The pixel's 48 bits and a mark that no empty slot has.
    static std::uint64_t key_of(const PIXEL_YC& p) {
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(p.y)) |
               static_cast<std::uint64_t>(static_cast<std::uint16_t>(p.cb)) << 16 |
               static_cast<std::uint64_t>(static_cast<std::uint16_t>(p.cr)) << 32 |
               std::uint64_t{1} << 48;
    }
    static int slot_of(std::uint64_t key) {
        return static_cast<int>((key * 0x9E3779B97F4A7C15ull) >> (64 - kBits));
    }
    // The slot of the key's entry, or -1.
    int find(std::uint64_t key) const {
        const int slot = slot_of(key);
        return key_[slot] == key ? slot : -1;
    }
    // The entry of `key`, its result to come from unique pixel `unique`.
    void enter(std::uint64_t key, int unique) {
        const int slot = slot_of(key);
        key_[slot] = key;
        unique_[slot] = unique;
    }
    int unique(int slot) const { return unique_[slot]; }
    const PIXEL_YC& result(int slot) const { return out_[slot]; }
    // After the redo: each entry of this batch takes its result.
    void settle(int slot, const PIXEL_YC& out) {
        out_[slot] = out;
        unique_[slot] = -1;
    }
    bool settled(int slot) const { return unique_[slot] < 0; }

private:
    static constexpr int kBits = 6;
    std::uint64_t key_[1 << kBits] = {};
    int unique_[1 << kBits];
    PIXEL_YC out_[1 << kBits];
};

// A batch of held pixels: redone, repeats taken from the memo or from the
// batch's first of their kind, all put back in place.
template <class Redo>
HWY_NOINLINE void redo_held(PIXEL_YC* p, const PIXEL_YC* held, const int* where, int count,
                            RedoMemo& memo, int& looked, int& found, const Redo& redo) {
    // Room to pad the batch to whole steps of the double kernel (at most
    // one 32-bit lane a byte of a vector): the pixels left over after its
    // last whole step would go through its scalar routine one by one.
    constexpr int kPad = HWY_MAX_BYTES / 4;
    PIXEL_YC unique[kRedoChunk + kPad];
    int from[kRedoChunk];  // per held pixel: its unique pixel, or -1 - its memo slot
    int n = 0;
    int entered[kRedoChunk];  // per unique pixel: its memo slot, or -1
    for (int k = 0; k < count; ++k) {
        if (looked >= kTrialHeld && 4 * found < looked) {
            entered[n] = -1;
            unique[n] = held[k];
            from[k] = n++;
            continue;
        }
        ++looked;
        const std::uint64_t key = RedoMemo::key_of(held[k]);
        const int slot = memo.find(key);
        if (slot >= 0) {
            ++found;
            from[k] = memo.settled(slot) ? -1 - slot : memo.unique(slot);
            continue;
        }
        memo.enter(key, n);
        entered[n] = RedoMemo::slot_of(key);
        unique[n] = held[k];
        from[k] = n++;
    }
    int padded = n;
    while (n > 0 && padded % kPad != 0) unique[padded++] = unique[n - 1];
    redo(unique, padded);
    for (int k = 0; k < count; ++k)
        p[where[k]] = from[k] >= 0 ? unique[from[k]] : memo.result(-1 - from[k]);
    // Entries still this batch's (a later pixel may have taken the slot)
    // take their results for the next batches.
    for (int u = 0; u < n; ++u)
        if (entered[u] >= 0 && !memo.settled(entered[u]) && memo.unique(entered[u]) == u)
            memo.settle(entered[u], unique[u]);
}

template <class Vector, class Redo>
HWY_INLINE void guarded_steps(PIXEL_YC* p, int n, const Vector& vector, const Redo& redo) {
    const FloatTag df;
    const Int16Tag d16;
    const int lanes = static_cast<int>(hn::Lanes(df));
    PIXEL_YC pending[kRedoChunk];
    int where[kRedoChunk];
    int count = 0;
    RedoMemo memo;
    int looked = 0, found = 0;
    const auto flush = [&] {
        redo_held(p, pending, where, count, memo, looked, found, redo);
        count = 0;
    };
    const auto hold = [&](int i) {
        pending[count] = p[i];
        where[count++] = i;
    };
    int i = 0;
    for (; i + lanes <= n; i += lanes) {
        // Room for a whole step, so that no flush comes between holding a
        // pixel and storing the step's results over it.
        if (count + lanes > kRedoChunk) flush();
        const GuardedResult r = vector(i);
        if (!hn::AllFalse(df, r.risky)) {
            // The set bits only, lowest first.
            std::uint8_t bits[(HWY_MAX_BYTES / 4 + 7) / 8] = {};
            hn::StoreMaskBits(df, r.risky, bits);
            for (int byte = 0; byte * 8 < lanes; ++byte)
                for (unsigned m = bits[byte]; m != 0; m &= m - 1)
                    hold(i + byte * 8 + static_cast<int>(hwy::Num0BitsBelowLS1Bit_Nonzero32(m)));
        }
        store_pixels(d16, low16(d16, r.y), low16(d16, r.cb), low16(d16, r.cr), p + i);
    }
    for (; i < n; ++i) {
        if (count == kRedoChunk) flush();
        hold(i);
    }
    if (count > 0) flush();
}

}  // namespace HWY_NAMESPACE
}  // namespace pixel_simd
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
