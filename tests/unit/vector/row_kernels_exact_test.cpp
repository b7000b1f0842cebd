// The row kernels of the filters, the work plane, cvcanny and labelling
// against their element rules, bit for bit, on every instruction set this
// machine runs.  Rows of many lengths put whole vectors, the unrolled
// blocks and the ends of rows through each target; the values reach the
// ends of their ranges, and the weights infinity and NaN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/plane_rows.h"
#include "each_target.h"
#include "ocv/bridge_rows.h"
#include "toolkit/cell_runs.h"
#include "toolkit/filter_rows.h"
#include "toolkit/median_rows.h"
#include "toolkit/truncate.h"

namespace {

const std::size_t kLengths[] = {0, 1, 2, 3, 5, 7, 8, 9, 15, 16, 17, 31, 33, 63, 64, 65, 129, 1003};
constexpr std::size_t kLongest = 1003;

// Shorts of every kind: the extremes, small values, and anything.
std::vector<short> any_shorts(std::size_t n, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<short> v(n);
    const short edges[] = {-32768, -32767, -1, 0, 1, 32766, 32767};
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned kind = rng() % 4;
        v[i] = kind == 0   ? edges[rng() % 7]
               : kind == 1 ? static_cast<short>(static_cast<int>(rng() % 9000) - 4500)
                           : static_cast<short>(rng());
    }
    return v;
}

// A row of taps over one data array: tap t starts t * 5 + 1 elements in.
struct TapRows {
    std::vector<short> data;
    std::vector<const short*> rows;
    TapRows(std::size_t taps, std::uint32_t seed)
        : data(any_shorts(kLongest + 5 * taps + 8, seed)) {
        for (std::size_t t = 0; t < taps; ++t) rows.push_back(data.data() + 5 * t + 1);
    }
};

// got and want equal, or the first difference reported.
template <class T>
void expect_same(const std::vector<T>& got, const std::vector<T>& want, const std::string& what) {
    ASSERT_EQ(got.size(), want.size()) << what;
    for (std::size_t i = 0; i < got.size(); ++i)
        if (std::memcmp(&got[i], &want[i], sizeof(T)) != 0) {
            ADD_FAILURE() << what << ": element " << i << " of " << got.size();
            return;
        }
}

TEST(RowKernelsExact, Convolution) {
    const std::vector<std::vector<double>> kernels = {
        {1},
        {0.3, -1.5, 2, 0.25, 1, 1},
        {1, 2, 1, 2, 4, 2, 1, 2, 1},
        {1e300, 1e300, -1e300},
        {1e-300, 7},
        {-0.1, 0.1, 1e5, -3e4, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5}};
    for (const auto& w : kernels) {
        const TapRows in(w.size(), static_cast<std::uint32_t>(w.size()));
        for (double sum : {0.0, 1.0, 16.0, -3.5, 0.7, 1e-310}) {
            std::vector<short> want(kLongest);
            for (std::size_t i = 0; i < kLongest; ++i) {
                double T = 0;
                for (std::size_t t = 0; t < w.size(); ++t) T += w[t] * in.rows[t][i];
                want[i] = toolkit::truncate_to_short(sum != 0 ? T / sum : T);
            }
            for_each_target([&](const std::string& target) {
                for (std::size_t n : kLengths) {
                    std::vector<short> got(n);
                    toolkit::row_kernels::convolve(in.rows.data(), w.data(), w.size(), got.data(),
                                                   n, sum);
                    expect_same(got, std::vector<short>(want.begin(), want.begin() + n),
                                "convolve " + std::to_string(w.size()) + " taps, sum " +
                                    std::to_string(sum) + ", n " + std::to_string(n) + " on " +
                                    target);
                }
            });
        }
    }
}

