#include "mask/morphology.h"

#include <stdexcept>
#include <string>

#include "buffers/numeric.h"
#include "buffers/work_plane.h"

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
    load_plane({job.source, job.picture_w, job.picture_h, static_cast<long long>(job.sx) - ex,
                static_cast<long long>(job.sy) - ey, Border::mirror},
               work);
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
    store_plane(work, ex, ey, job.w, job.h, job.destination, job.dx, job.dy);
}
