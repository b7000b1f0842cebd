// Conversions between planar YUV (the samples video files carry) and the
// editor's pixels (Y 0..4096, Cb and Cr -2048..2048, 16 bits each).
//
// 8-bit limited range follows the editor's own formulas: Y 16..235 maps to
// 0..4096 as ((y * 1197) >> 6) - 299 and Cb, Cr 16..240 to -2048..2048 as
// ((c - 128) * 4681 + 164) >> 8; the way back is ((Y * 219 + 383) >> 12) + 16
// and (((C + 2048) * 7 + 66) >> 7) + 16, so that 8-bit values survive the
// round trip exactly.  Deeper samples use the same scale, with the extra
// bits shifted off; full range maps 0..2^bits-1 onto 0..4096.  10-bit
// output rounds to nearest, which again round-trips every legal value.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/aviutl.h"

// Planes of one picture: Y, Cb, Cr (Cb and Cr null for a grey picture).
// Samples are bytes for 8 bits, otherwise 16-bit words in native order.
struct Planes {
    const void* data[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t stride[3] = {0, 0, 0};  // bytes from one row to the next
    int bits = 8;                          // 8 to 16
    int shift_x = 0, shift_y = 0;          // log2 of the chroma subsampling (0 or 1)
    bool full_range = false;
};

// Writes the w x h picture into editor pixels whose rows are `stride`
// pixels apart.
void planes_to_yc(const Planes& in, int w, int h, PIXEL_YC* out, int stride);

// Planes to be written: the same layout, writable.  Output is 8 or 10 bits,
// limited range unless `full_range` asks for 0..2^bits-1 (a live stream
// leaves in the range it came in); subsampled chroma is the mean of the
// pixels it covers.
struct OutPlanes {
    void* data[3] = {nullptr, nullptr, nullptr};
    std::ptrdiff_t stride[3] = {0, 0, 0};
    int bits = 8;
    int shift_x = 0, shift_y = 0;
    bool full_range = false;
};

void yc_to_planes(const PIXEL_YC* in, int stride, int w, int h, const OutPlanes& out);

// RGB rows of 16-bit samples (0..65535, R G B interleaved) into editor
// pixels through the editor's own RGB to YCbCr formula.
void rgb48_to_yc(const std::uint16_t* rgb, std::ptrdiff_t rgb_stride, int w, int h, PIXEL_YC* out,
                 int stride);

// Editor pixels to 8-bit RGB rows (R G B interleaved, w * 3 bytes a row),
// through the editor's YCbCr to RGB formula, rounded and clamped.
void yc_to_rgb24(const PIXEL_YC* in, int stride, int w, int h, std::uint8_t* rgb,
                 std::ptrdiff_t rgb_stride);

// Single samples, for tests and odd cases.
int luma_from_sample(int v, int bits, bool full_range);
int chroma_from_sample(int v, int bits, bool full_range);
int luma_to_sample(int y, int bits, bool full_range = false);
int chroma_to_sample(int c, int bits, bool full_range = false);
