// Moving a region of a frame buffer into a toolkit work array and back.
//
// A neighbourhood filter reads its region plus a halo into a work array,
// runs its kernel there, and writes a block of the result back.  This is the
// one place that does both copies.  A work array holds one plane: the Y of
// each pixel (toolkit::grid<short>), or its RGB truncated to integers
// (toolkit::rgb<short>) or kept as floats (toolkit::rgb<float>).
//
// Reading: work cell (u, k) takes the source pixel (x + u, y + k), a
// coordinate outside the visible picture mapped by the source's border rule
// (toolkit/border.h: mirror, or none to read the buffer beyond the picture).
// A cell whose coordinate maps outside the buffer keeps the value the array
// had (arrays are zero-filled when made).  Writing: the block of the array at
// (ox, oy) goes to the frame at (dx, dy), both positions clipped together,
// the first against the array and the second against the buffer.  Rows run
// in parallel in both directions.
#pragma once

#include <memory>

#include "buffers/frame.h"
#include "toolkit/border.h"
#include "toolkit/grid.h"
#include "toolkit/plane_view.h"
#include "toolkit/rgb.h"

struct PlaneSource {
    Frame frame;
    int picture_w = 0, picture_h = 0;  // the visible picture (for the mirror)
    long long x = 0, y = 0;            // the source pixel of work cell (0, 0)
    toolkit::border_rule border = toolkit::border_rule::mirror;
};

// Y -> short; RGB truncated toward zero, low 16 bits kept -> rgb<short>;
// RGB rounded to float -> rgb<float>.
void load_plane(const PlaneSource& source, toolkit::grid<short>& plane);
void load_plane(const PlaneSource& source, toolkit::grid<toolkit::rgb<short>>& plane);
void load_plane(const PlaneSource& source, toolkit::grid<toolkit::rgb<float>>& plane);
// Y into a plane seen through a view (a buffer the caller keeps from call to
// call): the same rules, cells that map nowhere keep their value.
void load_plane(const PlaneSource& source, const toolkit::plane_view& plane);

// One row of an RGB work plane at a time, for a filter that streams its
// rows through per-thread lines instead of filling a whole array (when
// nothing it writes can be read back).  Row k of a plane `width` cells wide,
// by the rules of load_plane, except that cells that map nowhere become
// zero, as in a freshly made array.  Serial: call it from the row loop.
class PlaneRows {
public:
    PlaneRows(const PlaneSource& source, int width);
    ~PlaneRows();
    void load(int k, toolkit::rgb<short>* out) const;

private:
    struct Columns;
    PlaneSource source_;
    int width_;
    std::unique_ptr<Columns> columns_;
};

// short -> the y of the pixel (cb and cr left alone); RGB -> Y, Cb, Cr by
// rgb_to_yc, truncated toward zero, low 16 bits kept, no clamping.
void store_plane(const toolkit::grid<short>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy);
void store_plane(const toolkit::grid<toolkit::rgb<short>>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy);
void store_plane(const toolkit::grid<toolkit::rgb<float>>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy);
void store_plane(const toolkit::plane_view& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy);

// The RGB copies of the neighbourhood filters, under the names they go by:
// the array is filled from (sx, sy) of a buffer whose picture is pw x ph,
// mirrored beyond the picture.
inline void load_rgb_region(const Frame& source, int pw, int ph, int sx, int sy,
                            toolkit::grid<toolkit::rgb<short>>& array) {
    load_plane({source, pw, ph, sx, sy, toolkit::border_rule::mirror}, array);
}
inline void load_rgbf_region(const Frame& source, int pw, int ph, int sx, int sy,
                             toolkit::grid<toolkit::rgb<float>>& array) {
    load_plane({source, pw, ph, sx, sy, toolkit::border_rule::mirror}, array);
}
inline void store_rgb_region(const toolkit::grid<toolkit::rgb<short>>& array, int ox, int oy, int w,
                             int h, const Frame& destination, int dx, int dy) {
    store_plane(array, ox, oy, w, h, destination, dx, dy);
}
inline void store_rgbf_region(const toolkit::grid<toolkit::rgb<float>>& array, int ox, int oy,
                              int w, int h, const Frame& destination, int dx, int dy) {
    store_plane(array, ox, oy, w, h, destination, dx, dy);
}
