// The guarded fast colour kernels against their double references on every
// nominal pixel: Y 0..4096, Cb and Cr -2048..2048 (4097^3 triples), one Y
// plane (4097 x 4097 pixels) at a time on all workers.  Prints how many
// triples differ and how long the check ran.
//
//   color_exact_check [color_hsv|color_hsv_m|posterize_hsv|color_hsv_i|color_lab] [--y-step N]
//                     [--threads N]
//                     [--gain G1 G2 G3] [--offset O1 O2 O3] [--levels L1 L2 L3]
//
// --y-step N checks every Nth Y only (a quick partial run).  The defaults
// are the benchmarks' gains and offsets (1.1 0.9 1.2, 10 -5 3) and levels
// (5 4 4).  mkmask_hsv grades each plane against four boxes: three whose
// soft margin, wider than a component's range, turns trunc(H), trunc(S) or
// trunc(V) itself into the grade, and the benchmark's box.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "buffers/rows.h"
#include "color/region_color.h"
#include "color/region_color_pixel.h"
#include "color/tone.h"
#include "mask/key_mask.h"
#include "mask/key_pixel.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kSide = 4097;

KeyBox key_box(int l1, int l2, int l3, int u1, int u2, int u3, int margin) {
    KeyBox b;
    b.lower[0] = l1, b.lower[1] = l2, b.lower[2] = l3;
    b.upper[0] = u1, b.upper[1] = u2, b.upper[2] = u3;
    b.in = 32767, b.out = -32768, b.margin = margin;
    return b;
}

const KeyBox kKeyBoxes[] = {
    key_box(0, 0, 0, 0, 4096, 4096, 5000), key_box(0, 0, 0, 3599, 0, 4096, 5000),
    key_box(0, 0, 0, 3599, 4096, 0, 5000), key_box(900, 1000, 500, 1500, 4096, 4096, 100)};

struct Options {
    std::string function = "color_hsv";
    int y_step = 1;
    int threads = 2;
    ColorAdjust adjust{{1.1, 0.9, 1.2}, {10, -5, 3}};
    int levels[3] = {5, 4, 4};
};

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const auto three = [&](double* out) {
            for (int k = 0; k < 3; ++k) out[k] = std::atof(argv[++i]);
        };
        if (a == "--y-step" && i + 1 < argc) {
            o.y_step = std::atoi(argv[++i]);
        } else if (a == "--threads" && i + 1 < argc) {
            o.threads = std::atoi(argv[++i]);
        } else if (a == "--gain" && i + 3 < argc) {
            three(o.adjust.gain);
        } else if (a == "--offset" && i + 3 < argc) {
            three(o.adjust.offset);
        } else if (a == "--levels" && i + 3 < argc) {
            for (int k = 0; k < 3; ++k) o.levels[k] = std::atoi(argv[++i]);
        } else if (a == "color_hsv" || a == "color_hsv_m" || a == "posterize_hsv" ||
                   a == "color_hsv_i" || a == "color_lab" || a == "mkmask_hsv") {
            o.function = a;
        } else {
            return false;
        }
    }
    return o.y_step >= 1 && o.threads >= 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(
            stderr,
            "usage: color_exact_check [color_hsv|color_hsv_m|posterize_hsv|color_hsv_i|color_lab|"
            "mkmask_hsv] "
            "[--y-step N] "
            "[--threads N] [--gain G1 G2 G3] [--offset O1 O2 O3] [--levels L1 L2 L3]\n");
        return 2;
    }
    pool::set_worker_count(o.threads);
    std::vector<PIXEL_YC> fast(static_cast<std::size_t>(kSide) * kSide), slow(fast.size());
    const Frame ff{fast.data(), kSide, kSide}, fs{slow.data(), kSide, kSide};
    const Region all{0, 0, kSide, kSide};
    long long differ = 0, checked = 0;
    const auto start = std::chrono::steady_clock::now();
    const int passes = o.function == "mkmask_hsv" ? 4 : 1;
    for (int y = 0; y <= 4096; y += o.y_step) {
        for (int pass = 0; pass < passes; ++pass) {
            for (int cr = 0; cr < kSide; ++cr)
                for (int cb = 0; cb < kSide; ++cb)
                    fast[static_cast<std::size_t>(cr) * kSide + cb] = {
                        static_cast<std::int16_t>(y), static_cast<std::int16_t>(cb - 2048),
                        static_cast<std::int16_t>(cr - 2048)};
            slow = fast;
            if (o.function == "color_hsv") {
                color_hsv(ff, all, o.adjust);
                color_hsv_double(fs, all, o.adjust);
            } else if (o.function == "color_hsv_m") {
                color_hsv_unit(ff, all, o.adjust);
                color_hsv_unit_double(fs, all, o.adjust);
            } else if (o.function == "posterize_hsv") {
                posterize_hsv(ff, all, o.levels);
                posterize_hsv_double(fs, all, o.levels);
            } else if (o.function == "color_hsv_i") {
                color_hsv_int(ff, all, o.adjust);
                const ColorFixed f = color_fixed(o.adjust, 1);
                for_each_pixel(fs, all, [&f](PIXEL_YC& p) { color_hsv_int_pixel(p, f); });
            } else if (o.function == "mkmask_hsv") {
                const KeyBox& box = kKeyBoxes[pass];
                key_mask_hsv(ff, ff, {0, 0, 0, 0, kSide, kSide}, box);
                const KeyRule rule = key_rule(box, true);
                for_each_pixel(fs, all, [&rule](PIXEL_YC& p) {
                    PIXEL_YC grade;
                    key_pixel<KeySpace::Hsv>(p, grade, rule);
                    p = grade;
                });
            } else {
                color_lab(ff, all, o.adjust);
                for_each_pixel(fs, all, [&o](PIXEL_YC& p) { color_lab_pixel(p, o.adjust); });
            }
            if (std::memcmp(fast.data(), slow.data(), fast.size() * sizeof(PIXEL_YC)) != 0)
                for (std::size_t i = 0; i < fast.size(); ++i) {
                    const PIXEL_YC &a = fast[i], &b = slow[i];
                    if (a.y == b.y && a.cb == b.cb && a.cr == b.cr) continue;
                    if (++differ <= 10)
                        std::printf("differ at (%d, %d, %d): (%d, %d, %d) against (%d, %d, %d)\n",
                                    y, static_cast<int>(i % kSide) - 2048,
                                    static_cast<int>(i / kSide) - 2048, a.y, a.cb, a.cr, b.y, b.cb,
                                    b.cr);
                }
            checked += static_cast<long long>(fast.size());
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %lld of %lld triples differ (%.1f s, %d threads, y step %d)\n",
                o.function.c_str(), differ, checked, seconds, o.threads, o.y_step);
    pool::shut_down();
    return differ == 0 ? 0 : 1;
}
