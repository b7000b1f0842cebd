#include "platform/pen_stroke.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

struct Vec {
    double x, y;
};

Vec unit(Point a, Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::sqrt(dx * dx + dy * dy);
    return {dx / len, dy / len};
}

Point along(Point p, Vec v, double r) { return {p.x + v.x * r, p.y + v.y * r}; }

class PenWriter {
public:
    PenWriter(CoverageRaster& raster, double radius, double tolerance)
        : raster_(raster),
          r_(radius),
          tolerance_(tolerance),
          area_{-1, -1, raster.width() + 1.0, raster.height() + 1.0} {}

    // The rectangle swept along segment a-b (a != b).
    void segment(Point a, Point b) {
        if (!area_.overlaps(std::min(a.x, b.x) - r_, std::min(a.y, b.y) - r_,
                            std::max(a.x, b.x) + r_, std::max(a.y, b.y) + r_))
            return;
        const Vec d = unit(a, b);
        const Vec n{-d.y, d.x};
        const Point q[4] = {along(a, n, r_), along(b, n, r_), along(b, n, -r_), along(a, n, -r_)};
        // Wound negatively by construction (see twice_signed_area).
        for (int i = 0; i < 4; ++i) raster_.add_edge(q[i], q[(i + 1) % 4], -1.0f);
    }

    // The pie slice that fills the gap on the outer side of the corner at p,
    // between the segment arriving along `in` and the one leaving along `out`.
    void corner(Point p, Vec in, Vec out) {
        if (!area_.overlaps(p.x - r_, p.y - r_, p.x + r_, p.y + r_)) return;
        const double cross = in.x * out.y - in.y * out.x;
        const double dot = in.x * out.x + in.y * out.y;
        const double angle = std::atan2(std::fabs(cross), dot);
        if (angle < 1e-9) return;
        // Turning toward the left normal puts the gap on the right, and the
        // arc then turns the same way as the path; a full reversal takes the
        // right side.
        const double side = cross > 0 ? -1 : 1;
        const double turn = -side;
        const double start =
            std::atan2(side * in.x, -side * in.y);  // angle of side * (-in.y, in.x)
        const Point first = {p.x + r_ * std::cos(start), p.y + r_ * std::sin(start)};
        const double end_angle = start + turn * angle;
        const Point last = {p.x + r_ * std::cos(end_angle), p.y + r_ * std::sin(end_angle)};
        const float weight = static_cast<float>(turn);
        raster_.add_edge(p, first, weight);
        arc(p, start, end_angle, first, last, weight, 0);
        raster_.add_edge(last, p, weight);
    }

private:
    // Chords of the arc around p from angle a0 (point pa) to a1 (point pb):
    // one chord where the arc cannot reach the raster or is flat enough.
    void arc(Point p, double a0, double a1, Point pa, Point pb, float weight, int depth) {
        const double half = std::fabs(a1 - a0) * 0.5;
        const double sagitta = r_ * (1 - std::cos(half));
        const bool near =
            area_.overlaps(std::min(pa.x, pb.x) - sagitta, std::min(pa.y, pb.y) - sagitta,
                           std::max(pa.x, pb.x) + sagitta, std::max(pa.y, pb.y) + sagitta);
        if (!near || sagitta <= tolerance_ || depth >= 48) {
            raster_.add_edge(pa, pb, weight);
            return;
        }
        const double am = (a0 + a1) * 0.5;
        const Point pm = {p.x + r_ * std::cos(am), p.y + r_ * std::sin(am)};
        arc(p, a0, am, pa, pm, weight, depth + 1);
        arc(p, am, a1, pm, pb, weight, depth + 1);
    }

    CoverageRaster& raster_;
    double r_, tolerance_;
    Box area_;
};

// True when a disc of radius r around some point of the polylines holds the
// whole raster.
bool covers_raster(const PolylineSet& set, double r, const CoverageRaster& raster) {
    const double cx = raster.width() * 0.5, cy = raster.height() * 0.5;
    const double reach = r - std::sqrt(cx * cx + cy * cy) - 1;
    if (reach <= 0) return false;
    for (const Point& p : set.points())
        if ((p.x - cx) * (p.x - cx) + (p.y - cy) * (p.y - cy) <= reach * reach) return true;
    return false;
}

}  // namespace

bool stroke_polylines(const PolylineSet& set, double radius, double tolerance,
                      CoverageRaster& raster) {
    if (radius <= 0) return false;
    if (covers_raster(set, radius, raster)) return true;
    PenWriter pen(raster, radius, tolerance);
    for (std::size_t k = 0; k < set.contour_count(); ++k) {
        std::size_t n;
        const Point* p = set.contour(k, &n);
        for (std::size_t i = 0; i < n; ++i) {
            const Point a = p[i], b = p[(i + 1) % n], c = p[(i + 2) % n];
            pen.segment(a, b);
            pen.corner(b, unit(a, b), unit(b, c));
        }
    }
    return false;
}

}  // namespace platform
