// Int128, the 32-bit build's stand-in for __int128, against __int128 itself.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "platform/wide_int.h"

namespace {

using platform::Int128;

// GoogleTest cannot print __int128; failures show the two halves instead.
std::string text(__int128 v) {
    return std::to_string(static_cast<long long>(v >> 64)) + ":" +
           std::to_string(static_cast<unsigned long long>(v));
}
#define EXPECT_SAME(a, b) EXPECT_TRUE((a) == (b)) << text(a) << " != " << text(b)

// Int128's value, rebuilt through its public operations only.
__int128 value_of(Int128 v) {
    const Int128 two32 = Int128(1LL << 32);
    __int128 result = 0;
    bool negative = v < 0;
    if (negative) v = -v;
    __int128 scale = 1;
    for (int i = 0; i < 4; ++i) {
        const Int128 q = v / two32;
        result += scale * static_cast<long long>(v - q * two32);
        v = q;
        scale <<= 32;
    }
    return negative ? -result : result;
}

Int128 wide(__int128 v) {
    // Built from two halves with Int128's own arithmetic.
    const long long high = static_cast<long long>(v >> 64);
    const unsigned long long low = static_cast<unsigned long long>(v);
    return Int128(high) * Int128(1LL << 32) * Int128(1LL << 32) +
           Int128(static_cast<long long>(low >> 1)) * 2 + Int128(static_cast<long long>(low & 1));
}

TEST(WideInt, ArithmeticAndOrderMatchInt128) {
    std::mt19937_64 random(7);
    const auto draw = [&]() -> __int128 {
        // Products of two 63-bit values and smaller ones, both signs.
        const long long a = static_cast<long long>(random() >> (random() % 64));
        const long long b = static_cast<long long>(random() >> (random() % 64));
        const int kind = static_cast<int>(random() % 3);
        __int128 v = kind == 0   ? a
                     : kind == 1 ? static_cast<__int128>(a) * b
                                 : static_cast<__int128>(a) * 3;
        return random() % 2 ? -v : v;
    };
    for (int i = 0; i < 3000; ++i) {
        const __int128 a = draw();
        const long long small =
            static_cast<long long>(random() >> (random() % 64)) * (random() % 2 ? 1 : -1);
        const __int128 b = small;
        EXPECT_SAME(value_of(wide(a)), static_cast<__int128>(a));
        EXPECT_SAME(value_of(wide(a) + wide(b)), static_cast<__int128>(a + b));
        EXPECT_SAME(value_of(wide(a) - wide(b)), static_cast<__int128>(a - b));
        EXPECT_SAME(value_of(wide(b) * Int128(small / 3 + 1)),
                    static_cast<__int128>(b * (small / 3 + 1)));
        if (b != 0) {
            EXPECT_SAME(value_of(wide(a) / wide(b)), a / b) << i;
            EXPECT_SAME(value_of(wide(a) % wide(b)), a % b) << i;
        }
        EXPECT_EQ(wide(a) < wide(b), a < b);
        EXPECT_EQ(wide(a) <= wide(b), a <= b);
        EXPECT_EQ(wide(a) == wide(b), a == b);
        EXPECT_EQ(static_cast<long double>(wide(a)), static_cast<long double>(a));
    }
}

TEST(WideInt, EdgesOfTheRange) {
    EXPECT_SAME(value_of(Int128(-1) * Int128(-1)), static_cast<__int128>(1));
    EXPECT_SAME(value_of(Int128(LLONG_MIN) * Int128(LLONG_MIN)),
                static_cast<__int128>(LLONG_MIN) * LLONG_MIN);
    EXPECT_SAME(value_of(Int128(LLONG_MIN) / Int128(-1)), -static_cast<__int128>(LLONG_MIN));
    EXPECT_SAME(value_of(Int128(-7) / Int128(2)), static_cast<__int128>(-3));  // toward zero
    EXPECT_SAME(value_of(Int128(-7) % Int128(2)), static_cast<__int128>(-1));
    EXPECT_EQ(static_cast<long long>(Int128(-5)), -5);
    EXPECT_EQ(static_cast<int>(Int128(123456)), 123456);
    EXPECT_TRUE(Int128(-1) < Int128(0));
    EXPECT_TRUE(Int128(LLONG_MAX) * 4 > Int128(LLONG_MAX));
}

}  // namespace
