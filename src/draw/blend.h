// The 12-bit blend of compositing: (s * a + d * (4096 - a)) >> 12 with an
// arithmetic (flooring) shift.  Opacities come from scripts unclamped, so
// the products are formed in 64 bits: no signed overflow for any opacity,
// and the same result as 32-bit arithmetic wherever that did not overflow.
#pragma once

#include <cstdint>

inline long long blend12(int s, int d, int a) {
    return (static_cast<long long>(s) * a + static_cast<long long>(d) * (4096LL - a)) >> 12;
}

// A blend result kept to the low 16 bits, as stored components are.
inline std::int16_t blend12_low16(int s, int d, int a) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(blend12(s, d, a) & 0xffff));
}

// A blend result saturated to the 16-bit range.
inline long long clamp16(long long v) { return v < -32768 ? -32768 : (v > 32767 ? 32767 : v); }

// 12-bit fixed point of a script opacity (1.0 = 4096), truncated, unclamped.
int opacity12(double opacity);
