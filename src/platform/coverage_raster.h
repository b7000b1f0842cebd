// Anti-aliased filling of polygons on a small pixel grid by signed-area
// accumulation: every edge adds, to the cells it crosses, the share of each
// pixel that lies to its right, scaled by its height in that pixel row; a
// running sum along each row then gives the winding at every pixel, and the
// coverage is its magnitude, at most 1 (the non-zero rule).
//
// Edges are clipped as they are added: rows outside the grid are skipped,
// parts left of it count in column 0 and parts right of it are dropped, so
// the cost of an edge is bounded by the grid, however far its ends lie.
// Coordinates are pixels, x to the right and y downwards, with the grid's
// top-left corner at (0, 0).
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

struct Point {
    double x = 0, y = 0;
};

class CoverageRaster {
public:
    // Clears the grid and sets its size (both at least 0).
    void reset(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }

    // One directed edge; `weight` is +1 or -1 and orients the polygon it
    // belongs to, so that differently wound polygons add up instead of
    // cancelling.
    void add_edge(Point from, Point to, float weight);

    // Coverage of row y as bytes 0..255 into out[0..width-1].
    void resolve_row(int y, std::uint8_t* out) const;

private:
    void add_row_span(float* cells, double x0, double x1, double dy) const;

    int width_ = 0, height_ = 0;
    std::vector<float> cells_;  // (width + 2) cells a row
};

// Twice the signed area of a polygon (positive when it turns from +x toward +y).
double twice_signed_area(const Point* points, std::size_t count);

}  // namespace platform
