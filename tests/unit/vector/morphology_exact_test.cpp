// The morphology passes against their point-by-point extremes, bit for bit,
// on every instruction set this machine runs: discs, tables with holes and
// long lines, one pass (erosion, dilation) and two chained through the ring
// (opening, closing), over planes holding the ends of the 16-bit range.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "each_target.h"
#include "morphology_reference.h"
#include "toolkit/grey_morphology.h"

namespace {

std::vector<toolkit::morphology_runs> elements() {
    std::mt19937 rng(31);
    std::vector<toolkit::morphology_runs> all = {toolkit::circle_runs(0), toolkit::circle_runs(1),
                                                 toolkit::circle_runs(3), toolkit::circle_runs(12),
                                                 rectangle(5, 5),         rectangle(9, 2)};
    for (int k = 0; k < 4; ++k)
        all.push_back(random_table(rng, 1 + static_cast<int>(rng() % 9),
                                   1 + static_cast<int>(rng() % 9), 50));
    toolkit::morphology_runs line;
    line.add(0, -40, 45);
    line.add(1, -1, 2);
    all.push_back(line);
    return all;
}

toolkit::plane_view view(std::vector<short>& v, int w, int h) {
    return {v.data(), static_cast<std::size_t>(w), static_cast<std::size_t>(h), w};
}

TEST(MorphologyExact, OnePass) {
    std::mt19937 rng(5);
    constexpr int iw = 77, ih = 23, ow = 71, oh = 19;
    const std::vector<short> in = random_plane(rng, iw * ih);
    for (const toolkit::morphology_runs& e : elements())
        for (bool erode : {true, false}) {
            const std::vector<short> want =
                brute_pass(in, iw, ih, -3, 2, ow, oh, points_of(e), erode);
            for_each_target([&](const std::string& target) {
                for (std::uint32_t threads : {1u, 2u}) {
                    std::vector<short> copy = in, got(want.size(), 1234);
                    toolkit::morphology_pass(view(copy, iw, ih), -3, 2, view(got, ow, oh), e, erode,
                                             threads);
                    ASSERT_EQ(got, want)
                        << (erode ? "erosion" : "dilation") << " with " << e.runs().size()
                        << " runs, " << threads << " threads on " << target;
                }
            });
        }
}

TEST(MorphologyExact, TwoPasses) {
    std::mt19937 rng(6);
    constexpr int iw = 69, ih = 21, mw = 61, mh = 19, ow = 55, oh = 15;
    const std::vector<short> in = random_plane(rng, iw * ih);
    for (const toolkit::morphology_runs& e : elements())
        for (bool first_erodes : {true, false}) {
            const std::vector<Point> pts = points_of(e);
            const std::vector<short> mid = brute_pass(in, iw, ih, -2, 1, mw, mh, pts, first_erodes);
            const std::vector<short> want =
                brute_pass(mid, mw, mh, 3, -1, ow, oh, pts, !first_erodes);
            for_each_target([&](const std::string& target) {
                for (std::uint32_t threads : {1u, 2u}) {
                    std::vector<short> copy = in, got(want.size(), 99);
                    toolkit::morphology_two_passes(view(copy, iw, ih), 0, -2, 1, mw, mh, 3, -1,
                                                   view(got, ow, oh), e, first_erodes, threads);
                    ASSERT_EQ(got, want)
                        << (first_erodes ? "opening" : "closing") << " with " << e.runs().size()
                        << " runs, " << threads << " threads on " << target;
                }
            });
        }
}

}  // namespace
