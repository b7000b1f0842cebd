// toolkit::rgb: a pixel of three components in a fixed order.
//
// The neighbourhood filters hold a pixel's R, G and B as the first, second
// and third component; the toolkit uses it with signed 16-bit and 32-bit float
// components.  It is a plain aggregate so arrays of it can be zero-filled as
// raw memory.
#pragma once

#include <type_traits>

namespace toolkit {

template <class T>
struct rgb {
    T r{};  // first component
    T g{};  // second component
    T b{};  // third component

    friend bool operator==(const rgb&, const rgb&) = default;
};

static_assert(std::is_trivially_copyable_v<rgb<short>>);
static_assert(std::is_trivially_copyable_v<rgb<float>>);

}  // namespace toolkit
