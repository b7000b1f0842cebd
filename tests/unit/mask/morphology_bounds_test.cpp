// The morphology work against plain definitions: the toolkit pass against a
// point-by-point extreme, and the script kernel against the whole extended
// work area computed literally (mirrored copy-in, neutral margins, both
// passes over every cell, clipped copy-back).  The kernel reads only the
// part of the work area that can matter and computes only the destination
// pixels inside the buffer, so it is checked with elements far larger than
// the frame, regions reaching outside the picture, and destinations partly
// or wholly outside the buffer.  Then the limits: what is refused, and that
// huge elements and clipped destinations cost no time.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "mask/morphology.h"
#include "morphology_fixture.h"
#include "morphology_reference.h"
#include "toolkit/grey_morphology.h"

TEST(MorphologyPass, EveryElementShapeMatchesThePointByPointExtreme) {
    std::mt19937 rng(2024);
    std::vector<toolkit::morphology_runs> elements;
    for (int r : {0, 1, 2, 3, 5, 12}) elements.push_back(toolkit::circle_runs(r));
    for (int k = 0; k < 12; ++k)
        elements.push_back(random_table(rng, 1 + static_cast<int>(rng() % 9),
                                        1 + static_cast<int>(rng() % 9), 50));
    for (auto [c, r] : {std::pair{5, 5}, {3, 3}, {8, 2}, {1, 7}, {2, 8}, {9, 9}})
        elements.push_back(rectangle(c, r));
    {
        // Alike rows of several runs each; and one long line.
        toolkit::morphology_runs holes;
        for (int dy = -2; dy <= 1; ++dy)
            holes.add(dy, -3, -2), holes.add(dy, 0, 0), holes.add(dy, 2, 6);
        elements.push_back(holes);
        toolkit::morphology_runs line;
        line.add(0, -40, 45);
        line.add(1, -1, 2);
        elements.push_back(line);
    }
    int checked = 0;
    for (const toolkit::morphology_runs& e : elements) {
        const std::vector<Point> pts = points_of(e);
        for (int trial = 0; trial < 4; ++trial) {
            const int iw = 5 + static_cast<int>(rng() % 40), ih = 3 + static_cast<int>(rng() % 30);
            const int ow = 1 + static_cast<int>(rng() % 45), oh = 1 + static_cast<int>(rng() % 33);
            const long long ox = static_cast<long long>(rng() % 30) - 12;
            const long long oy = static_cast<long long>(rng() % 24) - 10;
            const std::vector<short> in = random_plane(rng, iw * ih);
            for (bool erode : {true, false}) {
                const std::vector<short> want = brute_pass(in, iw, ih, ox, oy, ow, oh, pts, erode);
                for (std::uint32_t threads : {1u, 2u, 3u}) {
                    std::vector<short> got(want.size(), 1234);
                    std::vector<short> copy = in;
                    toolkit::morphology_pass({copy.data(), static_cast<std::size_t>(iw),
                                              static_cast<std::size_t>(ih), iw},
                                             ox, oy,
                                             {got.data(), static_cast<std::size_t>(ow),
                                              static_cast<std::size_t>(oh), ow},
                                             e, erode, threads);
                    ASSERT_EQ(got, want)
                        << "element " << checked << " trial " << trial << " erode " << erode
                        << " threads " << threads << " in " << iw << "x" << ih << " out " << ow
                        << "x" << oh << " at " << ox << "," << oy;
                }
            }
        }
        ++checked;
    }
}

