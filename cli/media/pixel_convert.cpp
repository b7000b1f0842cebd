#include "media/pixel_convert.h"

#include <algorithm>
#include <cmath>

#include "color/convert.h"
#include "media/pixel_rows.h"

// The row loops below are the formulas sample by sample; the vector rows
// (pixel_rows.h) do as much of each row as whole vectors take, and these
// loops finish it.

namespace {

using pixel_rows::OutScale;
using pixel_rows::Scale;

// value = ((sample * mul + add) >> shift) + offset, for luma; chroma first
// takes off the mid value.

Scale luma_scale(int bits, bool full_range) {
    if (full_range) {
        const int mul = static_cast<int>(std::lround(4096.0 * 65536.0 / ((1 << bits) - 1)));
        return {mul, 1 << 15, 16, 0, 0};
    }
    return {1197, 0, 6 + (bits - 8), -299, 0};
}

Scale chroma_scale(int bits, bool full_range) {
    if (full_range) {
        const int mul = static_cast<int>(std::lround(4096.0 * 65536.0 / ((1 << bits) - 1)));
        return {mul, 1 << 15, 16, 0, 1 << (bits - 1)};
    }
    return {4681, 164 << (bits - 8), 8 + (bits - 8), 0, 128 << (bits - 8)};
}

// In 32-bit arithmetic that wraps, as the vector rows' lanes do: a sample
// above its bit depth (a damaged 10-bit word) overflows the product.
inline std::int16_t apply(const Scale& k, int v) {
    const auto scaled = static_cast<std::int32_t>(static_cast<std::uint32_t>(v - k.mid) *
                                                      static_cast<std::uint32_t>(k.mul) +
                                                  static_cast<std::uint32_t>(k.add));
    return static_cast<std::int16_t>((scaled >> k.shift) + k.offset);
}

template <class T>
void row_in_444(const T* py, const T* pu, const T* pv, int w, PIXEL_YC* d, Scale ly, Scale lc) {
    for (int x = 0; x < w; ++x) {
        d[x].y = apply(ly, py[x]);
        d[x].cb = apply(lc, pu[x]);
        d[x].cr = apply(lc, pv[x]);
    }
}

// Horizontally halved chroma: each chroma sample serves two pixels.
template <class T>
void row_in_422(const T* py, const T* pu, const T* pv, int w, PIXEL_YC* d, Scale ly, Scale lc) {
    const int pairs = w / 2;
    for (int k = 0; k < pairs; ++k) {
        const std::int16_t u = apply(lc, pu[k]), v = apply(lc, pv[k]);
        d[2 * k].y = apply(ly, py[2 * k]);
        d[2 * k].cb = u;
        d[2 * k].cr = v;
        d[2 * k + 1].y = apply(ly, py[2 * k + 1]);
        d[2 * k + 1].cb = u;
        d[2 * k + 1].cr = v;
    }
    if (w % 2) d[w - 1] = {apply(ly, py[w - 1]), apply(lc, pu[pairs]), apply(lc, pv[pairs])};
}

template <class T>
void row_in_grey(const T* py, int w, PIXEL_YC* d, Scale ly) {
    for (int x = 0; x < w; ++x) d[x] = {apply(ly, py[x]), 0, 0};
}

template <class T>
const T* row_of(const void* plane, std::ptrdiff_t stride, int y) {
    return reinterpret_cast<const T*>(static_cast<const std::uint8_t*>(plane) + stride * y);
}

template <class T>
void planes_in(const Planes& in, int w, int h, PIXEL_YC* out, int stride) {
    const Scale ly = luma_scale(in.bits, in.full_range), lc = chroma_scale(in.bits, in.full_range);
    for (int y = 0; y < h; ++y) {
        PIXEL_YC* d = out + static_cast<std::size_t>(y) * stride;
        const T* py = row_of<T>(in.data[0], in.stride[0], y);
        if (in.data[1] == nullptr) {
            row_in_grey(py, w, d, ly);
            continue;
        }
        const int cy = y >> in.shift_y;
        const T* pu = row_of<T>(in.data[1], in.stride[1], cy);
        const T* pv = row_of<T>(in.data[2], in.stride[2], cy);
        const int x = in.shift_x ? pixel_rows::in_422(py, pu, pv, sizeof(T) == 2, w, d, ly, lc)
                                 : pixel_rows::in_444(py, pu, pv, sizeof(T) == 2, w, d, ly, lc);
        if (in.shift_x)
            row_in_422(py + x, pu + x / 2, pv + x / 2, w - x, d + x, ly, lc);
        else
            row_in_444(py + x, pu + x, pv + x, w - x, d + x, ly, lc);
    }
}

// Output: sample = clamp(((value * mul + add) >> 12) + offset).

// Full range is the way back of the input's full-range scale, rounded to
// nearest, so that every sample survives the round trip.
OutScale luma_out(int bits, bool full_range = false) {
    const int max = (1 << bits) - 1;
    if (full_range) return {max, 2048, 0, 0, max};
    return bits == 8 ? OutScale{219, 383, 16, 0, 255} : OutScale{876, 2048, 64, 0, 1023};
}
// Chroma in the 12-bit form of the same formula: ((C + 2048) * 7 + 66) >> 7
// is ((C + 2048) * 224 + 2112) >> 12.
OutScale chroma_out(int bits, bool full_range = false) {
    const int max = (1 << bits) - 1;
    if (full_range) return {max, 2048, 1 << (bits - 1), 0, max};
    return bits == 8 ? OutScale{224, 66 << 5, 16, 2048, 255}
                     : OutScale{896, 64 << 5, 64, 2048, 1023};
}

inline int put(const OutScale& k, int v) {
    const int s = (((v + k.bias) * k.mul + k.add) >> 12) + k.offset;
    return s < 0 ? 0 : (s > k.max ? k.max : s);
}

template <class T>
void row_out_444(const PIXEL_YC* s, int w, T* py, T* pu, T* pv, OutScale ly, OutScale lc) {
    for (int x = 0; x < w; ++x) {
        py[x] = static_cast<T>(put(ly, s[x].y));
        pu[x] = static_cast<T>(put(lc, s[x].cb));
        pv[x] = static_cast<T>(put(lc, s[x].cr));
    }
}

template <class T>
void row_out_luma(const PIXEL_YC* s, int w, T* py, OutScale ly) {
    for (int x = 0; x < w; ++x) py[x] = static_cast<T>(put(ly, s[x].y));
}

// Chroma of a pair of rows (a and b, the same row when there is one) and
// pairs of columns, as the floor of their mean.
template <class T>
void row_out_chroma_420(const PIXEL_YC* a, const PIXEL_YC* b, int pairs, T* pu, T* pv,
                        OutScale lc) {
    for (int k = 0; k < pairs; ++k) {
        const int cb = (a[2 * k].cb + a[2 * k + 1].cb + b[2 * k].cb + b[2 * k + 1].cb + 2) >> 2;
        const int cr = (a[2 * k].cr + a[2 * k + 1].cr + b[2 * k].cr + b[2 * k + 1].cr + 2) >> 2;
        pu[k] = static_cast<T>(put(lc, cb));
        pv[k] = static_cast<T>(put(lc, cr));
    }
}

template <class T>
T* out_row(void* plane, std::ptrdiff_t stride, int y) {
    return reinterpret_cast<T*>(static_cast<std::uint8_t*>(plane) + stride * y);
}

template <class T>
void planes_out(const PIXEL_YC* in, int stride, int w, int h, const OutPlanes& out) {
    const OutScale ly = luma_out(out.bits, out.full_range),
                   lc = chroma_out(out.bits, out.full_range);
    const auto src = [&](int y) { return in + static_cast<std::size_t>(y) * stride; };
    if (out.shift_x == 0 && out.shift_y == 0) {
        for (int y = 0; y < h; ++y) {
            T* py = out_row<T>(out.data[0], out.stride[0], y);
            T* pu = out_row<T>(out.data[1], out.stride[1], y);
            T* pv = out_row<T>(out.data[2], out.stride[2], y);
            const int x = pixel_rows::out_444(src(y), w, py, pu, pv, sizeof(T) == 2, ly, lc);
            row_out_444(src(y) + x, w - x, py + x, pu + x, pv + x, ly, lc);
        }
        return;
    }
    // Each chroma row with its one or two luma rows, in one pass.
    const int rows = (h + (1 << out.shift_y) - 1) >> out.shift_y;
    const int pairs = w / 2;
    for (int cy = 0; cy < rows; ++cy) {
        const int ya = cy << out.shift_y, yb = out.shift_y && ya + 1 < h ? ya + 1 : ya;
        const PIXEL_YC* a = src(ya);
        const PIXEL_YC* b = src(yb);
        T* la = out_row<T>(out.data[0], out.stride[0], ya);
        T* lb = out_row<T>(out.data[0], out.stride[0], yb);
        T* pu = out_row<T>(out.data[1], out.stride[1], cy);
        T* pv = out_row<T>(out.data[2], out.stride[2], cy);
        const int x = pixel_rows::out_420(a, b, w, la, lb, pu, pv, sizeof(T) == 2, ly, lc);
        row_out_luma(a + x, w - x, la + x, ly);
        if (yb != ya) row_out_luma(b + x, w - x, lb + x, ly);
        row_out_chroma_420(a + x, b + x, pairs - x / 2, pu + x / 2, pv + x / 2, lc);
        if (w % 2) {  // the last column stands alone
            pu[pairs] = static_cast<T>(put(lc, (a[w - 1].cb + b[w - 1].cb + 1) >> 1));
            pv[pairs] = static_cast<T>(put(lc, (a[w - 1].cr + b[w - 1].cr + 1) >> 1));
        }
    }
}

std::uint8_t rgb_to8(double v) {
    const double scaled = std::round(v * 255.0 / 4096.0);
    return static_cast<std::uint8_t>(scaled < 0 ? 0 : (scaled > 255 ? 255 : scaled));
}

}  // namespace