TEST(RowKernelsExact, IntegralConvolution) {
    // Weights whose absolute values sum to the limit, and sums of either
    // sign (the kernel's own sum, 0, and other divisors).
    const std::vector<std::vector<std::int32_t>> kernels = {
        {1}, {1, 2, 1, 2, 4, 2, 1, 2, 1}, {65535}, {-32768, 32767}, {3, -5, 7, -11, 13, 17, 0}};
    for (const auto& w : kernels) {
        const TapRows in(w.size(), 40 + static_cast<std::uint32_t>(w.size()));
        for (std::int32_t sum : {0, 1, 16, -3, 65535, -65535, 7}) {
            std::vector<short> want(kLongest);
            for (std::size_t i = 0; i < kLongest; ++i) {
                std::int32_t T = 0;
                for (std::size_t t = 0; t < w.size(); ++t) T += w[t] * in.rows[t][i];
                want[i] = sum != 0 ? toolkit::truncate_to_short(T / static_cast<double>(sum))
                                   : static_cast<short>(static_cast<std::uint16_t>(T));
            }
            for_each_target([&](const std::string& target) {
                for (std::size_t n : kLengths) {
                    std::vector<short> got(n);
                    toolkit::row_kernels::convolve_integral(in.rows.data(), w.data(), w.size(),
                                                            got.data(), n, sum);
                    expect_same(got, std::vector<short>(want.begin(), want.begin() + n),
                                "convolve_integral sum " + std::to_string(sum) + ", n " +
                                    std::to_string(n) + " on " + target);
                }
            });
        }
    }
}

TEST(RowKernelsExact, QuotientsTruncateLikeTheDoubleQuotientForEveryDivisor) {
    // The integral paths divide by multiplying with the inverse: every
    // divisor they allow, with dividends on, beside and between its
    // multiples, up to the largest two taps reach.  A dividend is made of
    // two taps, 65534 a + b.
    constexpr int kCount = 48;
    constexpr std::int64_t kMost = 65534LL * 32767 + 32767;
    const std::int32_t weights[2] = {65534, 1};
    std::vector<short> a(kCount), b(kCount), got(kCount);
    const short* rows[2] = {a.data(), b.data()};
    std::int64_t dividends[kCount];
    for_each_target([&](const std::string& target) {
        for (std::int32_t d = -65535; d <= 65535; ++d) {
            if (d == 0) continue;
            const std::int64_t big = kMost / std::abs(d) * std::abs(d);
            const std::int64_t ts[16] = {0,     1,         -1,        d,       -d,   d + 1,
                                         d - 1, 7 * d + 3, big,       big - 1, -big, -big + 1,
                                         kMost, -kMost,    kMost - 1, 5 * d};
            for (int k = 0; k < kCount; ++k) {
                const std::int64_t t = std::clamp<std::int64_t>(
                    ts[k % 16] + (k / 16) * (k % 2 ? d : -d), -kMost, kMost);
                std::int64_t hi = t / 65534, lo = t - hi * 65534;
                if (lo > 32767) lo -= 65534, ++hi;
                if (lo < -32767) lo += 65534, --hi;
                a[k] = static_cast<short>(hi), b[k] = static_cast<short>(lo);
                dividends[k] = hi * 65534 + lo;
            }
            toolkit::row_kernels::convolve_integral(rows, weights, 2, got.data(), kCount, d);
            for (int k = 0; k < kCount; ++k)
                ASSERT_EQ(got[k], toolkit::truncate_to_short(static_cast<double>(dividends[k]) / d))
                    << dividends[k] << " / " << d << " on " << target;
        }
    });
}

TEST(RowKernelsExact, GaussianPassesAndWidening) {
    std::mt19937 rng(3);
    std::vector<double> data(kLongest + 64);
    for (double& v : data) v = (static_cast<int>(rng() % 200001) - 100000) * 0.37;
    data[5] = std::numeric_limits<double>::infinity();
    data[9] = -1e300;
    const std::vector<double> w = {0.05, 0.2, 0.5, 0.2, 0.05, 1e-9, 3};
    const double* rows[7];
    for (std::size_t t = 0; t < w.size(); ++t) rows[t] = data.data() + 3 * t;
    std::vector<float> floats(kLongest);
    for (std::size_t i = 0; i < kLongest; ++i) floats[i] = static_cast<float>(data[i] * 1.7e-3);
    floats[3] = std::numeric_limits<float>::quiet_NaN();
    floats[4] = -std::numeric_limits<float>::infinity();
    floats[6] = std::numeric_limits<float>::denorm_min();
    for (std::size_t taps : {1u, 5u, 7u})
        for (bool divide : {false, true}) {
            const double divisor = divide ? 0.93 : 0;
            std::vector<float> want(kLongest);
            for (std::size_t i = 0; i < kLongest; ++i) {
                double T = 0;
                for (std::size_t t = 0; t < taps; ++t) T += w[t] * rows[t][i];
                want[i] = static_cast<float>(divide ? T / divisor : T);
            }
            for_each_target([&](const std::string& target) {
                for (std::size_t n : kLengths) {
                    std::vector<float> got(n);
                    toolkit::row_kernels::weighted_sum(rows, w.data(), taps, got.data(), n, divide,
                                                       divisor);
                    expect_same(got, std::vector<float>(want.begin(), want.begin() + n),
                                "weighted_sum " + std::to_string(taps) + " taps, n " +
                                    std::to_string(n) + " on " + target);
                    std::vector<double> wide(n), wide_want(floats.begin(), floats.begin() + n);
                    toolkit::row_kernels::widen(floats.data(), wide.data(), n);
                    expect_same(wide, wide_want, "widen n " + std::to_string(n) + " on " + target);
                }
            });
        }
}