TEST(MorphologyPass, OpeningAndClosingChainTwoPassesOverTheMiddleBlock) {
    // The first pass's rows go through a ring that the second pass reads;
    // the chunks of two and three workers each start their own.
    std::mt19937 rng(99);
    std::vector<toolkit::morphology_runs> elements = {toolkit::circle_runs(1),
                                                      toolkit::circle_runs(4), rectangle(5, 5),
                                                      rectangle(3, 1), rectangle(2, 7)};
    for (int k = 0; k < 6; ++k)
        elements.push_back(random_table(rng, 1 + static_cast<int>(rng() % 7),
                                        1 + static_cast<int>(rng() % 7), 60));
    elements.push_back(toolkit::circle_runs(45));  // often covering everything: two separate passes
    for (const toolkit::morphology_runs& e : elements) {
        const std::vector<Point> pts = points_of(e);
        for (int trial = 0; trial < 3; ++trial) {
            const int iw = 8 + static_cast<int>(rng() % 70), ih = 6 + static_cast<int>(rng() % 40);
            const int mw = 1 + static_cast<int>(rng() % 60), mh = 1 + static_cast<int>(rng() % 50);
            const int ow = 1 + static_cast<int>(rng() % 50), oh = 1 + static_cast<int>(rng() % 45);
            const long long mx = static_cast<long long>(rng() % 16) - 6,
                            my = static_cast<long long>(rng() % 12) - 4;
            const long long ox = static_cast<long long>(rng() % 16) - 6,
                            oy = static_cast<long long>(rng() % 12) - 4;
            const std::vector<short> in = random_plane(rng, iw * ih);
            for (bool first_erodes : {true, false}) {
                const std::vector<short> mid =
                    brute_pass(in, iw, ih, mx, my, mw, mh, pts, first_erodes);
                const std::vector<short> want =
                    brute_pass(mid, mw, mh, ox, oy, ow, oh, pts, !first_erodes);
                for (std::uint32_t threads : {1u, 2u, 3u}) {
                    std::vector<short> got(want.size(), 99);
                    std::vector<short> copy = in;
                    toolkit::morphology_two_passes({copy.data(), static_cast<std::size_t>(iw),
                                                    static_cast<std::size_t>(ih), iw},
                                                   0, mx, my, static_cast<std::size_t>(mw),
                                                   static_cast<std::size_t>(mh), ox, oy,
                                                   {got.data(), static_cast<std::size_t>(ow),
                                                    static_cast<std::size_t>(oh), ow},
                                                   e, first_erodes, threads);
                    ASSERT_EQ(got, want)
                        << "points " << pts.size() << " trial " << trial << " threads " << threads;
                }
            }
        }
    }
}

TEST(MorphologyPass, ElementsTooTallForTheRingGoSourceBySource) {
    // A disc of radius 120 over 400 columns needs a ring of about 11 million
    // cells; the pass then merges each source row into the outputs instead.
    std::mt19937 rng(7);
    const int iw = 400, ih = 9, ow = 300, oh = 3;
    const std::vector<short> in = random_plane(rng, iw * ih);
    const toolkit::morphology_runs disc = toolkit::circle_runs(120);
    const std::vector<Point> pts = points_of(disc);
    for (bool erode : {true, false}) {
        const std::vector<short> want = brute_pass(in, iw, ih, 10, 2, ow, oh, pts, erode);
        std::vector<short> got(want.size());
        std::vector<short> copy = in;
        toolkit::morphology_pass({copy.data(), iw, ih, iw}, 10, 2, {got.data(), ow, oh, ow}, disc,
                                 erode, 2);
        EXPECT_EQ(got, want);
    }
}

namespace {

// The extended work area literally: every cell loaded by the mirror rule,
// each pass over every cell with neutral margins, the inner w x h copied
// back clipped.  Only y of `dst` is written.
void literal_morphology(const std::vector<PIXEL_YC>& src, std::vector<PIXEL_YC>& dst, int max_w,
                        int max_h, int pic_w, int pic_h, int sx, int sy, int w, int h, int dx,
                        int dy, const std::vector<Point>& pts, int ex, int ey, MorphologyOp op) {
    const int W = w + 2 * ex, H = h + 2 * ey;
    auto map = [](long long v, long long L, long long M) -> long long {
        if (v < 0) return -1 - v < M ? -1 - v : -1;
        if (v >= L) return 2 * L - 2 - v >= 0 && 2 * L - 2 - v < M ? 2 * L - 2 - v : -1;
        return v < M ? v : -1;
    };
    std::vector<short> work(static_cast<std::size_t>(W) * H, 0);
    for (int k = 0; k < H; ++k)
        for (int u = 0; u < W; ++u) {
            const long long x = map(static_cast<long long>(sx) - ex + u, pic_w, max_w);
            const long long y = map(static_cast<long long>(sy) - ey + k, pic_h, max_h);
            if (x >= 0 && y >= 0)
                work[static_cast<std::size_t>(k) * W + u] =
                    src[static_cast<std::size_t>(y) * max_w + x].y;
        }
    const bool first = op == MorphologyOp::erode || op == MorphologyOp::open;
    work = brute_pass(work, W, H, 0, 0, W, H, pts, first);
    if (op == MorphologyOp::open || op == MorphologyOp::close)
        work = brute_pass(work, W, H, 0, 0, W, H, pts, !first);
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            const long long x = static_cast<long long>(dx) + j, y = static_cast<long long>(dy) + i;
            if (x < 0 || y < 0 || x >= max_w || y >= max_h) continue;
            dst[static_cast<std::size_t>(y) * max_w + static_cast<std::size_t>(x)].y =
                work[static_cast<std::size_t>(ey + i) * W + ex + j];
        }
}

}  // namespace