void planes_to_yc(const Planes& in, int w, int h, PIXEL_YC* out, int stride) {
    if (in.bits == 8)
        planes_in<std::uint8_t>(in, w, h, out, stride);
    else
        planes_in<std::uint16_t>(in, w, h, out, stride);
}

void yc_to_planes(const PIXEL_YC* in, int stride, int w, int h, const OutPlanes& out) {
    if (out.bits == 8)
        planes_out<std::uint8_t>(in, stride, w, h, out);
    else
        planes_out<std::uint16_t>(in, stride, w, h, out);
}

void rgb48_to_yc(const std::uint16_t* rgb, std::ptrdiff_t rgb_stride, int w, int h, PIXEL_YC* out,
                 int stride) {
    constexpr double scale = 4096.0 / 65535.0;
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* s = reinterpret_cast<const std::uint16_t*>(
            reinterpret_cast<const std::uint8_t*>(rgb) + rgb_stride * y);
        PIXEL_YC* d = out + static_cast<std::size_t>(y) * stride;
        for (int x = 0; x < w; ++x) {
            const Triple yc =
                rgb_to_yc(s[3 * x] * scale, s[3 * x + 1] * scale, s[3 * x + 2] * scale);
            d[x] = {to_component(yc.a), to_component(yc.b), to_component(yc.c)};
        }
    }
}

void yc_to_rgb24(const PIXEL_YC* in, int stride, int w, int h, std::uint8_t* rgb,
                 std::ptrdiff_t rgb_stride) {
    for (int y = 0; y < h; ++y) {
        const PIXEL_YC* s = in + static_cast<std::size_t>(y) * stride;
        std::uint8_t* d = rgb + rgb_stride * y;
        for (int x = pixel_rows::out_rgb24(s, w, d); x < w; ++x) {
            const Triple c = yc_to_rgb(s[x].y, s[x].cb, s[x].cr);
            d[3 * x] = rgb_to8(c.a), d[3 * x + 1] = rgb_to8(c.b), d[3 * x + 2] = rgb_to8(c.c);
        }
    }
}

int luma_from_sample(int v, int bits, bool full_range) {
    return apply(luma_scale(bits, full_range), v);
}
int chroma_from_sample(int v, int bits, bool full_range) {
    return apply(chroma_scale(bits, full_range), v);
}
int luma_to_sample(int y, int bits, bool full_range) { return put(luma_out(bits, full_range), y); }
int chroma_to_sample(int c, int bits, bool full_range) {
    return put(chroma_out(bits, full_range), c);
}
