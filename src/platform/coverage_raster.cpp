#include "platform/coverage_raster.h"

#include <algorithm>
#include <cmath>

namespace platform {

void CoverageRaster::reset(int width, int height) {
    width_ = std::max(width, 0);
    height_ = std::max(height, 0);
    cells_.assign(static_cast<std::size_t>(width_ + 2) * static_cast<std::size_t>(height_), 0.0f);
}

// Spreads the winding change dy of an edge piece inside one pixel row, from
// x0 to x1, over the cells of that row.  Within a pixel column the share to
// the right of a straight piece is 1 minus the offset of its middle.
void CoverageRaster::add_row_span(float* cells, double x0, double x1, double dy) const {
    double lo = std::min(x0, x1), hi = std::max(x0, x1);
    const double w = width_;
    if (hi <= 0) {
        cells[0] += static_cast<float>(dy);
        return;
    }
    if (lo >= w) return;
    if (hi - lo < 1e-9) {
        const int c = static_cast<int>(lo);
        const double m = lo - c;
        cells[c] += static_cast<float>(dy * (1 - m));
        cells[c + 1] += static_cast<float>(dy * m);
        return;
    }
    const double per_x = dy / (hi - lo);
    if (lo < 0) {
        cells[0] += static_cast<float>(per_x * -lo);
        lo = 0;
    }
    const double end = std::min(hi, w);
    int c = static_cast<int>(lo);
    for (double x = lo; x < end; ++c) {
        const double next = std::min(end, c + 1.0);
        const double d = per_x * (next - x);
        const double m = (x + next) * 0.5 - c;
        cells[c] += static_cast<float>(d * (1 - m));
        cells[c + 1] += static_cast<float>(d * m);
        x = next;
    }
}

void CoverageRaster::add_edge(Point from, Point to, float weight) {
    if (from.y == to.y || !std::isfinite(from.x + from.y + to.x + to.y)) return;
    double dir = weight;
    if (from.y > to.y) {
        std::swap(from, to);
        dir = -dir;
    }
    if (to.y <= 0 || from.y >= height_) return;
    if (from.x >= width_ && to.x >= width_) return;
    const double dxdy = (to.x - from.x) / (to.y - from.y);
    const int first = static_cast<int>(std::max(0.0, std::floor(from.y)));
    const int last = static_cast<int>(std::min<double>(height_, std::ceil(to.y)));
    const std::size_t stride = static_cast<std::size_t>(width_) + 2;
    for (int row = first; row < last; ++row) {
        const double ya = std::max(from.y, static_cast<double>(row));
        const double yb = std::min(to.y, row + 1.0);
        if (yb <= ya) continue;
        const double xa = from.x + (ya - from.y) * dxdy;
        const double xb = from.x + (yb - from.y) * dxdy;
        add_row_span(cells_.data() + row * stride, xa, xb, (yb - ya) * dir);
    }
}

void CoverageRaster::resolve_row(int y, std::uint8_t* out) const {
    const float* cells = cells_.data() + static_cast<std::size_t>(y) * (width_ + 2);
    float sum = 0;
    for (int x = 0; x < width_; ++x) {
        sum += cells[x];
        const float c = std::min(std::fabs(sum), 1.0f);
        out[x] = static_cast<std::uint8_t>(c * 255.0f + 0.5f);
    }
}

double twice_signed_area(const Point* points, std::size_t count) {
    double a = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const Point& p = points[i];
        const Point& q = points[(i + 1) % count];
        a += p.x * q.y - q.x * p.y;
    }
    return a;
}

}  // namespace platform
