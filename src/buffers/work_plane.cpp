#include "buffers/work_plane.h"

#include <algorithm>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/plane_rows.h"
#include "buffers/region.h"
#include "buffers/rows.h"

namespace {

// The source coordinate that work coordinate v (already offset, so it may lie
// anywhere) reads along an axis whose picture is L and buffer M long; -1 when
// it reads nothing.
long long map_coordinate(long long v, long long L, long long M, toolkit::border_rule border) {
    const long long x = toolkit::border_cell(border, v, L);
    return x >= 0 && x < M ? x : -1;
}

// Per element type: a frame pixel into a work cell and back.
// The row forms convert runs of pixels at once.
struct YPlane {
    static short load(const PIXEL_YC& p) { return p.y; }
    static void load_row(const PIXEL_YC* in, short* out, std::size_t n) { y_of_row(in, out, n); }
    static void store_row(const short* in, PIXEL_YC* out, std::size_t n) { y_into_row(in, out, n); }
};

struct RgbPlane {
    static toolkit::rgb<short> load(const PIXEL_YC& p) {
        const Triple t = yc_to_rgb(p.y, p.cb, p.cr);
        return {to_component(t.a), to_component(t.b), to_component(t.c)};
    }
    static void load_row(const PIXEL_YC* in, toolkit::rgb<short>* out, std::size_t n) {
        yc_to_rgb_row(in, out, n);
    }
    static void store_row(const toolkit::rgb<short>* in, PIXEL_YC* out, std::size_t n) {
        rgb_to_yc_row(in, out, n);
    }
};

struct RgbFloatPlane {
    static toolkit::rgb<float> load(const PIXEL_YC& p) {
        const Triple t = yc_to_rgb(p.y, p.cb, p.cr);
        return {static_cast<float>(t.a), static_cast<float>(t.b), static_cast<float>(t.c)};
    }
    static void load_row(const PIXEL_YC* in, toolkit::rgb<float>* out, std::size_t n) {
        yc_to_rgbf_row(in, out, n);
    }
    static void store_row(const toolkit::rgb<float>* in, PIXEL_YC* out, std::size_t n) {
        rgbf_to_yc_row(in, out, n);
    }
};

// Cells of a plane: `height` rows of `width`, rows `stride` cells apart.
template <class T>
struct Cells {
    T* data;
    int width, height;
    std::ptrdiff_t stride;
    T* row(int k) const { return data + static_cast<std::ptrdiff_t>(k) * stride; }
};

template <class T>
Cells<T> cells_of(toolkit::grid<T>& a) {
    return {a.data(), static_cast<int>(a.width()), static_cast<int>(a.height()),
            static_cast<std::ptrdiff_t>(a.width())};
}
template <class T>
Cells<const T> cells_of(const toolkit::grid<T>& a) {
    return {a.data(), static_cast<int>(a.width()), static_cast<int>(a.height()),
            static_cast<std::ptrdiff_t>(a.width())};
}
Cells<short> cells_of(const toolkit::plane_view& v) {
    return {v.data, static_cast<int>(v.width), static_cast<int>(v.height), v.stride};
}

// The columns a work row reads: every row reads the same ones, so they are
// mapped once.  Columns [first, last) read straight across, one run in the
// middle that the loop copies with no map.
struct ColumnMap {
    std::vector<int> column;
    int first = 0, last = 0;

    ColumnMap(const PlaneSource& s, int W) : column(static_cast<std::size_t>(std::max(W, 0))) {
        for (int u = 0; u < W; ++u)
            column[static_cast<std::size_t>(u)] =
                static_cast<int>(map_coordinate(s.x + u, s.picture_w, s.frame.max_w, s.border));
        auto straight_at = [&](int u) {
            const int x = column[static_cast<std::size_t>(u)];
            return x >= 0 && x == s.x + u;
        };
        while (first < W && !straight_at(first)) ++first;
        last = first;
        while (last < W && straight_at(last)) ++last;
    }

