// Structuring elements: discs and tables as lists of runs.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "toolkit/morphology.h"

namespace mist {

using morphology_detail::max_points;

void morphology_runs::add(std::int32_t dy, std::int32_t x0, std::int32_t x1) {
    if (runs_.empty()) {
        min_x_ = x0, max_x_ = x1, min_y_ = max_y_ = dy;
    } else {
        min_x_ = std::min(min_x_, x0);
        max_x_ = std::max(max_x_, x1);
        min_y_ = std::min(min_y_, dy);
        max_y_ = std::max(max_y_, dy);
    }
    runs_.push_back({dy, x0, x1});
    points_ += static_cast<std::uint64_t>(static_cast<std::int64_t>(x1) - x0 + 1);
}

morphology_runs circle_runs(double radius, double pitch_x, double pitch_y) {
    morphology_runs s;
    if (!(radius >= 0) || !(pitch_x > 0) || !(pitch_y > 0)) return s;
    const double m = pitch_x > pitch_y ? pitch_x : pitch_y;
    const double ax = pitch_x / m, ay = pitch_y / m;
    const double rx_real = std::ceil(radius / ax), ry_real = std::ceil(radius / ay);
    // Offsets are signed 32-bit; a larger reach cannot be addressed.
    if (rx_real > 2147483646.0 || ry_real > 2147483646.0)
        throw std::length_error("vector<T> too long");
    const std::int64_t rx = static_cast<std::int64_t>(rx_real);
    const std::int64_t ry = static_cast<std::int64_t>(ry_real);
    const double r2 = radius * radius;
    auto inside = [&](std::int64_t j, std::int64_t i) {
        const double dx = ax * static_cast<double>(j), dy = ay * static_cast<double>(i);
        return dx * dx + dy * dy <= r2;
    };
    // Half width of row i (cells -k..k), or -1 for an empty row.  Each row
    // of a disc is one run, symmetric about the centre column.
    auto half_width = [&](std::int64_t i) -> std::int64_t {
        const double dy = ay * static_cast<double>(i);
        const double rest = r2 - dy * dy;
        if (rest < 0) return -1;
        std::int64_t k = static_cast<std::int64_t>(std::floor(std::sqrt(rest) / ax));
        if (k > rx) k = rx;
        while (k < rx && inside(k + 1, i)) ++k;
        while (k >= 0 && !inside(k, i)) --k;
        return k;
    };
    // Count first, stopping as soon as the limit is passed.
    std::uint64_t total = 0;
    for (std::int64_t i = -ry; i <= ry; ++i) {
        const std::int64_t k = half_width(i);
        if (k >= 0) total += static_cast<std::uint64_t>(2 * k + 1);
        if (total > max_points) throw std::length_error("vector<T> too long");
    }
    for (std::int64_t i = -ry; i <= ry; ++i) {
        const std::int64_t k = half_width(i);
        if (k >= 0)
            s.add(static_cast<std::int32_t>(i), static_cast<std::int32_t>(-k),
                  static_cast<std::int32_t>(k));
    }
    s.margin_x = static_cast<std::int32_t>(rx);
    s.margin_y = static_cast<std::int32_t>(ry);
    return s;
}

morphology_runs table_runs(const array2<int>& cells) {
    morphology_runs s;
    if (cells.empty()) return s;
    // A table must leave room, within the array limit, for a border of one
    // cell around it (the 0/1 copy with a border of zeros that elements
    // were once kept as): larger ones have always been refused.
    if (array2<int>::checked_count(cells.width() + 2, cells.height() + 2) > array2<int>::max_size)
        throw std::length_error("vector<T> too long");
    const std::int64_t cols = static_cast<std::int64_t>(cells.width());
    const std::int64_t rows = static_cast<std::int64_t>(cells.height());
    const std::int64_t cx = cols / 2, cy = rows / 2;
    std::uint64_t total = 0;
    for (const int c : cells) total += c != 0;
    if (total > max_points) throw std::length_error("vector<T> too long");
    for (std::int64_t y = 0; y < rows; ++y) {
        const int* row = cells.row(static_cast<std::size_t>(y));
        for (std::int64_t x = 0; x < cols;) {
            if (row[x] == 0) {
                ++x;
                continue;
            }
            std::int64_t end = x;
            while (end + 1 < cols && row[end + 1] != 0) ++end;
            s.add(static_cast<std::int32_t>(y - cy), static_cast<std::int32_t>(x - cx),
                  static_cast<std::int32_t>(end - cx));
            x = end + 1;
        }
    }
    s.margin_x = static_cast<std::int32_t>(cols - cx - 1 >= cx ? cols - cx : cx);
    s.margin_y = static_cast<std::int32_t>(rows - cy - 1 >= cy ? rows - cy : cy);
    return s;
}

}  // namespace mist
