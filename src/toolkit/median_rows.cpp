// The median filter's row loops, compiled once per instruction set and
// chosen at run time (Highway).  Keys are doubles (median_rows.h): the
// vector minimum and maximum order them exactly, and a pixel and its key
// turn into each other with a byte shuffle and an exclusive or.
#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "toolkit/median_rows.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "toolkit/median_rows.h"

HWY_BEFORE_NAMESPACE();
namespace median_rows_simd {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

// A comparator network on numbered wires: step s puts the lesser of wires
// a[s] and b[s] on a[s] and the greater on b[s].
struct network {
    std::uint8_t a[128] = {};
    std::uint8_t b[128] = {};
    int count = 0;
};

struct wire_list {
    std::uint8_t id[32] = {};
    int n = 0;
    constexpr void push(std::uint8_t w) { id[n++] = w; }
};

// Batcher's odd-even merge of two sorted wire lists (any lengths): merge
// the even-indexed and the odd-indexed elements separately, then one row of
// comparators puts each odd result beside its even neighbour.
constexpr wire_list merge(const wire_list& x, const wire_list& y, network& net) {
    if (x.n == 0) return y;
    if (y.n == 0) return x;
    if (x.n == 1 && y.n == 1) {
        net.a[net.count] = x.id[0];
        net.b[net.count] = y.id[0];
        ++net.count;
        return wire_list{{x.id[0], y.id[0]}, 2};
    }
    wire_list xe, xo, ye, yo;
    for (int i = 0; i < x.n; ++i) (i % 2 == 0 ? xe : xo).push(x.id[i]);
    for (int i = 0; i < y.n; ++i) (i % 2 == 0 ? ye : yo).push(y.id[i]);
    const wire_list c = merge(xe, ye, net);
    const wire_list d = merge(xo, yo, net);
    wire_list out;
    out.push(c.id[0]);
    int i = 0;
    for (; i < d.n && i + 1 < c.n; ++i) {
        net.a[net.count] = d.id[i];
        net.b[net.count] = c.id[i + 1];
        ++net.count;
        out.push(d.id[i]);
        out.push(c.id[i + 1]);
    }
    for (int k = i; k < d.n; ++k) out.push(d.id[k]);
    for (int k = i + 1; k < c.n; ++k) out.push(c.id[k]);
    return out;
}

constexpr wire_list sort_wires(const wire_list& x, network& net) {
    if (x.n <= 1) return x;
    wire_list lo, hi;
    for (int i = 0; i < x.n; ++i) (i < x.n / 2 ? lo : hi).push(x.id[i]);
    return merge(sort_wires(lo, net), sort_wires(hi, net), net);
}

// A network and the wire that carries its wanted output(s).
struct built {
    network net;
    wire_list order;
};

// Sorting five wires 0..4 (nine comparators).
constexpr built build_sort5() {
    built s;
    s.order = sort_wires(wire_list{{0, 1, 2, 3, 4}, 5}, s.net);
    return s;
}

// Two sorted columns of five (wires 0..4 and 5..9) merged into one sorted
// list of ten.
constexpr built build_merge_columns() {
    built s;
    s.order = merge(wire_list{{0, 1, 2, 3, 4}, 5}, wire_list{{5, 6, 7, 8, 9}, 5}, s.net);
    return s;
}

// Two sorted lists of ten (wires 0..9 and 10..19) merged; of the order
// only ranks 7..12 are used, and the comparators that cannot affect them
// are left to the compiler to drop.
constexpr built build_merge_pairs() {
    built s;
    wire_list a, b;
    for (std::uint8_t w = 0; w < 10; ++w) a.push(w), b.push(static_cast<std::uint8_t>(10 + w));
    s.order = merge(a, b, s.net);
    return s;
}

constexpr built kSort5 = build_sort5();
constexpr built kMergeColumns = build_merge_columns();
constexpr built kMergePairs = build_merge_pairs();

template <const built& B, class V, std::size_t... S>
HWY_INLINE void run_network(V* w, std::index_sequence<S...>) {
    (
        [&] {
            const V lo = hn::Min(w[B.net.a[S]], w[B.net.b[S]]);
            const V hi = hn::Max(w[B.net.a[S]], w[B.net.b[S]]);
            w[B.net.a[S]] = lo;
            w[B.net.b[S]] = hi;
        }(),
        ...);
}

template <const built& B, class V>
HWY_INLINE void run_network(V* w) {
    run_network<B>(w, std::make_index_sequence<static_cast<std::size_t>(B.net.count)>{});
}

template <class V>
HWY_INLINE V median_of_3(V a, V b, V c) {
    return hn::Max(hn::Min(a, b), hn::Min(hn::Max(a, b), c));
}

// Outputs per chunk: the sorted columns of a chunk stay in the first-level
// cache.
constexpr std::size_t kChunk = 128;

// The loops below take a tag D: full vectors, then one lane for the
// columns and outputs left over.
using FullTag = hn::ScalableTag<double>;
using OneTag = hn::CappedTag<double, 1>;

// Runs step(tag, j) on j = 0, lanes, ... while whole vectors fit in n,
// then on each j left.
template <class Step>
HWY_INLINE void each_column(std::size_t n, const Step& step) {
    const FullTag d;
    const std::size_t lanes = hn::Lanes(d);
    std::size_t j = 0;
    for (; j + lanes <= n; j += lanes) step(d, j);
    for (; j < n; ++j) step(OneTag(), j);
}

// Sorted columns of a 3-row window: lo[j] <= mid[j] <= hi[j].
template <class D>
HWY_INLINE void sort_column3(D d, const double* const* r, std::size_t j, double* lo, double* mid,
                             double* hi) {
    const auto a = hn::LoadU(d, r[0] + j), b = hn::LoadU(d, r[1] + j), c = hn::LoadU(d, r[2] + j);
    const auto ab_lo = hn::Min(a, b), ab_hi = hn::Max(a, b);
    const auto top = hn::Max(ab_hi, c), m = hn::Min(ab_hi, c);
    hn::StoreU(hn::Min(ab_lo, m), d, lo + j);
    hn::StoreU(hn::Max(ab_lo, m), d, mid + j);
    hn::StoreU(top, d, hi + j);
}

// The median of nine from three sorted columns: it is the median of the
// greatest of the lows, the median of the middles and the least of the
// highs.
template <class D>
HWY_INLINE void median_from_columns3(D d, const double* lo, const double* mid, const double* hi,
                                     std::size_t i, double* out) {
    const auto low =
        hn::Max(hn::Max(hn::LoadU(d, lo + i), hn::LoadU(d, lo + i + 1)), hn::LoadU(d, lo + i + 2));
    const auto middle =
        median_of_3(hn::LoadU(d, mid + i), hn::LoadU(d, mid + i + 1), hn::LoadU(d, mid + i + 2));
    const auto high =
        hn::Min(hn::Min(hn::LoadU(d, hi + i), hn::LoadU(d, hi + i + 1)), hn::LoadU(d, hi + i + 2));
    hn::StoreU(median_of_3(low, middle, high), d, out + i);
}

// The sorted columns of a 5-row window, the even columns and the odd ones
// apart: even[k][q] is the k-th smallest of column 2q, odd[k][q] of 2q + 1.
template <class D>
HWY_INLINE void sort_columns5(D d, const double* const* r, std::size_t q, double* const* even,
                              double* const* odd) {
    hn::Vec<D> e[5], o[5];
    for (int k = 0; k < 5; ++k) hn::LoadInterleaved2(d, r[k] + 2 * q, e[k], o[k]);
    run_network<kSort5>(e);
    run_network<kSort5>(o);
    for (int k = 0; k < 5; ++k) {
        hn::StoreU(e[kSort5.order.id[k]], d, even[k] + q);
        hn::StoreU(o[kSort5.order.id[k]], d, odd[k] + q);
    }
}

// Columns 2q + 1 and 2q + 2 merged: pairs[k][q] is their k-th smallest of
// ten.
template <class D>
HWY_INLINE void merge_columns5(D d, double* const* even, double* const* odd, std::size_t q,
                               double* const* pairs) {
    hn::Vec<D> w[10];
    for (int k = 0; k < 5; ++k) {
        w[k] = hn::LoadU(d, odd[k] + q);
        w[5 + k] = hn::LoadU(d, even[k] + q + 1);
    }
    run_network<kMergeColumns>(w);
    for (int k = 0; k < 10; ++k) hn::StoreU(w[kMergeColumns.order.id[k]], d, pairs[k] + q);
}

// The 13th smallest of a sorted list q and a sorted column c is the least
// over t = 0..5 of the greater of q[12 - t] and c[t - 1] (taking t from the
// column and 13 - t from the list; t = 0 takes none from the column).
template <class V, class Column>
HWY_INLINE V thirteenth(const V* w, const Column& c) {
    V m = w[kMergePairs.order.id[12]];
    for (int t = 1; t <= 5; ++t) m = hn::Min(m, hn::Max(w[kMergePairs.order.id[12 - t]], c(t - 1)));
    return m;
}

// Outputs 2p and 2p + 1: their windows share columns 2p + 1 .. 2p + 4, the
// merged pairs at p and p + 1, whose ranks 7..12 (of twenty) are all the
// median can be with one more column beside them: column 2p for the
// first output, 2p + 5 for the second.
template <class D>
HWY_INLINE void median_pair5(D d, double* const* even, double* const* odd, double* const* pairs,
                             std::size_t p, double* out) {
    hn::Vec<D> w[20];
    for (int k = 0; k < 10; ++k) {
        w[k] = hn::LoadU(d, pairs[k] + p);
        w[10 + k] = hn::LoadU(d, pairs[k] + p + 1);
    }
    run_network<kMergePairs>(w);
    const auto first = thirteenth(w, [&](int k) { return hn::LoadU(d, even[k] + p); });
    const auto second = thirteenth(w, [&](int k) { return hn::LoadU(d, odd[k] + p + 2); });
    hn::StoreInterleaved2(first, second, d, out + 2 * p);
}

// The key of a pixel, byte by byte (little-endian): B, G and R with the top
// bit of each flipped, then the exponent bytes 0x30 0x43 of 2^52.
constexpr std::uint64_t kKeyFlip = 0x4330800080008000ull;

// Where the bytes of a key come from in a pair of pixels (to_keys), and
// the other way (from_keys); 0x80 gives a zero byte.
constexpr std::uint8_t kPlace[16] = {4, 5, 2, 3, 0, 1, 0x80, 0x80, 10, 11, 8, 9, 6, 7, 0x80, 0x80};
constexpr std::uint8_t kTake[16] = {4, 5, 2, 3, 0, 1, 12, 13, 10, 11, 8, 9, 0x80, 0x80, 0x80, 0x80};

// Pairs of pixels (12 bytes) and pairs of keys (16 bytes) into each other by
// one byte shuffle and an exclusive or (flip, in each 64-bit half): step k
// reads 16 bytes at from + k * from_step and writes 16 at to + k * to_step.
// The bytes beyond a pair belong to the next pixel, which a later step or
// the caller reads or writes again; so of a row of n pixels the pairs that
// a third pixel follows are taken.  Returns the pixels done.
HWY_INLINE std::size_t shuffle_pairs(const void* from, std::size_t from_step, void* to,
                                     std::size_t to_step, std::size_t n, const std::uint8_t* order,
                                     std::uint64_t flip) {
    const std::size_t pairs = n >= 3 ? (n - 1) / 2 : 0;
#if HWY_TARGET == HWY_SCALAR
    (void)from, (void)from_step, (void)to, (void)to_step, (void)order, (void)flip, (void)pairs;
    return 0;
#else
    const hn::Full128<std::uint8_t> d8;
    const auto table = hn::LoadU(d8, order);
    const auto bits = hn::BitCast(d8, hn::Set(hn::Full128<std::uint64_t>(), flip));
    const auto* in = static_cast<const std::uint8_t*>(from);
    auto* out = static_cast<std::uint8_t*>(to);
    for (std::size_t k = 0; k < pairs; ++k)
        hn::StoreU(hn::Xor(hn::TableLookupBytesOr0(hn::LoadU(d8, in + k * from_step), table), bits),
                   d8, out + k * to_step);
    return 2 * pairs;
#endif
}

#if HWY_TARGET != HWY_SCALAR
// A vector of bytes whose 128-bit blocks are the 16 bytes at in, in + step,
// in + 2 step, ... (a pixel pair each, for the shuffle within blocks).
template <class D8>
HWY_INLINE hn::Vec<D8> load_blocks(D8 d8, const std::uint8_t* in, std::size_t step) {
    if constexpr (hn::MaxLanes(D8()) <= 16) {
        return hn::LoadU(d8, in);
    } else {
        const hn::Half<D8> dh;
        const std::size_t half_blocks = hn::MaxLanes(dh) / 16;
        return hn::Combine(d8, load_blocks(dh, in + half_blocks * step, step),
                           load_blocks(dh, in, step));
    }
}
#endif

// The pairs of shuffle_pairs for to_keys, as many pairs a step as a vector
// has blocks; returns the pixels done.
HWY_INLINE std::size_t place_pairs(const short* rgb, double* keys, std::size_t n) {
#if HWY_TARGET == HWY_SCALAR
    (void)rgb, (void)keys, (void)n;
    return 0;
#else
    const std::size_t pairs = n >= 3 ? (n - 1) / 2 : 0;
    const hn::ScalableTag<std::uint8_t> d8;
    const std::size_t blocks = hn::Lanes(d8) / 16;
    const auto table = hn::LoadDup128(d8, kPlace);
    const auto bits = hn::BitCast(d8, hn::Set(hn::ScalableTag<std::uint64_t>(), kKeyFlip));
    const auto* in = reinterpret_cast<const std::uint8_t*>(rgb);
    auto* out = reinterpret_cast<std::uint8_t*>(keys);
    std::size_t k = 0;
    for (; k + blocks <= pairs; k += blocks)
        hn::StoreU(hn::Xor(hn::TableLookupBytesOr0(load_blocks(d8, in + 12 * k, 12), table), bits),
                   d8, out + 16 * k);
    return 2 * k + shuffle_pairs(in + 12 * k, 12, out + 16 * k, 16, n - 2 * k, kPlace, kKeyFlip);
#endif
}

static void to_keys(const short* rgb, double* keys, std::size_t n) {
    for (std::size_t i = place_pairs(rgb, keys, n); i < n; ++i) {
        const std::uint64_t r = static_cast<std::uint16_t>(rgb[3 * i]);
        const std::uint64_t g = static_cast<std::uint16_t>(rgb[3 * i + 1]);
        const std::uint64_t b = static_cast<std::uint16_t>(rgb[3 * i + 2]);
        const std::uint64_t bits = (r << 32 | g << 16 | b) ^ kKeyFlip;
        std::memcpy(keys + i, &bits, sizeof bits);
    }
}

// The flip is taken out after the shuffle, where the keys' flip bits stand
// as 0x8000 on each component.
static void from_keys(const double* keys, short* rgb, std::size_t n) {
    for (std::size_t i = shuffle_pairs(keys, 16, rgb, 12, n, kTake, 0x8000800080008000ull); i < n;
         ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, keys + i, sizeof bits);
        bits ^= kKeyFlip;
        rgb[3 * i] = static_cast<short>(static_cast<std::uint16_t>(bits >> 32));
        rgb[3 * i + 1] = static_cast<short>(static_cast<std::uint16_t>(bits >> 16));
        rgb[3 * i + 2] = static_cast<short>(static_cast<std::uint16_t>(bits));
    }
}