    // Work row `out` (W cells) from source row `row`; cells that map
    // nowhere are left alone.
    template <class Plane, class T>
    void load_row(const PIXEL_YC* row, T* out) const {
        const int W = static_cast<int>(column.size());
        for (int u = 0; u < first; ++u) {
            const int x = column[static_cast<std::size_t>(u)];
            if (x >= 0) out[u] = Plane::load(row[x]);
        }
        if (last > first) {
            Plane::load_row(row + column[static_cast<std::size_t>(first)], out + first,
                            static_cast<std::size_t>(last - first));
        }
        for (int u = last; u < W; ++u) {
            const int x = column[static_cast<std::size_t>(u)];
            if (x >= 0) out[u] = Plane::load(row[x]);
        }
    }
};

template <class Plane, class T>
void load(const PlaneSource& s, const Cells<T>& plane) {
    const int W = plane.width, H = plane.height;
    if (W < 1 || H < 1) return;
    const ColumnMap columns(s, W);
    parallel_rows(H, [&](int k) {
        const long long y = map_coordinate(s.y + k, s.picture_h, s.frame.max_h, s.border);
        if (y < 0) return;
        columns.load_row<Plane>(s.frame.row(static_cast<int>(y)), plane.row(k));
    });
}

template <class Plane, class T>
void store(const Cells<T>& plane, int ox, int oy, int w, int h, const Frame& destination, int dx,
           int dy) {
    clip_region_pair(ox, oy, dx, dy, w, h, plane.width, plane.height, destination.max_w,
                     destination.max_h);
    if (w < 1 || h < 1) return;
    parallel_rows(h, [&](int i) {
        const T* in = plane.row(oy + i) + ox;
        PIXEL_YC* out = destination.row(dy + i) + dx;
        Plane::store_row(in, out, static_cast<std::size_t>(w));
    });
}

}  // namespace

void load_plane(const PlaneSource& source, toolkit::grid<short>& plane) {
    load<YPlane>(source, cells_of(plane));
}
void load_plane(const PlaneSource& source, toolkit::grid<toolkit::rgb<short>>& plane) {
    load<RgbPlane>(source, cells_of(plane));
}
void load_plane(const PlaneSource& source, toolkit::grid<toolkit::rgb<float>>& plane) {
    load<RgbFloatPlane>(source, cells_of(plane));
}
void load_plane(const PlaneSource& source, const toolkit::plane_view& plane) {
    load<YPlane>(source, cells_of(plane));
}

void store_plane(const toolkit::grid<short>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy) {
    store<YPlane>(cells_of(plane), ox, oy, w, h, destination, dx, dy);
}
void store_plane(const toolkit::grid<toolkit::rgb<short>>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy) {
    store<RgbPlane>(cells_of(plane), ox, oy, w, h, destination, dx, dy);
}
void store_plane(const toolkit::grid<toolkit::rgb<float>>& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy) {
    store<RgbFloatPlane>(cells_of(plane), ox, oy, w, h, destination, dx, dy);
}
void store_plane(const toolkit::plane_view& plane, int ox, int oy, int w, int h,
                 const Frame& destination, int dx, int dy) {
    store<YPlane>(Cells<const short>{plane.data, static_cast<int>(plane.width),
                                     static_cast<int>(plane.height), plane.stride},
                  ox, oy, w, h, destination, dx, dy);
}

struct PlaneRows::Columns : ColumnMap {
    using ColumnMap::ColumnMap;
};

PlaneRows::PlaneRows(const PlaneSource& source, int width)
    : source_(source), width_(std::max(width, 0)), columns_(new Columns(source, width)) {}

PlaneRows::~PlaneRows() = default;

void PlaneRows::load(int k, toolkit::rgb<short>* out) const {
    std::fill(out, out + width_, toolkit::rgb<short>{0, 0, 0});
    const long long y =
        map_coordinate(source_.y + k, source_.picture_h, source_.frame.max_h, source_.border);
    if (y >= 0) columns_->load_row<RgbPlane>(source_.frame.row(static_cast<int>(y)), out);
}