TEST(MorphologyKernel, MatchesTheWholeExtendedWorkAreaForHugeElementsAndClippedRegions) {
    std::mt19937 rng(31);
    const int max_w = 22, max_h = 17;
    for (int trial = 0; trial < 160; ++trial) {
        const int pic_w = trial % 3 == 0 ? max_w : 6 + static_cast<int>(rng() % (max_w - 5));
        const int pic_h = trial % 3 == 0 ? max_h : 5 + static_cast<int>(rng() % (max_h - 4));
        std::vector<PIXEL_YC> src(static_cast<std::size_t>(max_w) * max_h), dst(src.size()),
            want(src.size());
        std::uniform_int_distribution<int> grey(-300, 4096), coin(0, 3);
        for (PIXEL_YC& p : src) p = {static_cast<short>(coin(rng) == 0 ? 0 : grey(rng)), 7, -7};
        for (PIXEL_YC& p : dst) p = {static_cast<short>(grey(rng)), 3, 4};
        want = dst;
        const MorphologyOp op = static_cast<MorphologyOp>(trial % 4);
        const bool two = op == MorphologyOp::open || op == MorphologyOp::close;

        MorphologyElement element;
        std::vector<double> cells;
        std::vector<Point> pts;
        if (trial % 2 == 0) {
            // Discs up to twice the frame (within what open and close take).
            element.radius = static_cast<int>(rng() % (two ? 17 : 45));
            for (int i = -element.radius; i <= element.radius; ++i)
                for (int j = -element.radius; j <= element.radius; ++j)
                    if (i * i + j * j <= element.radius * element.radius) pts.push_back({j, i});
        } else {
            element.is_table = true;
            element.cols = 1 + static_cast<int>(rng() % (two ? 12 : 40));
            element.rows = 1 + static_cast<int>(rng() % (two ? 12 : 30));
            cells.assign(static_cast<std::size_t>(element.cols) * element.rows, 0);
            const int density = static_cast<int>(rng() % 100);
            for (double& c : cells) c = static_cast<int>(rng() % 100) < density ? 1 : 0;
            cells[rng() % cells.size()] = 1;
            element.cells = cells.data();
            for (int i = 0; i < element.rows; ++i)
                for (int j = 0; j < element.cols; ++j)
                    if (cells[static_cast<std::size_t>(i) * element.cols + j] != 0)
                        pts.push_back({j - element.cols / 2, i - element.rows / 2});
        }
        AreaJob job;
        job.source = {src.data(), max_w, max_h};
        job.destination = {dst.data(), max_w, max_h};
        job.picture_w = pic_w;
        job.picture_h = pic_h;
        job.w = 1 + static_cast<int>(rng() % max_w);
        job.h = 1 + static_cast<int>(rng() % max_h);
        job.sx = static_cast<int>(rng() % 60) - 30;
        job.sy = static_cast<int>(rng() % 50) - 25;
        job.dx = static_cast<int>(rng() % 40) - 15;
        job.dy = static_cast<int>(rng() % 30) - 10;
        literal_morphology(src, want, max_w, max_h, pic_w, pic_h, job.sx, job.sy, job.w, job.h,
                           job.dx, job.dy, pts, element.extension_x(), element.extension_y(), op);
        morphology_region(job, element, op, 1 + trial % 3);
        for (std::size_t i = 0; i < dst.size(); ++i) {
            ASSERT_EQ(dst[i].y, want[i].y)
                << "trial " << trial << " pixel " << i % max_w << "," << i / max_w
                << (element.is_table ? " table " : " radius ")
                << (element.is_table ? element.cols : element.radius) << " region " << job.sx << ","
                << job.sy << " " << job.w << "x" << job.h << " to " << job.dx << "," << job.dy;
            ASSERT_EQ(dst[i].cb, 3);
        }
    }
}

