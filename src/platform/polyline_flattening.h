// Closed polylines from outlines made of lines and Bezier curves.  Curves are
// cut into chords no farther than a tolerance from the curve, but only where
// they come near a region of interest: a curve whose control points all lie
// outside that region becomes one chord, which changes nothing inside it (the
// curve and the chord both stay within the control points' bounding box).
// So the number of points is bounded by the region, not by how large the
// outline is.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/coverage_raster.h"

namespace platform {

struct Box {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool overlaps(double ax, double ay, double bx, double by) const {
        return ax <= x1 && bx >= x0 && ay <= y1 && by >= y0;
    }
};

class PolylineSet {
public:
    // Starts afresh; curves are flattened to `tolerance` pixels inside `region`.
    void begin(const Box& region, double tolerance);

    void move_to(Point p);
    void line_to(Point p);
    void quad_to(Point control, Point p);
    void cubic_to(Point control1, Point control2, Point p);
    // Closes the last contour; call before reading the contours.
    void end() { finish_contour(); }

    std::size_t contour_count() const { return ends_.size(); }
    // Points of contour k; the contour closes from the last point to the first.
    const Point* contour(std::size_t k, std::size_t* count) const;
    const std::vector<Point>& points() const { return points_; }

private:
    void finish_contour();
    void add_point(Point p);
    void quad_piece(Point p0, Point p1, Point p2, int depth);
    void cubic_piece(Point p0, Point p1, Point p2, Point p3, int depth);

    Box region_;
    double tolerance_ = 0.1;
    std::vector<Point> points_;
    std::vector<std::size_t> ends_;  // one past the last point of each contour
    std::size_t start_ = 0;          // first point of the open contour
    bool open_ = false;
};

// Every edge of the polylines into `raster` with the given weight.
void fill_polylines(const PolylineSet& set, CoverageRaster& raster, float weight);

}  // namespace platform
