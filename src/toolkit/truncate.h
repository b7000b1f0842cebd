// Real-to-integer conversion of the toolkit's filters.
//
// A filter result is truncated toward zero and stored into a 16-bit
// component as its low 16 bits.  NaN gives 0 and values beyond the 32-bit
// range saturate before the low bits are taken, the same rule as every other
// conversion of the plug-in, so a filter never meets an undefined conversion.
#pragma once

#include <cstdint>

namespace toolkit {

inline std::int32_t truncate_to_int(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return static_cast<std::int32_t>(-2147483647 - 1);
    return static_cast<std::int32_t>(v);
}

inline short truncate_to_short(double v) {
    return static_cast<short>(
        static_cast<std::uint16_t>(static_cast<std::uint32_t>(truncate_to_int(v))));
}

}  // namespace toolkit
