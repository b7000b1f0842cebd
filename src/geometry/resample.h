// Resampling transforms: resize, rotate and affine.
//
// All three work backwards: for each destination pixel they compute a source
// position, and write the bilinear sample there only when the source pixel
// lies in the area the transform may read; other destination pixels keep
// their content, so a transform paints over the existing picture.  Rows of
// the destination run in parallel.  Source and destination must be distinct
// buffers (the bindings give an in-place call a private copy of the source).
//
// Sizes come unlimited from the script; the kernels limit each width to the
// buffer's max_w and each height to its max_h where the mapping says so.
#pragma once

#include <algorithm>

#include "buffers/frame.h"

// The source area a transform may read: columns [x0, x1) and rows [y0, y1)
// of a rectangle, limited to the buffer.
struct ReadArea {
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// The rectangle x, y, w, h (w and h not above the buffer's size) limited to
// the buffer.
inline ReadArea read_area(const Frame& f, int x, int y, int w, int h) {
    auto clamp = [](long long v, int bound) {
        return static_cast<int>(std::clamp<long long>(v, 0, bound));
    };
    return {clamp(x, f.max_w), clamp(static_cast<long long>(x) + w, f.max_w), clamp(y, f.max_h),
            clamp(static_cast<long long>(y) + h, f.max_h)};
}

// Source rectangle sx, sy, sw, sh scaled onto destination rectangle dx, dy,
// dw, dh; the first destination pixel samples the source corner exactly and
// the scale is sw / dw by sh / dh, in 1/256 pixel fixed point.
struct ResizeJob {
    int sx = 0, sy = 0, sw = 1, sh = 1;
    int dx = 0, dy = 0, dw = 1, dh = 1;
};

// Throws std::bad_alloc when its column table cannot be allocated.
void resize_region(const Frame& src, const Frame& dst, const ResizeJob& job);

// The source rectangle sx, sy, w, h turned by `angle` radians about the point
// (cx, cy) of the rectangle, placed so that that point lands on (dx + cx,
// dy + cy) of the destination.  Positive angles turn clockwise on screen.
// Every destination pixel is considered; a non-finite angle writes nothing.
struct RotateJob {
    double angle = 0;
    int cx = 0, cy = 0, sx = 0, sy = 0, w = 1, h = 1, dx = 0, dy = 0;
};

void rotate_region(const Frame& src, const Frame& dst, const RotateJob& job);

// The integer cosine and sine of the rotation, trunc(4096 cos) and
// trunc(4096 sin); false for a non-finite angle.
bool rotation_factors(double angle, int* kc, int* ks);

// The destination rectangle x, y, w, h filled through the affine map
//   X = m[0] xs + m[1] ys + m[2],  Y = m[3] xs + m[4] ys + m[5]
// from source (xs, ys) to destination (X, Y), inverted in double precision.
// A singular or non-finite matrix writes nothing; so do destination pixels
// whose source position is not finite.
struct AffineJob {
    int x = 0, y = 0, w = 1, h = 1;
    double m[6] = {1, 0, 0, 0, 1, 0};
};

void affine_region(const Frame& src, const Frame& dst, const AffineJob& job);
