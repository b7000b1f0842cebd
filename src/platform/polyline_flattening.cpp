#include "platform/polyline_flattening.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

constexpr int kMaxChords = 16;  // more than this and the curve is halved first
constexpr int kMaxDepth = 40;

Point mid(Point a, Point b) { return {(a.x + b.x) * 0.5, (a.y + b.y) * 0.5}; }
double length(double x, double y) { return std::sqrt(x * x + y * y); }

template <std::size_t N>
bool near_region(const Box& region, const Point (&p)[N]) {
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
        x0 = std::min(x0, q.x), x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y), y1 = std::max(y1, q.y);
    }
    return region.overlaps(x0, y0, x1, y1);
}

}  // namespace

void PolylineSet::begin(const Box& region, double tolerance) {
    region_ = region;
    tolerance_ = tolerance;
    points_.clear();
    ends_.clear();
    start_ = 0;
    open_ = false;
}

void PolylineSet::finish_contour() {
    if (!open_) return;
    open_ = false;
    // The closing point repeats the first; drop it, and drop contours that
    // enclose nothing.
    if (points_.size() - start_ > 1) {
        const Point a = points_[start_], b = points_.back();
        if (a.x == b.x && a.y == b.y) points_.pop_back();
    }
    if (points_.size() - start_ < 3) {
        points_.resize(start_);
        return;
    }
    ends_.push_back(points_.size());
}

void PolylineSet::add_point(Point p) {
    if (points_.size() > start_) {
        const Point& last = points_.back();
        if (last.x == p.x && last.y == p.y) return;
    }
    points_.push_back(p);
}

void PolylineSet::move_to(Point p) {
    finish_contour();
    start_ = points_.size();
    open_ = true;
    points_.push_back(p);
}

void PolylineSet::line_to(Point p) { add_point(p); }

void PolylineSet::quad_to(Point control, Point p) {
    quad_piece(points_.empty() ? control : points_.back(), control, p, 0);
}

void PolylineSet::cubic_to(Point control1, Point control2, Point p) {
    cubic_piece(points_.empty() ? control1 : points_.back(), control1, control2, p, 0);
}

// Uniform chords of a quadratic curve stay within |p0 - 2 p1 + p2| / (4 n^2)
// of it.
void PolylineSet::quad_piece(Point p0, Point p1, Point p2, int depth) {
    const Point pts[3] = {p0, p1, p2};
    if (!near_region(region_, pts)) return add_point(p2);
    const double dd = length(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y);
    const double n = std::ceil(std::sqrt(dd / (4 * tolerance_)));
    if (n <= 1 || depth >= kMaxDepth) return add_point(p2);
    if (n > kMaxChords) {
        const Point a = mid(p0, p1), b = mid(p1, p2), m = mid(a, b);
        quad_piece(p0, a, m, depth + 1);
        quad_piece(m, b, p2, depth + 1);
        return;
    }
    const int count = static_cast<int>(n);
    for (int i = 1; i < count; ++i) {
        const double t = static_cast<double>(i) / count, s = 1 - t;
        add_point({s * s * p0.x + 2 * s * t * p1.x + t * t * p2.x,
                   s * s * p0.y + 2 * s * t * p1.y + t * t * p2.y});
    }
    add_point(p2);
}

// For a cubic the bound is 3/4 of the larger second difference over n^2.
void PolylineSet::cubic_piece(Point p0, Point p1, Point p2, Point p3, int depth) {
    const Point pts[4] = {p0, p1, p2, p3};
    if (!near_region(region_, pts)) return add_point(p3);
    const double dd = std::max(length(p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y),
                               length(p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y));
    const double n = std::ceil(std::sqrt(0.75 * dd / tolerance_));
    if (n <= 1 || depth >= kMaxDepth) return add_point(p3);
    if (n > kMaxChords) {
        const Point a = mid(p0, p1), b = mid(p1, p2), c = mid(p2, p3);
        const Point ab = mid(a, b), bc = mid(b, c), m = mid(ab, bc);
        cubic_piece(p0, a, ab, m, depth + 1);
        cubic_piece(m, bc, c, p3, depth + 1);
        return;
    }
    const int count = static_cast<int>(n);
    for (int i = 1; i < count; ++i) {
        const double t = static_cast<double>(i) / count, s = 1 - t;
        const double a = s * s * s, b = 3 * s * s * t, c = 3 * s * t * t, d = t * t * t;
        add_point(
            {a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    add_point(p3);
}

const Point* PolylineSet::contour(std::size_t k, std::size_t* count) const {
    const std::size_t first = k == 0 ? 0 : ends_[k - 1];
    *count = ends_[k] - first;
    return points_.data() + first;
}

void fill_polylines(const PolylineSet& set, CoverageRaster& raster, float weight) {
    for (std::size_t k = 0; k < set.contour_count(); ++k) {
        std::size_t n;
        const Point* p = set.contour(k, &n);
        for (std::size_t i = 0; i < n; ++i) raster.add_edge(p[i], p[(i + 1) % n], weight);
    }
}

}  // namespace platform
