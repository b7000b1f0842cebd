// Structuring elements: discs and tables as lists of runs.
#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "toolkit/grey_morphology.h"

namespace toolkit {

using morphology_detail::kMaxPoints;

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
        if (total > kMaxPoints) throw std::length_error("vector<T> too long");
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

table_runs_builder::table_runs_builder(std::int64_t cols, std::int64_t rows)
    : cols_(cols), rows_(rows), cx_(cols / 2), cy_(rows / 2) {
    // A table must leave room, within the array limit, for a border of one
    // cell around it: larger ones have always been refused.
    if (grid<int>::checked_count(static_cast<std::size_t>(cols) + 2,
                                 static_cast<std::size_t>(rows) + 2) > grid<int>::kMaxCount)
        throw std::length_error("vector<T> too long");
}

void table_runs_builder::end_row(std::size_t first) {
    last_row_first_ = first;
    ++row_;
    if (runs_.points() > kMaxPoints) throw std::length_error("vector<T> too long");
}

void table_runs_builder::repeat_row() {
    const std::size_t first = runs_.runs().size();
    for (std::size_t k = last_row_first_; k < first; ++k) {
        const morphology_run r = runs_.runs()[k];
        runs_.add(row_dy(), r.x0, r.x1);
    }
    end_row(first);
}

morphology_runs table_runs_builder::finish() {
    runs_.margin_x = static_cast<std::int32_t>(cols_ - cx_ - 1 >= cx_ ? cols_ - cx_ : cx_);
    runs_.margin_y = static_cast<std::int32_t>(rows_ - cy_ - 1 >= cy_ ? rows_ - cy_ : cy_);
    return std::move(runs_);
}

morphology_runs table_runs(const grid<int>& cells) {
    if (cells.empty()) return {};
    // Too many points fail before any run is stored.
    std::uint64_t total = 0;
    for (const int c : cells) total += c != 0;
    if (total > kMaxPoints) throw std::length_error("vector<T> too long");
    table_runs_builder builder(static_cast<std::int64_t>(cells.width()),
                               static_cast<std::int64_t>(cells.height()));
    for (std::size_t y = 0; y < cells.height(); ++y) {
        const int* row = cells.row(y);
        builder.add_row([row](std::int64_t x) { return row[x] != 0; });
    }
    return builder.finish();
}

}  // namespace toolkit
