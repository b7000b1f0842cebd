// Grey-level erosion, dilation, opening and closing of a mist::array2<short>,
// in place, with a structuring element of any shape, on worker threads.
//
// The element is kept as run lists.  Each point carries a life: its 1-based
// position within its horizontal run, i.e. for how many window positions
// (this one included) the image pixel under it stays under the element as
// the window moves right.  Moving one pixel right then needs a look at the
// entering points only (the right end of each run, life = run length); the
// whole list is scanned again only when the current extreme's life runs
// out.  Among equal values the longer life wins, which keeps the extreme
// valid for as many moves as possible.
//
// The image is copied into a padded marray whose margins hold a neutral
// value (32767 for erosion, -32768 for dilation) so that window loops need
// no bounds tests.  The same offsets serve both passes: a dilation by an
// asymmetric element is not reflected.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>

#include "toolkit/array.h"
#include "toolkit/bounded_list.h"
#include "toolkit/marray.h"
#include "toolkit/thread.h"

namespace mist {

namespace morphology_detail {

// One point of an element: offsets from the centre and its life.
struct point {
    std::int32_t x, y, z, life;
};

// A point turned into an element distance within one padded image.
struct offset_point {
    std::ptrdiff_t offset;
    std::int32_t life;
};

using offset_list = bounded_list<offset_point>;

// Every point with offset = y * padded_width + x, in list order.
inline offset_list make_offsets(const bounded_list<point>& points, std::size_t padded_width) {
    offset_list out;
    out.reserve(points.size());
    for (const point& p : points)
        out.push_back({static_cast<std::ptrdiff_t>(p.y) * static_cast<std::ptrdiff_t>(padded_width) +
                           p.x,
                       p.life});
    return out;
}

// The worker: rows thread_index, thread_index + n, ... of the output, each
// the extreme of the padded input over the element.
class morphology_thread : public thread<morphology_thread> {
public:
    const marray<array2<short>>* input = nullptr;
    array2<short>* output = nullptr;
    const offset_list* full = nullptr;
    const offset_list* entering = nullptr;
    bool erode = true;

protected:
    std::uint32_t thread_function() override {
        if (erode)
            run_rows<true>();
        else
            run_rows<false>();
        return 1;
    }

private:
    // The current extreme and its life are kept as one 64-bit key,
    // sign * value * 2^32 + life (sign -1 for erosion), so that "beats, or
    // equals with a longer life" is simply a larger key.  The life is the
    // low half: the key's life runs out when its low half reaches 0, and
    // one move right is key - 1.
    static constexpr std::int64_t kValueUnit = std::int64_t{1} << 32;
    static constexpr std::int64_t kLifeMask = kValueUnit - 1;

    template <bool Erode>
    static std::int64_t key(const short* centre, const offset_point& p) {
        const std::int64_t v = centre[p.offset];
        return (Erode ? -v : v) * kValueUnit + p.life;
    }

    template <bool Erode>
    static short value_of(std::int64_t k) {
        const std::int64_t v = k >> 32;  // the life never borrows from the value
        return static_cast<short>(Erode ? -v : v);
    }

    // The largest key of the points, taken in two independent chains so
    // that the comparisons overlap; max is associative, so the result is
    // that of one pass in list order.
    template <bool Erode>
    static std::int64_t scan(const short* centre, const offset_point* list, std::size_t count,
                             std::int64_t best) {
        std::int64_t other = best;
        std::size_t k = 0;
        for (; k + 1 < count; k += 2) {
            best = std::max(best, key<Erode>(centre, list[k]));
            other = std::max(other, key<Erode>(centre, list[k + 1]));
        }
        if (k < count) best = std::max(best, key<Erode>(centre, list[k]));
        return std::max(best, other);
    }

