#include "toolkit/median_rows.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "toolkit/vector_types.h"

namespace mist::rows {

namespace {

using vec::v4d;

// Minimum and maximum of keys, lane by lane or of two doubles.
template <class T>
MIST_VEC_INLINE T lesser(T a, T b) {
    return a < b ? a : b;
}
template <class T>
MIST_VEC_INLINE T greater(T a, T b) {
    return a > b ? a : b;
}
template <class T>
MIST_VEC_INLINE T median_of_3(T a, T b, T c) {
    return greater(lesser(a, b), lesser(greater(a, b), c));
}

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

// The median of five sorted columns of five (wires 5c + r, r ascending):
// merge columns 0 and 1, columns 2, 3 and 4, then the two lists; of the
// final order only position 12 is used, and the comparators that cannot
// affect it are left to the compiler to drop.
constexpr built build_median25() {
    built s;
    auto column = [](int c) {
        wire_list w;
        for (int r = 0; r < 5; ++r) w.push(static_cast<std::uint8_t>(5 * c + r));
        return w;
    };
    const wire_list m1 = merge(column(0), column(1), s.net);
    const wire_list m2 = merge(column(2), column(3), s.net);
    const wire_list m3 = merge(m2, column(4), s.net);
    s.order = merge(m1, m3, s.net);
    return s;
}

constexpr built kSort5 = build_sort5();
constexpr built kMedian25 = build_median25();

template <const built& B, class T, std::size_t... S>
MIST_VEC_INLINE void run_network(T* w, std::index_sequence<S...>) {
    (
        [&] {
            const T lo = lesser(w[B.net.a[S]], w[B.net.b[S]]);
            const T hi = greater(w[B.net.a[S]], w[B.net.b[S]]);
            w[B.net.a[S]] = lo;
            w[B.net.b[S]] = hi;
        }(),
        ...);
}

template <const built& B, class T>
MIST_VEC_INLINE void run_network(T* w) {
    run_network<B>(w, std::make_index_sequence<static_cast<std::size_t>(B.net.count)>{});
}

template <class T>
MIST_VEC_INLINE T load(const double* p);
template <>
MIST_VEC_INLINE double load<double>(const double* p) {
    return *p;
}
template <>
MIST_VEC_INLINE v4d load<v4d>(const double* p) {
    return vec::load_d4(p);
}
MIST_VEC_INLINE void store(double* p, double v) { *p = v; }
MIST_VEC_INLINE void store(double* p, v4d v) { vec::store_d4(p, v); }

// Outputs per chunk: the sorted columns of a chunk stay in the first-level
// cache.
constexpr std::size_t kChunk = 128;

// Sorted columns of a 3-row window: lo[j] <= mid[j] <= hi[j].
template <class T>
MIST_VEC_INLINE void sort_column3(const double* const* r, std::size_t j, double* lo, double* mid,
                                  double* hi) {
    const T a = load<T>(r[0] + j), b = load<T>(r[1] + j), c = load<T>(r[2] + j);
    const T ab_lo = lesser(a, b), ab_hi = greater(a, b);
    const T top = greater(ab_hi, c), m = lesser(ab_hi, c);
    store(lo + j, lesser(ab_lo, m));
    store(mid + j, greater(ab_lo, m));
    store(hi + j, top);
}

// The median of nine from three sorted columns: it is the median of the
// greatest of the lows, the median of the middles and the least of the
// highs.
template <class T>
MIST_VEC_INLINE void median_from_columns3(const double* lo, const double* mid, const double* hi,
                                          std::size_t i, double* out) {
    const T low = greater(greater(load<T>(lo + i), load<T>(lo + i + 1)), load<T>(lo + i + 2));
    const T middle = median_of_3(load<T>(mid + i), load<T>(mid + i + 1), load<T>(mid + i + 2));
    const T high = lesser(lesser(load<T>(hi + i), load<T>(hi + i + 1)), load<T>(hi + i + 2));
    store(out + i, median_of_3(low, middle, high));
}

template <class T>
MIST_VEC_INLINE void sort_column5(const double* const* r, std::size_t j, double* const* sorted) {
    T w[5];
    for (int k = 0; k < 5; ++k) w[k] = load<T>(r[k] + j);
    run_network<kSort5>(w);
    for (int k = 0; k < 5; ++k) store(sorted[k] + j, w[kSort5.order.id[k]]);
}

template <class T>
MIST_VEC_INLINE void median_from_columns5(const double* const* sorted, std::size_t i, double* out) {
    T w[25];
    for (int c = 0; c < 5; ++c)
        for (int k = 0; k < 5; ++k) w[5 * c + k] = load<T>(sorted[k] + i + c);
    run_network<kMedian25>(w);
    store(out + i, w[kMedian25.order.id[12]]);
}

}  // namespace

// The key of a pixel, byte by byte (little-endian): B, G and R with the top
// bit of each flipped, then the exponent bytes 0x30 0x43 of 2^52.  For two
// pixels in 12 bytes, the byte order of their keys and the bits to flip.
constexpr std::uint64_t kKeyFlip = 0x4330800080008000ull;

MIST_VEC_INLINE vec::v16c key_flip() {
    const std::uint64_t f[2] = {kKeyFlip, kKeyFlip};
    vec::v16c v;
    std::memcpy(&v, f, 16);
    return v;
}

MIST_VEC_INLINE void to_keys_body(const short* rgb, double* keys, std::size_t n) {
    const vec::v16c flip = key_flip(), zero = {};
    std::size_t i = 0;
    // Sixteen bytes are read for two 12-byte pixel pairs; stop early enough.
    for (; i + 3 <= n; i += 2) {
        vec::v16c v;
        std::memcpy(&v, rgb + 3 * i, 16);
        const vec::v16c k =
            __builtin_shufflevector(v, zero, 4, 5, 2, 3, 0, 1, 16, 16, 10, 11, 8, 9, 6, 7, 16, 16) ^
            flip;
        std::memcpy(keys + i, &k, 16);
    }
    for (; i < n; ++i) {
        const std::uint64_t r = static_cast<std::uint16_t>(rgb[3 * i]);
        const std::uint64_t g = static_cast<std::uint16_t>(rgb[3 * i + 1]);
        const std::uint64_t b = static_cast<std::uint16_t>(rgb[3 * i + 2]);
        const std::uint64_t bits = (r << 32 | g << 16 | b) ^ kKeyFlip;
        std::memcpy(keys + i, &bits, sizeof bits);
    }
}

MIST_DISPATCH(to_keys, (const short* rgb, double* keys, std::size_t n), (rgb, keys, n))

MIST_VEC_INLINE void from_keys_body(const double* keys, short* rgb, std::size_t n) {
    const vec::v16c flip = key_flip();
    std::size_t i = 0;
    for (; i + 2 <= n; i += 2) {
        vec::v16c k;
        std::memcpy(&k, keys + i, 16);
        k ^= flip;
        const vec::v16c v =
            __builtin_shufflevector(k, k, 4, 5, 2, 3, 0, 1, 12, 13, 10, 11, 8, 9, 0, 0, 0, 0);
        std::memcpy(rgb + 3 * i, &v, 12);
    }
    for (; i < n; ++i) {
        std::uint64_t bits;
        std::memcpy(&bits, keys + i, sizeof bits);
        bits ^= kKeyFlip;
        rgb[3 * i] = static_cast<short>(static_cast<std::uint16_t>(bits >> 32));
        rgb[3 * i + 1] = static_cast<short>(static_cast<std::uint16_t>(bits >> 16));
        rgb[3 * i + 2] = static_cast<short>(static_cast<std::uint16_t>(bits));
    }
}

MIST_DISPATCH(from_keys, (const double* keys, short* rgb, std::size_t n), (keys, rgb, n))

MIST_VEC_INLINE void median3x3_body(const double* const* r, double* out, std::size_t n) {
    double lo[kChunk + 2], mid[kChunk + 2], hi[kChunk + 2];
    for (std::size_t c0 = 0; c0 < n; c0 += kChunk) {
        const std::size_t m = n - c0 < kChunk ? n - c0 : kChunk;
        const double* rows[3] = {r[0] + c0, r[1] + c0, r[2] + c0};
        std::size_t j = 0;
        for (; j + 4 <= m + 2; j += 4) sort_column3<v4d>(rows, j, lo, mid, hi);
        for (; j < m + 2; ++j) sort_column3<double>(rows, j, lo, mid, hi);
        std::size_t i = 0;
        for (; i + 4 <= m; i += 4) median_from_columns3<v4d>(lo, mid, hi, i, out + c0);
        for (; i < m; ++i) median_from_columns3<double>(lo, mid, hi, i, out + c0);
    }
}

MIST_DISPATCH(median3x3, (const double* const* r, double* out, std::size_t n), (r, out, n))

MIST_VEC_INLINE void median5x5_body(const double* const* r, double* out, std::size_t n) {
    double columns[5][kChunk + 4];
    double* sorted[5] = {columns[0], columns[1], columns[2], columns[3], columns[4]};
    for (std::size_t c0 = 0; c0 < n; c0 += kChunk) {
        const std::size_t m = n - c0 < kChunk ? n - c0 : kChunk;
        const double* rows[5] = {r[0] + c0, r[1] + c0, r[2] + c0, r[3] + c0, r[4] + c0};
        std::size_t j = 0;
        for (; j + 4 <= m + 4; j += 4) sort_column5<v4d>(rows, j, sorted);
        for (; j < m + 4; ++j) sort_column5<double>(rows, j, sorted);
        std::size_t i = 0;
        for (; i + 4 <= m; i += 4) median_from_columns5<v4d>(sorted, i, out + c0);
        for (; i < m; ++i) median_from_columns5<double>(sorted, i, out + c0);
    }
}

MIST_DISPATCH(median5x5, (const double* const* r, double* out, std::size_t n), (r, out, n))

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

}  // namespace mist::rows
