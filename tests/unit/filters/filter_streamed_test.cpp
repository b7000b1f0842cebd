// The median and box mean stream their rows from source to destination when
// the two buffers are apart, and go through whole work arrays when they
// share memory.  Both ways must give the same pixels: random pictures,
// windows, regions reaching past every edge, clipped destinations and
// worker counts, each filtered both ways.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "filters/defocus.h"
#include "filters/median.h"
#include "platform/thread_pool.h"

namespace {

struct Buffer {
    std::vector<PIXEL_YC> pixels;
    Frame frame;
    Buffer(int w, int h) : pixels(static_cast<std::size_t>(w) * h) {
        frame = {pixels.data(), w, h};
    }
};

class StreamedFilters : public ::testing::TestWithParam<int> {
protected:
    void TearDown() override { pool::set_worker_count(1); }

    // Filters a random case both ways and fails, naming the case, when the
    // destinations differ.
    template <class Filter>
    void check_both_ways(std::mt19937& rng, int kw, int kh, Filter&& filter, int tallest = 48) {
        std::uniform_int_distribution<int> size(8, 48);
        const int max_w = size(rng), max_h = std::uniform_int_distribution<int>(8, tallest)(rng);
        const int pw = std::uniform_int_distribution<int>(1, max_w)(rng);
        const int ph = std::uniform_int_distribution<int>(1, max_h)(rng);
        Buffer source(max_w, max_h), apart(max_w, max_h), shared(max_w, max_h);
        // Colours past the nominal ranges too, so that R, G and B of a pixel
        // often tie with a neighbour's in one or two components only.
        std::uniform_int_distribution<int> level(0, 5), y(-300, 4400), c(-2200, 2200);
        for (PIXEL_YC& p : source.pixels) {
            p = {static_cast<short>(y(rng)), static_cast<short>(c(rng)),
                 static_cast<short>(c(rng))};
            if (level(rng) == 0) p.cb = p.cr = 0;
            if (level(rng) == 0) p = {static_cast<short>(level(rng) * 800), 0, 0};
        }
        apart.pixels = source.pixels;
        shared.pixels = source.pixels;
        AreaJob job;
        job.picture_w = pw;
        job.picture_h = ph;
        std::uniform_int_distribution<int> x(-12, max_w), v(-12, max_h);
        job.sx = x(rng);
        job.sy = v(rng);
        job.w = std::uniform_int_distribution<int>(1, max_w)(rng);
        job.h = std::uniform_int_distribution<int>(1, max_h)(rng);
        job.dx = x(rng);
        job.dy = v(rng);
        const int threads = std::uniform_int_distribution<int>(1, 3)(rng);
        pool::set_worker_count(threads);
        job.threads = static_cast<std::uint32_t>(threads);

        job.source = source.frame;
        job.destination = apart.frame;
        ASSERT_FALSE(job.reads_back());
        filter(job, kw, kh);
        job.source = job.destination = shared.frame;
        ASSERT_TRUE(job.reads_back());
        filter(job, kw, kh);
        for (std::size_t i = 0; i < source.pixels.size(); ++i) {
            const PIXEL_YC a = apart.pixels[i], s = shared.pixels[i];
            ASSERT_TRUE(a.y == s.y && a.cb == s.cb && a.cr == s.cr)
                << "window " << kw << " x " << kh << ", buffer " << max_w << " x " << max_h
                << ", picture " << pw << " x " << ph << ", region (" << job.sx << ", " << job.sy
                << ") " << job.w << " x " << job.h << " to (" << job.dx << ", " << job.dy << "), "
                << threads << " threads, pixel " << i % max_w << ", " << i / max_w;
        }
    }
};

// Window sizes: the two with networks most often, and every other kind
// (even, below 1, wider than the buffer).
int window(std::mt19937& rng) {
    static const int sizes[] = {3, 3, 3, 5, 5, 5, 1, 2, 4, 7, 0, -3, 9, 60};
    return sizes[std::uniform_int_distribution<int>(0, std::size(sizes) - 1)(rng)];
}

}  // namespace

TEST_P(StreamedFilters, MedianGivesTheResultOfTheWholeArrays) {
    std::mt19937 rng(static_cast<std::uint32_t>(GetParam()));
    for (int trial = 0; trial < 40; ++trial) {
        const int kw = window(rng);
        const int kh = rng() % 3 == 0 ? kw : window(rng);
        check_both_ways(rng, kw, kh, median_region);
        if (HasFatalFailure()) return;
    }
}

TEST_P(StreamedFilters, BoxMeanGivesTheResultOfTheWholeArrays) {
    std::mt19937 rng(static_cast<std::uint32_t>(GetParam()) + 1000);
    for (int trial = 0; trial < 40; ++trial) {
        const int kw = window(rng);
        // Boxes taller than a thread keeps in its ring of rows, now and then.
        const bool tall = rng() % 6 == 0;
        check_both_ways(rng, kw, tall ? 70 : window(rng), defocus_region, tall ? 90 : 48);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(Seeds, StreamedFilters, ::testing::Range(1, 6));