    template <bool Erode>
    void run_rows() {
        const std::size_t W = output->width(), H = output->height();
        const std::size_t padded_width = input->width();
        const offset_point* all = full->data();
        const std::size_t all_n = full->size();
        const offset_point* enter = entering->data();
        const std::size_t enter_n = entering->size();
        if (W == 0 || all_n == 0) return;
        for (std::size_t y = thread_index; y < H; y += thread_count) {
            const short* centre =
                input->data() + (y + input->margin_y()) * padded_width + input->margin_x();
            short* out = output->row(y);
            std::int64_t best = scan<Erode>(centre, all + 1, all_n - 1, key<Erode>(centre, all[0]));
            --best;
            for (std::size_t x = 1;; ++x) {
                out[x - 1] = value_of<Erode>(best);
                if (x == W) break;
                ++centre;
                if ((best & kLifeMask) != 0)
                    best = scan<Erode>(centre, enter, enter_n, best);
                else  // the extreme has left the window: look at every point
                    best = scan<Erode>(centre, all + 1, all_n - 1, key<Erode>(centre, all[0]));
                --best;
            }
        }
    }
};

}  // namespace morphology_detail

// A structuring element: every point in row order (y ascending, then x), the
// right-hand end of every run, and the margins a padded image needs.
struct morphology_structure {
    bounded_list<morphology_detail::point> full;
    bounded_list<morphology_detail::point> entering;
    std::int32_t margin_x = 0;
    std::int32_t margin_y = 0;