TEST(RowKernelsExact, BoxSumsAndMeans) {
    const std::vector<short> row = any_shorts(kLongest + 1, 9);
    std::mt19937 rng(5);
    std::vector<std::int32_t> start(kLongest), colsum(kLongest + 3 * 5);
    for (auto& v : start) v = static_cast<std::int32_t>(rng() % 2000001) - 1000000;
    for (auto& v : colsum) v = static_cast<std::int32_t>(rng() % 400000001) - 200000000;
    // Boxes of one column sum: any 32-bit sum.
    std::vector<std::int32_t> single = colsum;
    single[1] = 2147483647, single[2] = -2147483647 - 1, single[20] = -2147483647;
    for_each_target([&](const std::string& target) {
        for (std::size_t n : kLengths) {
            const std::string at = ", n " + std::to_string(n) + " on " + target;
            std::vector<std::int32_t> acc(start.begin(), start.begin() + n), want = acc;
            toolkit::row_kernels::add_row(acc.data(), row.data(), n);
            for (std::size_t i = 0; i < n; ++i) want[i] += row[i];
            expect_same(acc, want, "add_row" + at);
            toolkit::row_kernels::subtract_row(acc.data(), row.data() + 1, n);
            for (std::size_t i = 0; i < n; ++i) want[i] -= row[i + 1];
            expect_same(acc, want, "subtract_row" + at);
            for (std::size_t kw : {1u, 2u, 5u})
                for (double count : {1.0, 3.0, 25.0, 65535.0}) {
                    const std::vector<std::int32_t>& sums = kw == 1 ? single : colsum;
                    std::vector<short> got(n), expect(n);
                    toolkit::row_kernels::box_mean(sums.data(), kw, got.data(), n, count);
                    for (std::size_t i = 0; i < n; ++i) {
                        std::int32_t b = 0;
                        for (std::size_t m = 0; m < kw; ++m) b += sums[i + 3 * m];
                        expect[i] = toolkit::truncate_to_short(b / count);
                    }
                    expect_same(
                        got, expect,
                        "box_mean " + std::to_string(kw) + " / " + std::to_string(count) + at);
                }
        }
    });
}

// A median key as median_rows.h defines it.
double key_of(const short* p) {
    const std::uint64_t bits =
        (static_cast<std::uint64_t>(static_cast<std::uint16_t>(p[0]) ^ 0x8000u) << 32) |
        (static_cast<std::uint64_t>(static_cast<std::uint16_t>(p[1]) ^ 0x8000u) << 16) |
        (static_cast<std::uint64_t>(static_cast<std::uint16_t>(p[2]) ^ 0x8000u)) |
        (0x4330ull << 48);
    double k;
    std::memcpy(&k, &bits, sizeof k);
    return k;
}

