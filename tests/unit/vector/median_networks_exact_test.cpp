// The median row networks against selection on the gathered window, on
// every instruction set this machine runs: keys with many ties (few
// distinct values), sorted and reverse-sorted runs, and rows whose lengths
// fall on both sides of the networks' chunks and their pairs of outputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "buffers/numeric.h"
#include "buffers/pixel_format.h"
#include "buffers/plane_rows.h"
#include "each_target.h"
#include "toolkit/median_rows.h"

namespace {

constexpr std::size_t kWidest = 300;

// Rows of keys made from pixels by to_keys, kinds chosen per row block.
struct KeyRows {
    std::vector<std::vector<double>> rows;
    KeyRows(std::size_t count, std::size_t width, std::uint32_t seed, int kind) {
        std::mt19937 rng(seed);
        for (std::size_t k = 0; k < count; ++k) {
            std::vector<short> rgb(3 * width);
            for (std::size_t i = 0; i < width; ++i) {
                short* p = &rgb[3 * i];
                if (kind == 0) {  // three values per component: ties everywhere
                    for (int c = 0; c < 3; ++c) p[c] = static_cast<short>(rng() % 3 - 1);
                } else if (kind == 1) {  // equal R, G deciding, B breaking the last ties
                    p[0] = 100, p[1] = static_cast<short>(rng() % 4),
                    p[2] = static_cast<short>(rng());
                } else if (kind == 2) {  // ascending along the row and down the rows
                    p[0] = static_cast<short>(i + k), p[1] = 0, p[2] = static_cast<short>(-i);
                } else if (kind == 3) {  // descending
                    p[0] = static_cast<short>(-static_cast<int>(i + 3 * k)), p[1] = 5, p[2] = 5;
                } else {  // any 16-bit values, the extremes included
                    for (int c = 0; c < 3; ++c)
                        p[c] = rng() % 7 == 0 ? (rng() % 2 ? 32767 : -32768)
                                              : static_cast<short>(rng());
                }
            }
            rows.emplace_back(width);
            toolkit::row_kernels::to_keys(rgb.data(), rows.back().data(), width);
        }
    }
};

double median_by_selection(const double* const* r, std::size_t size, std::size_t i) {
    std::vector<double> window;
    for (std::size_t k = 0; k < size; ++k) window.insert(window.end(), r[k] + i, r[k] + i + size);
    std::nth_element(window.begin(), window.begin() + window.size() / 2, window.end());
    return window[window.size() / 2];
}

void expect_networks_exact(const KeyRows& keys, const std::string& what) {
    const double* r[5];
    for (int k = 0; k < 5; ++k) r[k] = keys.rows[static_cast<std::size_t>(k)].data();
    for_each_target([&](const std::string& target) {
        for (std::size_t n : {1,  2,  3,   4,   5,   7,   8,   9,   16,  17,  63,
                              64, 65, 127, 128, 129, 130, 131, 255, 256, 257, 295}) {
            for (std::size_t size : {3, 5}) {
                std::vector<double> got(n + 1, -1.0);
                if (size == 3)
                    toolkit::row_kernels::median3x3(r, got.data(), n);
                else
                    toolkit::row_kernels::median5x5(r, got.data(), n);
                ASSERT_EQ(got[n], -1.0) << what << ": wrote past the row";
                for (std::size_t i = 0; i < n; ++i)
                    if (got[i] != median_by_selection(r, size, i)) {
                        ADD_FAILURE() << what << " " << size << " x " << size << " on " << target
                                      << ": output " << i << " of " << n;
                        return;
                    }
            }
        }
    });
}

TEST(MedianNetworksExact, TiesSortedRunsAndAnyKeys) {
    const char* kinds[] = {"ties", "equal red", "ascending", "descending", "any"};
    for (int kind = 0; kind < 5; ++kind)
        expect_networks_exact(KeyRows(5, kWidest, 41 + kind, kind), kinds[kind]);
}

TEST(MedianNetworksExact, KeysToYcMatchesTheTwoSteps) {
    // The fused store gives what decoding the keys and converting the pixels
    // give, for pixels in and beyond the fast conversion's range, black and
    // grey among them.
    std::mt19937 rng(5);
    std::vector<short> rgb;
    for (int k = 0; k < 20000; ++k) {
        const int kind = static_cast<int>(rng() % 5);
        const int v = static_cast<int>(rng() % 16384) - 8192;
        for (int c = 0; c < 3; ++c)
            rgb.push_back(kind == 0   ? short(0)
                          : kind == 1 ? static_cast<short>(v)
                          : kind == 2 ? static_cast<short>(rng())
                                      : static_cast<short>(static_cast<int>(rng() % 16384) - 8192));
    }
    const std::size_t n = rgb.size() / 3;
    std::vector<double> keys(n);
    toolkit::row_kernels::to_keys(rgb.data(), keys.data(), n);
    std::vector<PIXEL_YC> want(n);
    for (std::size_t i = 0; i < n; ++i) {
        const Triple t = rgb_to_yc(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
        want[i] = {to_component(t.a), to_component(t.b), to_component(t.c)};
    }
    for_each_target([&](const std::string& target) {
        for (std::size_t count : {n, std::size_t{1}, std::size_t{15}, std::size_t{17}}) {
            std::vector<PIXEL_YC> got(count + 1, PIXEL_YC{7, 7, 7});
            median_keys_to_yc_row(keys.data(), got.data(), count);
            EXPECT_EQ(got[count].y, 7) << "wrote past the row on " << target;
            for (std::size_t i = 0; i < count; ++i)
                if (std::memcmp(&got[i], &want[i], sizeof got[i]) != 0) {
                    ADD_FAILURE() << "median_keys_to_yc_row on " << target << ": pixel " << i
                                  << " (" << rgb[3 * i] << ", " << rgb[3 * i + 1] << ", "
                                  << rgb[3 * i + 2] << ")";
                    return;
                }
        }
    });
}

}  // namespace