    bool empty() const { return full.empty(); }
};

// A disc of radius r for an image of pixel pitches pitch_x x pitch_y: the
// cells (j, i) with (ax j)^2 + (ay i)^2 <= r^2, where ax, ay are the pitches
// divided by the larger one.  With unit pitches this is j^2 + i^2 <= r^2:
// radius 1 is the five-point cross, radius 2 has 13 points.  A negative
// radius gives an empty element.  Throws std::length_error when the point
// list would exceed its limit; the count is checked before any list grows.
inline morphology_structure circle(double radius, double pitch_x = 1.0, double pitch_y = 1.0) {
    using morphology_detail::point;
    morphology_structure s;
    if (!(radius >= 0) || !(pitch_x > 0) || !(pitch_y > 0)) return s;
    const double m = pitch_x > pitch_y ? pitch_x : pitch_y;
    const double ax = pitch_x / m, ay = pitch_y / m;
    const double rx_real = std::ceil(radius / ax), ry_real = std::ceil(radius / ay);
    // The margins are signed 32-bit; a larger reach cannot be addressed.
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
    std::size_t total = 0;
    for (std::int64_t i = -ry; i <= ry; ++i) {
        const std::int64_t k = half_width(i);
        if (k >= 0) total += static_cast<std::size_t>(2 * k + 1);
        bounded_list<point>::check(total);
    }
    s.full.reserve(total);
    s.entering.reserve(static_cast<std::size_t>(2 * ry + 1));
    for (std::int64_t i = -ry; i <= ry; ++i) {
        const std::int64_t k = half_width(i);
        if (k < 0) continue;
        for (std::int64_t j = -k; j <= k; ++j)
            s.full.push_back({static_cast<std::int32_t>(j), static_cast<std::int32_t>(i), 0,
                              static_cast<std::int32_t>(j + k + 1)});
        s.entering.push_back({static_cast<std::int32_t>(k), static_cast<std::int32_t>(i), 0,
                              static_cast<std::int32_t>(2 * k + 1)});
    }
    s.margin_x = static_cast<std::int32_t>(rx);
    s.margin_y = static_cast<std::int32_t>(ry);
    return s;
}

// An element from a table of cols x rows cells, centred at (cols / 2,
// rows / 2): every non-zero cell is a point.  An all-zero table gives an
// empty element.
inline morphology_structure structure_from_table(const array2<int>& cells) {
    using morphology_detail::point;
    morphology_structure s;
    if (cells.empty()) return s;
    // The 0/1 copy with a border of zeros ends every run without a test.
    const marray<array2<int>> shape(cells, 1, 1, 0);
    if (shape.empty()) throw std::length_error("vector<T> too long");
    const std::int64_t cols = static_cast<std::int64_t>(cells.width());
    const std::int64_t rows = static_cast<std::int64_t>(cells.height());
    const std::int64_t cx = cols / 2, cy = rows / 2;
    std::size_t total = 0;
    for (const int c : cells) total += c != 0;
    s.full.reserve(total);
    for (std::int64_t y = 0; y < rows; ++y) {
        const int* row = shape.row(static_cast<std::size_t>(y + 1)) + 1;
        std::int32_t run = 0;
        for (std::int64_t x = 0; x < cols; ++x) {
            if (row[x] == 0) {
                run = 0;
                continue;
            }
            ++run;
            const point p{static_cast<std::int32_t>(x - cx), static_cast<std::int32_t>(y - cy), 0,
                          run};
            s.full.push_back(p);
            if (row[x + 1] == 0) s.entering.push_back(p);
        }
    }
    s.margin_x = static_cast<std::int32_t>(cols - cx - 1 >= cx ? cols - cx : cx);
    s.margin_y = static_cast<std::int32_t>(rows - cy - 1 >= cy ? rows - cy : cy);
    return s;
}

namespace morphology_detail {

constexpr short erosion_fill = 32767;
constexpr short dilation_fill = -32768;

// Runs one pass of n workers from `padded` into `image`.
inline void run_pass(const marray<array2<short>>& padded, array2<short>& image,
                     const offset_list& full, const offset_list& entering, bool erode,
                     std::uint32_t n) {
    std::unique_ptr<morphology_thread[]> workers(new morphology_thread[n]);
    for (std::uint32_t i = 0; i < n; ++i) {
        morphology_thread& w = workers[i];
        w.thread_index = i;
        w.thread_count = n;
        w.input = &padded;
        w.output = &image;
        w.full = &full;
        w.entering = &entering;
        w.erode = erode;
    }
    run_threads(workers.get(), n);
}

// One or two passes; `first_erodes` chooses erosion or dilation first.
inline bool morphology(array2<short>& image, const morphology_structure& s, std::uint32_t n,
                       int passes, bool first_erodes) {
    if (image.empty() || s.empty()) return false;
    if (n == 0) n = processor_count();
    marray<array2<short>> padded(image, static_cast<std::size_t>(s.margin_x),
                                 static_cast<std::size_t>(s.margin_y),
                                 first_erodes ? erosion_fill : dilation_fill);
    if (padded.empty()) throw std::length_error("padded image too large");
    const offset_list full = make_offsets(s.full, padded.width());
    const offset_list entering = make_offsets(s.entering, padded.width());
    run_pass(padded, image, full, entering, first_erodes, n);
    if (passes == 2) {
        // Same size, so the block and the offsets stay valid.
        padded.resize(padded.width(), padded.height());
        padded.copy_interior(image);
        padded.fill_margin(first_erodes ? dilation_fill : erosion_fill);
        run_pass(padded, image, full, entering, !first_erodes, n);
    }
    return true;
}

}  // namespace morphology_detail

// Each returns false, doing nothing, for an empty image (or element).  A
// thread count of 0 means one worker per processor.
inline bool erosion(array2<short>& image, const morphology_structure& s, std::uint32_t threads = 0) {
    return morphology_detail::morphology(image, s, threads, 1, true);
}
inline bool dilation(array2<short>& image, const morphology_structure& s,
                     std::uint32_t threads = 0) {
    return morphology_detail::morphology(image, s, threads, 1, false);
}
inline bool opening(array2<short>& image, const morphology_structure& s, std::uint32_t threads = 0) {
    return morphology_detail::morphology(image, s, threads, 2, true);
}
inline bool closing(array2<short>& image, const morphology_structure& s, std::uint32_t threads = 0) {
    return morphology_detail::morphology(image, s, threads, 2, false);
}

// The same with a disc of `radius`, shaped by the image's pitches.
inline bool erosion(array2<short>& image, double radius, std::uint32_t threads = 0) {
    if (image.empty()) return false;
    return erosion(image, circle(radius, image.pitch_x, image.pitch_y), threads);
}
inline bool dilation(array2<short>& image, double radius, std::uint32_t threads = 0) {
    if (image.empty()) return false;
    return dilation(image, circle(radius, image.pitch_x, image.pitch_y), threads);
}
inline bool opening(array2<short>& image, double radius, std::uint32_t threads = 0) {
    if (image.empty()) return false;
    return opening(image, circle(radius, image.pitch_x, image.pitch_y), threads);
}
inline bool closing(array2<short>& image, double radius, std::uint32_t threads = 0) {
    if (image.empty()) return false;
    return closing(image, circle(radius, image.pitch_x, image.pitch_y), threads);
}

}  // namespace mist