TEST(RowKernelsExact, MedianKeysAndNetworks) {
    // Few distinct values, so that windows hold ties; and any pixels.
    std::vector<short> rgb = any_shorts(3 * (kLongest + 8), 11);
    for (std::size_t i = 0; i < rgb.size(); i += 5) rgb[i] = static_cast<short>(rgb[i] % 3);
    std::vector<double> rows[5];
    for (int r = 0; r < 5; ++r)
        for (std::size_t i = 0; i < kLongest + 4; ++i)
            rows[r].push_back(key_of(&rgb[3 * ((i * 7 + r * 3) % (kLongest + 8))]));
    const double* r5[5] = {rows[0].data(), rows[1].data(), rows[2].data(), rows[3].data(),
                           rows[4].data()};
    const double* r3[3] = {rows[1].data(), rows[2].data(), rows[3].data()};
    auto median_of = [&](const double* const* r, std::size_t size, std::size_t i) {
        std::vector<double> window;
        for (std::size_t k = 0; k < size; ++k)
            window.insert(window.end(), r[k] + i, r[k] + i + size);
        std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
        return window[window.size() / 2];
    };
    for_each_target([&](const std::string& target) {
        for (std::size_t n : kLengths) {
            const std::string at = ", n " + std::to_string(n) + " on " + target;
            std::vector<double> keys(n), want(n);
            toolkit::row_kernels::to_keys(rgb.data(), keys.data(), n);
            for (std::size_t i = 0; i < n; ++i) want[i] = key_of(&rgb[3 * i]);
            expect_same(keys, want, "to_keys" + at);
            std::vector<short> back(3 * n + 3, 77);
            toolkit::row_kernels::from_keys(keys.data(), back.data(), n);
            expect_same(
                back,
                [&] {
                    std::vector<short> v(rgb.begin(), rgb.begin() + 3 * n);
                    v.insert(v.end(), {77, 77, 77});
                    return v;
                }(),
                "from_keys" + at);
            std::vector<double> m3(n), m5(n), w3(n), w5(n);
            toolkit::row_kernels::median3x3(r3, m3.data(), n);
            toolkit::row_kernels::median5x5(r5, m5.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                w3[i] = median_of(r3, 3, i), w5[i] = median_of(r5, 5, i);
            expect_same(m3, w3, "median3x3" + at);
            expect_same(m5, w5, "median5x5" + at);
        }
    });
}

TEST(RowKernelsExact, WorkPlaneConversions) {
    const std::vector<short> values = any_shorts(3 * kLongest, 21);
    std::vector<PIXEL_YC> yc(kLongest);
    std::vector<toolkit::rgb<short>> rgb(kLongest);
    std::memcpy(yc.data(), values.data(), sizeof(PIXEL_YC) * kLongest);
    for (std::size_t i = 0; i < kLongest; ++i)
        rgb[i] = {values[3 * i], values[3 * i + 1], values[3 * i + 2]};
    std::vector<toolkit::rgb<float>> rgbf(kLongest);
    std::mt19937 rng(4);
    for (auto& p : rgbf)
        p = {static_cast<float>(static_cast<int>(rng() % 200001) - 100000) * 1.37f,
             static_cast<float>(static_cast<int>(rng() % 9001) - 4500) * 0.001f,
             static_cast<float>(static_cast<int>(rng() % 2001) - 1000) * 1e5f};
    rgbf[1].g = std::numeric_limits<float>::quiet_NaN();
    rgbf[2].b = std::numeric_limits<float>::infinity();
    rgbf[30].r = -std::numeric_limits<float>::infinity();
    auto component = [](double v) { return to_component(v); };
    for_each_target([&](const std::string& target) {
        for (std::size_t n : kLengths) {
            const std::string at = ", n " + std::to_string(n) + " on " + target;
            std::vector<toolkit::rgb<short>> to_rgb(n), to_rgb_want(n);
            std::vector<toolkit::rgb<float>> to_rgbf(n), to_rgbf_want(n);
            std::vector<PIXEL_YC> from_rgb(n), from_rgb_want(n), from_rgbf(n), from_rgbf_want(n);
            yc_to_rgb_row(yc.data(), to_rgb.data(), n);
            yc_to_rgbf_row(yc.data(), to_rgbf.data(), n);
            rgb_to_yc_row(rgb.data(), from_rgb.data(), n);
            rgbf_to_yc_row(rgbf.data(), from_rgbf.data(), n);
            for (std::size_t i = 0; i < n; ++i) {
                const Triple a = yc_to_rgb(yc[i].y, yc[i].cb, yc[i].cr);
                to_rgb_want[i] = {component(a.a), component(a.b), component(a.c)};
                to_rgbf_want[i] = {float(a.a), float(a.b), float(a.c)};
                const Triple b = rgb_to_yc(rgb[i].r, rgb[i].g, rgb[i].b);
                from_rgb_want[i] = {component(b.a), component(b.b), component(b.c)};
                const Triple c = rgb_to_yc(rgbf[i].r, rgbf[i].g, rgbf[i].b);
                from_rgbf_want[i] = {component(c.a), component(c.b), component(c.c)};
            }
            expect_same(to_rgb, to_rgb_want, "yc_to_rgb_row" + at);
            expect_same(to_rgbf, to_rgbf_want, "yc_to_rgbf_row" + at);
            expect_same(from_rgb, from_rgb_want, "rgb_to_yc_row" + at);
            expect_same(from_rgbf, from_rgbf_want, "rgbf_to_yc_row" + at);

            std::vector<short> y(n), y_want(n);
            y_of_row(yc.data(), y.data(), n);
            for (std::size_t i = 0; i < n; ++i) y_want[i] = yc[i].y;
            expect_same(y, y_want, "y_of_row" + at);
            std::vector<PIXEL_YC> into(yc.begin(), yc.begin() + n), into_want = into;
            y_into_row(values.data() + 7, into.data(), n);
            for (std::size_t i = 0; i < n; ++i) into_want[i].y = values[7 + i];
            expect_same(into, into_want, "y_into_row" + at);
        }
    });
}

TEST(RowKernelsExact, CannyCopies) {
    const std::vector<short> values = any_shorts(3 * kLongest, 31);
    std::vector<PIXEL_YC> yc(kLongest);
    std::memcpy(yc.data(), values.data(), sizeof(PIXEL_YC) * kLongest);
    std::vector<std::uint8_t> edges(kLongest);
    for (std::size_t i = 0; i < kLongest; ++i) edges[i] = static_cast<std::uint8_t>(values[i]);
    for_each_target([&](const std::string& target) {
        for (std::size_t n : kLengths) {
            const std::string at = ", n " + std::to_string(n) + " on " + target;
            std::vector<std::uint8_t> bytes(n), bytes_want(n);
            y_to_bytes(yc.data(), bytes.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                bytes_want[i] = static_cast<std::uint8_t>(std::clamp<int>(yc[i].y, 0, 4095) >> 4);
            expect_same(bytes, bytes_want, "y_to_bytes" + at);
            std::vector<PIXEL_YC> mask(n, PIXEL_YC{5, 5, 5}), mask_want(n);
            bytes_to_mask(edges.data(), mask.data(), n);
            for (std::size_t i = 0; i < n; ++i)
                mask_want[i] = {static_cast<short>(edges[i] * 16), 0, 0};
            expect_same(mask, mask_want, "bytes_to_mask" + at);
        }
    });
}

TEST(RowKernelsExact, RunsOfForegroundCells) {
    // Rows of long runs, short runs and single cells, each rule.
    std::mt19937 rng(8);
    std::vector<short> row(kLongest);
    for (std::size_t i = 0; i < kLongest;) {
        const std::size_t len = rng() % 3 == 0 ? 1 + rng() % 70 : 1 + rng() % 3;
        const short v = static_cast<short>(static_cast<int>(rng() % 5) - 2);
        for (std::size_t k = 0; k < len && i < kLongest; ++k, ++i) row[i] = v;
    }
    using toolkit::foreground_cells;
    for (foreground_cells rule :
         {foreground_cells::positive, foreground_cells::nonzero, foreground_cells::zero}) {
        auto is_foreground = [&](short v) {
            return rule == foreground_cells::positive  ? v > 0
                   : rule == foreground_cells::nonzero ? v != 0
                                                       : v == 0;
        };
        for_each_target([&](const std::string& target) {
            for (std::size_t n : kLengths) {
                std::vector<std::uint32_t> bounds(n + 1), want;
                for (std::size_t x = 0; x < n; ++x)
                    if (is_foreground(row[x]) && (x == 0 || !is_foreground(row[x - 1]))) {
                        std::size_t end = x;
                        while (end < n && is_foreground(row[end])) ++end;
                        want.insert(want.end(), {static_cast<std::uint32_t>(x),
                                                 static_cast<std::uint32_t>(end)});
                    }
                const std::size_t count = toolkit::cell_runs(row.data(), n, rule, bounds.data());
                bounds.resize(2 * count);
                expect_same(bounds, want,
                            "cell_runs rule " + std::to_string(static_cast<int>(rule)) + ", n " +
                                std::to_string(n) + " on " + target);
            }
        });
    }
}

}  // namespace
