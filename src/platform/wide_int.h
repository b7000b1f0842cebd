// A signed 128-bit integer for exact intermediate products (line and
// ellipse tests of far-away points, resize positions).  GCC has __int128 on
// 64-bit targets only; the 32-bit Windows build uses Int128, a two-word
// version with the same results (two's complement, division truncating
// toward zero).
#pragma once

#include <cstdint>

namespace platform {

class Int128 {
public:
    constexpr Int128() = default;
    constexpr Int128(long long v)
        : lo_(static_cast<std::uint64_t>(v)), hi_(v < 0 ? ~std::uint64_t{0} : 0) {}
    constexpr Int128(int v) : Int128(static_cast<long long>(v)) {}

    explicit constexpr operator long long() const { return static_cast<long long>(lo_); }
    explicit constexpr operator int() const {
        return static_cast<int>(static_cast<long long>(lo_));
    }
    explicit operator long double() const {
        if (negative())
            return -static_cast<long double>(magnitude_high(*this)) * 18446744073709551616.0L -
                   static_cast<long double>(negate(*this).lo_);
        return static_cast<long double>(hi_) * 18446744073709551616.0L +
               static_cast<long double>(lo_);
    }

    friend constexpr Int128 operator+(Int128 a, Int128 b) {
        Int128 r;
        r.lo_ = a.lo_ + b.lo_;
        r.hi_ = a.hi_ + b.hi_ + (r.lo_ < a.lo_ ? 1 : 0);
        return r;
    }
    friend constexpr Int128 operator-(Int128 a, Int128 b) {
        Int128 r;
        r.lo_ = a.lo_ - b.lo_;
        r.hi_ = a.hi_ - b.hi_ - (a.lo_ < b.lo_ ? 1 : 0);
        return r;
    }
    constexpr Int128 operator-() const { return negate(*this); }
    friend constexpr Int128 operator*(Int128 a, Int128 b) {
        // The low 128 bits of the product, the same for signed and unsigned.
        Int128 r;
        std::uint64_t high = 0;
        r.lo_ = multiply_64(a.lo_, b.lo_, &high);
        r.hi_ = high + a.lo_ * b.hi_ + a.hi_ * b.lo_;
        return r;
    }
    friend constexpr Int128 operator/(Int128 a, Int128 b) {
        Int128 q, r;
        divide(a, b, &q, &r);
        return q;
    }
    friend constexpr Int128 operator%(Int128 a, Int128 b) {
        Int128 q, r;
        divide(a, b, &q, &r);
        return r;
    }

    friend constexpr bool operator==(Int128 a, Int128 b) {
        return a.lo_ == b.lo_ && a.hi_ == b.hi_;
    }
    friend constexpr bool operator<(Int128 a, Int128 b) {
        const auto ah = static_cast<std::int64_t>(a.hi_), bh = static_cast<std::int64_t>(b.hi_);
        return ah != bh ? ah < bh : a.lo_ < b.lo_;
    }
    friend constexpr bool operator!=(Int128 a, Int128 b) { return !(a == b); }
    friend constexpr bool operator>(Int128 a, Int128 b) { return b < a; }
    friend constexpr bool operator<=(Int128 a, Int128 b) { return !(b < a); }
    friend constexpr bool operator>=(Int128 a, Int128 b) { return !(a < b); }

private:
    constexpr bool negative() const { return (hi_ >> 63) != 0; }
    static constexpr Int128 negate(Int128 a) { return Int128(0) - a; }
    static constexpr std::uint64_t magnitude_high(Int128 a) { return negate(a).hi_; }

    static constexpr std::uint64_t multiply_64(std::uint64_t a, std::uint64_t b,
                                               std::uint64_t* high) {
        const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
        const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
        const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
        *high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
        return (middle << 32) | (p00 & 0xFFFFFFFFu);
    }

    // Truncating division, remainder with the dividend's sign; by shifting
    // and subtracting on the magnitudes.  b must not be 0.
    static constexpr void divide(Int128 a, Int128 b, Int128* quotient, Int128* remainder) {
        const bool a_negative = a.negative(), b_negative = b.negative();
        const Int128 n = a_negative ? negate(a) : a, d = b_negative ? negate(b) : b;
        Int128 q, r;
        for (int bit = 127; bit >= 0; --bit) {
            r = Int128(r.hi_ << 1 | r.lo_ >> 63,
                       r.lo_ << 1 | ((bit >= 64 ? n.hi_ >> (bit - 64) : n.lo_ >> bit) & 1));
            if (!less_unsigned(r, d)) {
                r = r - d;
                if (bit >= 64)
                    q.hi_ |= std::uint64_t{1} << (bit - 64);
                else
                    q.lo_ |= std::uint64_t{1} << bit;
            }
        }
        *quotient = a_negative != b_negative ? negate(q) : q;
        *remainder = a_negative ? negate(r) : r;
    }
    static constexpr bool less_unsigned(Int128 a, Int128 b) {
        return a.hi_ != b.hi_ ? a.hi_ < b.hi_ : a.lo_ < b.lo_;
    }
    constexpr Int128(std::uint64_t hi, std::uint64_t lo) : lo_(lo), hi_(hi) {}

    std::uint64_t lo_ = 0;
    std::uint64_t hi_ = 0;
};

#if defined(__SIZEOF_INT128__)
using wide_int = __int128;
#else
using wide_int = Int128;
#endif

}  // namespace platform
