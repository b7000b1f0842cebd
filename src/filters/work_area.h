// The work arrays of the neighbourhood filters.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

#include "toolkit/grid.h"

// Makes `array` a zero-filled (w + 2 mx) x (h + 2 my) array; throws
// std::length_error with a readable text when that is more than an array
// can hold (the copies address work cells with int coordinates).
template <class T>
void make_work_area(toolkit::grid<T>& array, long long w, long long h, long long mx, long long my) {
    const long long W = w + 2 * mx, H = h + 2 * my;
    if (W > 0x7FFFFFFF || H > 0x7FFFFFFF ||
        !array.resize(static_cast<std::size_t>(W), static_cast<std::size_t>(H)))
        throw std::length_error("work area too large (" + std::to_string(W) + " x " +
                                std::to_string(H) + " pixels)");
}
