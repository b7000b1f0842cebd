// Number conversions shared by every pixel operation.
//
// Real-to-integer conversions truncate toward zero.  In C++ a double that is
// NaN or outside the int range has no defined conversion, so every such
// conversion goes through trunc_to_int: NaN becomes 0 and out-of-range values
// saturate to the 32-bit range.  A value stored into a 16-bit component then
// keeps its low 16 bits (it wraps, it does not saturate).
#pragma once

#include <cmath>
#include <cstdint>

inline int trunc_to_int(double v) {
    if (!(v == v)) return 0;  // NaN
    if (v >= 2147483647.0) return 2147483647;
    if (v <= -2147483648.0) return static_cast<int>(-2147483647 - 1);
    return static_cast<int>(v);
}

// Low 16 bits of a 32-bit integer, as a signed component.
inline std::int16_t low16(int v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<unsigned>(v)));
}

// A double truncated toward zero and stored into a 16-bit component.
inline std::int16_t to_component(double v) { return low16(trunc_to_int(v)); }

// 12-bit fixed point (4096 = 1.0) scaled back by an arithmetic shift right,
// which rounds toward minus infinity (C++20 defines >> of a negative value so).
inline int fixed12(long long v) { return static_cast<int>(v >> 12); }

// A 32-bit value limited to the 16-bit range (for the members that saturate
// rather than wrap).
inline std::int16_t saturate16(long long v) {
    return static_cast<std::int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

// A double truncated toward zero and saturated to the 16-bit range.
inline std::int16_t saturate_component(double v) { return saturate16(trunc_to_int(v)); }