TEST(MorphologyKernel, DestinationOutsideTheBufferCostsNothing) {
    // A disc of radius 9000 over a 2000 x 1500 frame would take seconds.
    std::vector<PIXEL_YC> pixels(2000u * 1500u, PIXEL_YC{5, 1, 2});
    AreaJob job;
    job.source = job.destination = {pixels.data(), 2000, 1500};
    job.w = job.picture_w = 2000;
    job.h = job.picture_h = 1500;
    job.dx = 2000;
    MorphologyElement element;
    element.radius = 9000;
    const auto start = std::chrono::steady_clock::now();
    for (MorphologyOp op : {MorphologyOp::erode, MorphologyOp::dilate}) {
        morphology_region(job, element, op, 2);
        job.dx = 0, job.dy = -1500;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    for (const PIXEL_YC& p : pixels) ASSERT_EQ(p.y, 5);
}

namespace {

class MorphologyLimits : public MorphologyLabelFixture {
protected:
    // Seconds taken by a script.
    double timed(const std::string& code, std::string* error) {
        const auto start = std::chrono::steady_clock::now();
        *error = run(code);
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
};

}  // namespace

TEST_F(MorphologyLimits, HugeDiscsFinishAtOnceWithTheWholeFramesExtremeOrAClearError) {
    // Past the picture's mirrored copies the work area holds zeros, and a
    // disc of radius 9000 sees every cell: the extreme of the buffer and 0.
    paint(2, [](int x, int y) { return 100 + x + y; });
    frame(2).at(40, 30).y = -7;
    frame(2).at(3, 44).y = 30000;
    std::string error;
    EXPECT_LT(timed("erode(2, 3, 0, 0, 64, 48, 0, 0, 9000) dilate(2, 4, 0, 0, 64, 48, 0, 0, 9243)",
                    &error),
              1.0);
    ASSERT_EQ(error, "");
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_EQ(frame(3).at(x, y).y, -7);
            ASSERT_EQ(frame(4).at(x, y).y, 30000);
        }
    // Above 268435455 points (radius 9243) the element cannot be held.
    EXPECT_LT(timed("erode(2, 3, 0, 0, 64, 48, 0, 0, 1e6)", &error), 1.0);
    EXPECT_NE(error.find("erode: structuring element too large (radius 1000000)"),
              std::string::npos)
        << error;
    error = run("dilate(2, 3, 0, 0, 64, 48, 0, 0, 9244)");
    EXPECT_NE(error.find("structuring element too large (radius 9244)"), std::string::npos)
        << error;
    // Open and close need the first pass over the second one's whole reach:
    // their elements may reach the buffer's size and no farther.
    EXPECT_EQ(run("open(2, 3, 0, 0, 64, 48, 0, 0, 48)"), "");
    error = run("close(2, 3, 0, 0, 64, 48, 0, 0, 49)");
    EXPECT_NE(error.find(
                  "bad argument #9 to 'close' (structuring element reaches farther than the buffer "
                  "(open and close allow at most 64 x 48))"),
              std::string::npos)
        << error;
    // An empty region does nothing, whatever the element.
    EXPECT_EQ(run("open(2, 3, 0, 0, 0, 0, 0, 0, 1e6)"), "");
}

TEST_F(MorphologyLimits, FourThousandSquareTablesFinishAtOnce) {
    paint(2, [](int x, int y) { return 500 + 3 * x - y; });
    frame(2).at(10, 10).y = -9;
    // One row table shared by all 4000 rows (the binding reads it once).
    const std::string make = R"(
        local function square(n, set)
          local row = {}
          for k = 1, n do row[k] = set(k) end
          local t = {}
          for k = 1, n do t[k] = row end
          return t
        end
        full = square(4000, function() return 1 end)
        dot = square(4000, function(k) return k == 2001 and 1 or 0 end)
        far = {square(4000, function(k) return k == 1 and 1 or 0 end)[1]}
        local empty = {}
        for k = 2, 4000 do far[k] = empty end)";
    ASSERT_EQ(run(make), "");
    std::string error;
    EXPECT_LT(timed("erode(2, 3, 0, 0, 64, 48, 0, 0, full) dilate(2, 4, 0, 0, 64, 48, 0, 0, full)",
                    &error),
              2.0);
    ASSERT_EQ(error, "");
    EXPECT_EQ(frame(3).at(0, 0).y, -9);  // every window covers the buffer and the zeros beyond it
    EXPECT_EQ(frame(3).at(63, 47).y, -9);
    EXPECT_EQ(frame(4).at(30, 20).y, 500 + 3 * 63);
    // The column 2001 of every row: a vertical line through the centre
    // column reaching 2000 rows up and 1999 down, past every mirrored copy.
    EXPECT_LT(timed("erode(2, 3, 0, 0, 64, 48, 0, 0, dot)", &error), 2.0);
    ASSERT_EQ(error, "");
    EXPECT_EQ(frame(3).at(5, 5).y, 0);
    EXPECT_EQ(frame(3).at(10, 20).y, -9);
    // One point 2000 up and left: it always lands where nothing is read (0).
    EXPECT_LT(timed("dilate(2, 3, 0, 0, 64, 48, 0, 0, far)", &error), 2.0);
    ASSERT_EQ(error, "");
    EXPECT_EQ(frame(3).at(33, 17).y, 0);
    error = run("open(2, 3, 0, 0, 64, 48, 0, 0, full)");
    EXPECT_NE(error.find("structuring element reaches farther than the buffer"), std::string::npos)
        << error;
}
