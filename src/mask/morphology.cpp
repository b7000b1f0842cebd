#include "mask/morphology.h"

#include <stdexcept>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/parallel.h"
#include "buffers/region.h"
#include "mask/work_plane.h"

bool MorphologyElement::has_points() const {
    if (!is_table) return radius >= 0;
    const long long count = static_cast<long long>(rows) * cols;
    for (long long i = 0; i < count; ++i)
        if (trunc_to_int(cells[i]) != 0) return true;
    return false;
}

int MorphologyElement::extension_x() const {
    return static_cast<int>(((is_table ? static_cast<long long>(cols) : radius) + 1) / 2);
}

int MorphologyElement::extension_y() const {
    return static_cast<int>(((is_table ? static_cast<long long>(rows) : radius) + 1) / 2);
}

mist::morphology_structure make_morphology_structure(const MorphologyElement& element) {
    try {
        if (!element.is_table) return mist::circle(element.radius);
        mist::array2<int> cells(static_cast<std::size_t>(element.cols),
                                static_cast<std::size_t>(element.rows));
        if (cells.empty()) throw std::length_error("too many cells");
        for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = trunc_to_int(element.cells[i]);
        return mist::structure_from_table(cells);
    } catch (const std::length_error&) {
        const std::string shape =
            element.is_table ? "table of " + std::to_string(element.cols) + " x " +
                                   std::to_string(element.rows) + " cells"
                             : "radius " + std::to_string(element.radius);
        throw std::length_error("structuring element too large (" + shape + ")");
    }
}

namespace {

// A source coordinate v read for the work array: mirrored about the picture's
// first pixel (-1 reads 0) or its last pixel (L reads L - 2).  -1 when the
// cell keeps 0: the mirrored coordinate lies outside the buffer.
long long mirror(long long v, long long L, long long M) {
    if (v < 0) {
        v = -1 - v;
        return v < M ? v : -1;
    }
    if (v >= L) {
        v = 2 * L - 2 - v;
        return v >= 0 && v < M ? v : -1;
    }
    return v < M ? v : -1;
}

void copy_in(const MorphologyJob& job, int ex, int ey, mist::array2<short>& work) {
    const long long left = static_cast<long long>(job.sx) - ex;
    const long long top = static_cast<long long>(job.sy) - ey;
    const int W = static_cast<int>(work.width());
    // Every row reads the same columns: mirror them once.
    std::vector<int> column(static_cast<std::size_t>(W));
    for (int u = 0; u < W; ++u)
        column[static_cast<std::size_t>(u)] =
            static_cast<int>(mirror(left + u, job.picture_w, job.source.max_w));
    // Columns inside the picture read straight across; only the two ends
    // go through the map.
    int first = 0;
    while (first < W && column[static_cast<std::size_t>(first)] != left + first) ++first;
    int last = first;
    while (last < W && column[static_cast<std::size_t>(last)] == left + last) ++last;
    parallel_rows(static_cast<int>(work.height()), [&](int k) {
        short* out = work.row(static_cast<std::size_t>(k));
        const long long y = mirror(top + k, job.picture_h, job.source.max_h);
        if (y < 0) return;
        const PIXEL_YC* row = job.source.row(static_cast<int>(y));
        auto mapped = [&](int u) {
            const int x = column[static_cast<std::size_t>(u)];
            if (x >= 0) out[u] = row[x].y;
        };
        for (int u = 0; u < first; ++u) mapped(u);
        const PIXEL_YC* straight = row + (left + first);
        for (int u = first; u < last; ++u) out[u] = straight[u - first].y;
        for (int u = last; u < W; ++u) mapped(u);
    });
}

}  // namespace

void morphology_region(const MorphologyJob& job, const MorphologyElement& element, MorphologyOp op,
                       std::uint32_t threads) {
    const mist::morphology_structure structure = make_morphology_structure(element);
    const int ex = element.extension_x(), ey = element.extension_y();
    const std::size_t work_w = static_cast<std::size_t>(job.w) + 2 * static_cast<std::size_t>(ex);
    const std::size_t work_h = static_cast<std::size_t>(job.h) + 2 * static_cast<std::size_t>(ey);
    // Work cells are addressed with int coordinates by the copies.
    mist::array2<short> work;
    if (work_w > 0x7FFFFFFF || work_h > 0x7FFFFFFF || !work.resize(work_w, work_h))
        throw std::length_error("work area too large (" + std::to_string(work_w) + " x " +
                                std::to_string(work_h) + " pixels)");
    copy_in(job, ex, ey, work);
    switch (op) {
        case MorphologyOp::erode:
            mist::erosion(work, structure, threads);
            break;
        case MorphologyOp::dilate:
            mist::dilation(work, structure, threads);
            break;
        case MorphologyOp::open:
            mist::opening(work, structure, threads);
            break;
        case MorphologyOp::close:
            mist::closing(work, structure, threads);
            break;
    }
    store_work_y(work, ex, ey, job.destination, job.dx, job.dy, job.w, job.h);
}