static void median3x3(const double* const* r, double* out, std::size_t n) {
    double lo[kChunk + 2], mid[kChunk + 2], hi[kChunk + 2];
    for (std::size_t c0 = 0; c0 < n; c0 += kChunk) {
        const std::size_t m = std::min(n - c0, kChunk);
        const double* rows[3] = {r[0] + c0, r[1] + c0, r[2] + c0};
        each_column(m + 2, [&](auto d, std::size_t j) { sort_column3(d, rows, j, lo, mid, hi); });
        each_column(
            m, [&](auto d, std::size_t i) { median_from_columns3(d, lo, mid, hi, i, out + c0); });
    }
}

// The median of the 5 x 5 keys at columns i..i+4, by selection.
static double median5x5_at(const double* const* r, std::size_t i) {
    double window[25];
    for (int k = 0; k < 5; ++k) std::copy(r[k] + i, r[k] + i + 5, window + 5 * k);
    std::nth_element(window, window + 12, window + 25);
    return window[12];
}

static void median5x5(const double* const* r, double* out, std::size_t n) {
    constexpr std::size_t kPairs = kChunk / 2;
    double even_columns[5][kPairs + 2], odd_columns[5][kPairs + 2], merged[10][kPairs + 1];
    double* even[5];
    double* odd[5];
    double* pairs[10];
    for (int k = 0; k < 5; ++k) even[k] = even_columns[k], odd[k] = odd_columns[k];
    for (int k = 0; k < 10; ++k) pairs[k] = merged[k];
    for (std::size_t c0 = 0; c0 < n; c0 += kChunk) {
        const std::size_t m = std::min(n - c0, kChunk);
        const std::size_t p = m / 2;
        const double* rows[5] = {r[0] + c0, r[1] + c0, r[2] + c0, r[3] + c0, r[4] + c0};
        if (p > 0) {
            each_column(p + 2,
                        [&](auto d, std::size_t q) { sort_columns5(d, rows, q, even, odd); });
            each_column(p + 1,
                        [&](auto d, std::size_t q) { merge_columns5(d, even, odd, q, pairs); });
            each_column(
                p, [&](auto d, std::size_t q) { median_pair5(d, even, odd, pairs, q, out + c0); });
        }
        // An odd count leaves one output, whose pair would read a column
        // beyond the row.
        if (m % 2 != 0) out[c0 + m - 1] = median5x5_at(rows, m - 1);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace median_rows_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace median_rows_simd {
HWY_EXPORT(to_keys);
HWY_EXPORT(from_keys);
HWY_EXPORT(median3x3);
HWY_EXPORT(median5x5);
}  // namespace median_rows_simd

namespace toolkit::row_kernels {

void to_keys(const short* rgb, double* keys, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(median_rows_simd::to_keys)(rgb, keys, n);
}

void from_keys(const double* keys, short* rgb, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(median_rows_simd::from_keys)(keys, rgb, n);
}

void median3x3(const double* const* r, double* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(median_rows_simd::median3x3)(r, out, n);
}

void median5x5(const double* const* r, double* out, std::size_t n) {
    HWY_DYNAMIC_DISPATCH(median_rows_simd::median5x5)(r, out, n);
}

void median_row(const double* const* r, std::size_t kw, std::size_t kh, double* out, std::size_t n,
                double* window) {
    if (kw == 3 && kh == 3) return median3x3(r, out, n);
    if (kw == 5 && kh == 5) return median5x5(r, out, n);
    const std::size_t count = kw * kh;
    for (std::size_t i = 0; i < n; ++i) {
        double* w = window;
        for (std::size_t k = 0; k < kh; ++k, w += kw) std::copy(r[k] + i, r[k] + i + kw, w);
        std::nth_element(window, window + (count - 1) / 2, window + count);
        out[i] = window[(count - 1) / 2];
    }
}

}  // namespace toolkit::row_kernels
#endif  // HWY_ONCE
