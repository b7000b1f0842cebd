// The vector kernels against their per-pixel rules, bit for bit, on every
// instruction set this machine can run (each compiled target in turn, down
// to the portable one).  The frames cover every 16-bit value of each
// component, the nominal ranges densely, greys and ties, and the extremes;
// the areas are offset and of odd width, so unaligned starts and the ends
// of rows are exercised too.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "buffers/frame.h"
#include "color/region_color.h"
#include "color/region_color_pixel.h"
#include "color/tone.h"
#include "color/tone_pixel.h"
#include "draw/alpha.h"
#include "draw/blend.h"
#include "draw/copy.h"
#include "each_target.h"
#include "mask/difference_mask.h"
#include "mask/difference_pixel.h"
#include "mask/graded_mask.h"
#include "mask/graded_pixel.h"
#include "mask/key_mask.h"
#include "mask/key_pixel.h"
#include "mask/mask_logic.h"
#include "platform/thread_pool.h"

namespace {

constexpr int kW = 509, kH = 262;

std::int16_t s16(long v) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(v & 0xffff));
}

// Rows 0..128: every 16-bit value of y, and of cb and cr in two other
// orders.  Then the nominal ranges with a margin (a grey every seventh
// pixel, a tie of two channels every eleventh), then every combination of
// the edge values, then noise.  `seed` varies the orders and the noise.
std::vector<PIXEL_YC> full_range_pixels(std::uint32_t seed) {
    std::vector<PIXEL_YC> px(static_cast<std::size_t>(kW) * kH);
    std::size_t k = 0;
    const std::uint32_t m1 = 40503u + 2 * seed, m2 = 9973u + 4 * seed;
    for (std::uint32_t v = 0; v < 65536; ++v, ++k)
        px[k] = {s16(v + seed), s16(v * m1 + 12345), s16(v * m2 + 777 * seed)};
    std::uint32_t s = 12345 + seed;
    auto next = [&s](int range) {
        s = s * 1664525u + 1013904223u;
        return static_cast<int>((s >> 8) % static_cast<unsigned>(range));
    };
    for (int n = 0; n < 60000; ++n, ++k) {
        PIXEL_YC p{s16(next(4600) - 250), s16(next(4600) - 2300), s16(next(4600) - 2300)};
        if (n % 7 == 0) p.cb = p.cr = 0;
        if (n % 11 == 0) p.cr = static_cast<std::int16_t>(p.cb * 2);  // ties of R and B, or G
        px[k] = p;
    }
    const int edges[] = {-32768, -32767, -4097, -2049, -2048, -1,   0,
                         1,      2047,   2048,  4095,  4096,  4097, 32767};
    for (int y : edges)
        for (int cb : edges)
            for (int cr : edges) px[k++] = {s16(y), s16(cb), s16(cr)};
    for (; k < px.size(); ++k) px[k] = {s16(next(65536)), s16(next(65536)), s16(next(65536))};
    return px;
}

struct Images {
    std::vector<PIXEL_YC> a = full_range_pixels(1), b = full_range_pixels(2),
                          d = full_range_pixels(3);
    Frame fa() { return {a.data(), kW, kH}; }
    Frame fb() { return {b.data(), kW, kH}; }
    Frame fd() { return {d.data(), kW, kH}; }
};

// Odd, offset areas that stay inside the frames.
const PairArea kPair{1, 2, 4, 1, kW - 5, kH - 3};
const TripleArea kTriple{2, 0, 1, 3, 3, 2, kW - 4, kH - 3};
// Source a, destination d, mask b, at the positions of kTriple.
const MaskedArea kMasked{kTriple.ax, kTriple.ay, kTriple.dx, kTriple.dy,
                         kTriple.bx, kTriple.by, kTriple.w,  kTriple.h};
const Region kRegion{3, 1, kW - 6, kH - 2};

using Run = std::function<void(Images&)>;

std::string describe(const PIXEL_YC& p) {
    std::ostringstream text;
    text << "(" << p.y << ", " << p.cb << ", " << p.cr << ")";
    return text.str();
}

// `vector` (the kernel) and `scalar` (the per-pixel rule over the same area)
// on fresh images, for every target; every pixel of every image must agree.
void expect_exact(const std::string& what, const Run& vector, const Run& scalar) {
    Images expected;
    scalar(expected);
    const Images inputs;
    for_each_target([&](const std::string& target) {
        for (int workers : {1, 2}) {
            pool::set_worker_count(workers);
            Images got;
            vector(got);
            int mismatches = 0;
            for (std::size_t k = 0; k < got.d.size() && mismatches < 3; ++k) {
                const std::vector<PIXEL_YC>* images[3][2] = {
                    {&got.a, &expected.a}, {&got.b, &expected.b}, {&got.d, &expected.d}};
                for (int i = 0; i < 3; ++i) {
                    const PIXEL_YC& g = (*images[i][0])[k];
                    const PIXEL_YC& e = (*images[i][1])[k];
                    if (g.y == e.y && g.cb == e.cb && g.cr == e.cr) continue;
                    ++mismatches;
                    ADD_FAILURE() << what << " on " << target << ", image "
                                  << "abd"[i] << ", pixel " << k % kW << "," << k / kW << ": got "
                                  << describe(g) << ", expected " << describe(e) << "; inputs a "
                                  << describe(inputs.a[k]) << ", b " << describe(inputs.b[k])
                                  << ", d " << describe(inputs.d[k]);
                }
            }
        }
    });
    pool::set_worker_count(2);
}

// Per-pixel loops over the test areas.
template <class F>
void each_pair(Images& im, F f) {
    for (int i = 0; i < kPair.h; ++i)
        for (int j = 0; j < kPair.w; ++j)
            f(im.fa().at(kPair.sx + j, kPair.sy + i), im.fd().at(kPair.dx + j, kPair.dy + i));
}
template <class F>
void each_triple(Images& im, F f) {
    const TripleArea& t = kTriple;
    for (int i = 0; i < t.h; ++i)
        for (int j = 0; j < t.w; ++j)
            f(im.fa().at(t.ax + j, t.ay + i), im.fb().at(t.bx + j, t.by + i),
              im.fd().at(t.dx + j, t.dy + i));
}
template <class F>
void each_pixel(Images& im, F f) {
    for (int i = 0; i < kRegion.h; ++i)
        for (int j = 0; j < kRegion.w; ++j) f(im.fd().at(kRegion.x + j, kRegion.y + i));
}

KeyBox box(int l1, int l2, int l3, int u1, int u2, int u3, int in, int out, int margin) {
    KeyBox b;
    b.lower[0] = l1, b.lower[1] = l2, b.lower[2] = l3;
    b.upper[0] = u1, b.upper[1] = u2, b.upper[2] = u3;
    b.in = static_cast<std::int16_t>(in), b.out = static_cast<std::int16_t>(out), b.margin = margin;
    return b;
}

template <KeySpace S>
void check_key(const char* name,
               void (*kernel)(const Frame&, const Frame&, const PairArea&, const KeyBox&),
               bool hue) {
    const KeyBox boxes[] = {
        box(1000, -1000, -500, 3000, 200, 500, 4096, 0, 0),
        box(900, 1000, 500, 1500, 4096, 4096, 0, 4096, 100),
        box(hue ? 3300 : -300, 200, 300, 300, 3000, 3900, 1234, -77, 37),
        box(-40000, -40000, -40000, 40000, 40000, 40000, 4096, 0, 1 << 30),
        box(900, 1200, 800, 1500, 4096, 4096, 0, 4096, -5),  // a negative margin: a hard edge
        box(0, 0, 0, 0, 0, 0, -1, 32767, 5000),
    };
    for (const KeyBox& b : boxes) {
        const KeyRule rule = key_rule(b, hue);
        expect_exact(
            std::string(name) + " lower " + std::to_string(b.lower[0]) + " margin " +
                std::to_string(b.margin),
            [&](Images& im) { kernel(im.fa(), im.fd(), kPair, b); },
            [&](Images& im) {
                each_pair(im, [&](PIXEL_YC& s, PIXEL_YC& d) { key_pixel<S>(s, d, rule); });
            });
    }
}

}  // namespace

TEST(VectorKernelsExact, EveryAttainableTargetIsCompared) {
    // On x86-64 at least one vector target (SSSE3 is the oldest any 64-bit
    // processor of the last decade has) and the portable one.
    std::string names;
    for (std::int64_t t : hwy::SupportedAndGeneratedTargets())
        names += std::string(" ") + hwy::TargetName(t);
    RecordProperty("targets", names);
    EXPECT_GE(hwy::SupportedAndGeneratedTargets().size(), 2u) << names;
}

TEST(VectorKernelsExact, KeyMasks) {
    check_key<KeySpace::Yc>("mkmask", key_mask_yc, false);
    check_key<KeySpace::Rgb>("mkmask_rgb", key_mask_rgb, false);
    check_key<KeySpace::Hsv>("mkmask_hsv", key_mask_hsv, true);
    check_key<KeySpace::HsvInt>("mkmask_hsv_int", key_mask_hsv_int, true);
}

TEST(VectorKernelsExact, DifferenceMasks) {
    DifferenceMask masks[4];
    masks[1].gain = 2.5, masks[1].weight[0] = 0.3, masks[1].weight[1] = 7.9,
    masks[1].threshold = 100;
    masks[2].gain = -1;
    masks[3].gain = 1e300, masks[3].weight[0] = 0, masks[3].weight[1] = 1e5,
    masks[3].weight[2] = -3;
    for (DifferenceMask m : masks) {
        const std::string at = " gain " + std::to_string(m.gain);
        const FixedWeights f = fixed_weights(m.weight);
        m.space = MaskSpace::Yc;
        expect_exact(
            "mkmask_diff" + at,
            [&](Images& im) { difference_mask(im.fa(), im.fb(), im.fd(), kTriple, m); },
            [&](Images& im) {
                each_triple(im, [&](PIXEL_YC& a, PIXEL_YC& b, PIXEL_YC& d) {
                    difference_pixel<MaskSpace::Yc>(a, b, d, m, f);
                });
            });
        m.space = MaskSpace::Rgb;
        expect_exact(
            "mkmask_diff_rgb" + at,
            [&](Images& im) { difference_mask(im.fa(), im.fb(), im.fd(), kTriple, m); },
            [&](Images& im) {
                each_triple(im, [&](PIXEL_YC& a, PIXEL_YC& b, PIXEL_YC& d) {
                    difference_pixel<MaskSpace::Rgb>(a, b, d, m, f);
                });
            });
        m.space = MaskSpace::Hsv;
        expect_exact(
            "mkmask_diff_hsv" + at,
            [&](Images& im) { difference_mask(im.fa(), im.fb(), im.fd(), kTriple, m); },
            [&](Images& im) {
                each_triple(im, [&](PIXEL_YC& a, PIXEL_YC& b, PIXEL_YC& d) {
                    difference_pixel<MaskSpace::Hsv>(a, b, d, m, f);
                });
            });
    }
}

template <bool Circular, class Convert>
void check_graded(const std::string& name, MaskSpace space, Convert convert) {
    GradedMask masks[4];
    masks[0].key_a[0] = 2048, masks[0].key_a[1] = -500, masks[0].key_a[2] = -300;
    masks[0].key_b[0] = 3500, masks[0].key_b[1] = 500, masks[0].key_b[2] = 300;
    masks[0].inner = 100, masks[0].outer = 900;
    masks[1] = masks[0];
    masks[1].key_a[0] = 3550, masks[1].key_b[0] = 50, masks[1].weight[0] = 0.5,
    masks[1].weight[2] = 3;
    masks[1].inner = 700, masks[1].outer = 300;                        // no ramp
    masks[2].inner = 0, masks[2].outer = 1e9, masks[2].weight[1] = 0;  // A = B: a point
    masks[3] = masks[0];
    masks[3].weight[0] = 1e308, masks[3].outer = 1e308;  // infinities and NaN
    for (GradedMask m : masks) {
        m.space = space;
        const GradedKeys k = graded_keys(as_triple(m.key_a), as_triple(m.key_b),
                                         {m.weight[0], m.weight[1], m.weight[2]});
        for (bool line : {false, true}) {
            m.line = line;
            expect_exact(
                name + (line ? " line" : " point") + " inner " + std::to_string(m.inner),
                [&](Images& im) { graded_mask(im.fa(), im.fd(), kPair, m); },
                [&](Images& im) {
                    each_pair(im, [&](PIXEL_YC& s, PIXEL_YC& d) {
                        if (line)
                            graded_pixel<true, false>(s, d, convert, k, m.inner, m.outer);
                        else
                            graded_pixel<false, Circular>(s, d, convert, k, m.inner, m.outer);
                    });
                });
        }
    }
}

TEST(VectorKernelsExact, GradedMasks) {
    check_graded<false>("mkmask_p/l", MaskSpace::Yc, mask_space::Yc{});
    check_graded<false>("mkmask_p/l_rgb", MaskSpace::Rgb, mask_space::Rgb{});
    check_graded<true>("mkmask_p/l_hsv", MaskSpace::Hsv, mask_space::Hsv{});
}

TEST(VectorKernelsExact, MaskLogic) {
    const MaskOp ops[] = {MaskOp::And, MaskOp::Or, MaskOp::Sub, MaskOp::Xor};
    for (MaskOp op : ops)
        expect_exact(
            "mask logic " + std::to_string(static_cast<int>(op)),
            [&](Images& im) { mask_logic(op, im.fa(), im.fb(), im.fd(), kTriple); },
            [&](Images& im) {
                each_triple(im, [&](PIXEL_YC& a, PIXEL_YC& b, PIXEL_YC& d) {
                    put_grade(d, mask_combine(op, a.y, b.y));
                });
            });
    expect_exact(
        "mask_not", [](Images& im) { mask_not(im.fa(), im.fd(), kPair); },
        [](Images& im) {
            each_pair(im, [](PIXEL_YC& s, PIXEL_YC& d) { put_grade(d, 4096 - s.y); });
        });
}

TEST(VectorKernelsExact, AlphaBlends) {
    // Opacities inside and at the ends of the vector code's range, and
    // beyond it (handled per pixel).
    for (int a : {1228, 0, 4096, -30719, 34815, 34816, -2000000})
        for (int key : {-32768, -40000, 100, 32767}) {
            const std::string at = " a " + std::to_string(a) + " key " + std::to_string(key);
            expect_exact(
                "alpha" + at, [&](Images& im) { alpha_constant(im.fa(), im.fd(), kPair, a, key); },
                [&](Images& im) {
                    each_pair(im, [&](PIXEL_YC& s, PIXEL_YC& d) {
                        if (s.y > key) blend_pixel(s, d, a);
                    });
                });
            expect_exact(
                "alpha masked keyed" + at,
                [&](Images& im) { alpha_masked_keyed(im.fa(), im.fd(), im.fb(), kMasked, a, key); },
                [&](Images& im) {
                    each_triple(im, [&](PIXEL_YC& s, PIXEL_YC& m, PIXEL_YC& d) {
                        if (m.y > key) blend_pixel(s, d, a);
                    });
                });
        }
    expect_exact(
        "alpha masked", [](Images& im) { alpha_masked(im.fa(), im.fd(), im.fb(), kMasked); },
        [](Images& im) {
            each_triple(im, [](PIXEL_YC& s, PIXEL_YC& m, PIXEL_YC& d) { blend_pixel(s, d, m.y); });
        });
    const int yc[][3] = {{1000, 2000, 3000}, {-30719, 34815, 4096}, {0, 40000, -50000}};
    for (const auto& o : yc)
        expect_exact(
            "alpha_yc " + std::to_string(o[0]),
            [&](Images& im) { alpha_yc(im.fa(), im.fd(), kPair, o[0], o[1], o[2]); },
            [&](Images& im) {
                each_pair(im, [&](PIXEL_YC& s, PIXEL_YC& d) {
                    blend_pixel_saturated(s, d, o[0], o[1], o[2]);
                });
            });
    const int rgb[][3] = {{1000, 2000, 3000}, {-6143, 10239, 4096}, {-6144, 0, 4096}};
    for (const auto& o : rgb)
        expect_exact(
            "alpha_rgb " + std::to_string(o[0]),
            [&](Images& im) { alpha_rgb(im.fa(), im.fd(), kPair, o[0], o[1], o[2]); },
            [&](Images& im) {
                each_pair(
                    im, [&](PIXEL_YC& s, PIXEL_YC& d) { blend_pixel_rgb(s, d, o[0], o[1], o[2]); });
            });
}

TEST(VectorKernelsExact, KeyedCopies) {
    for (int key : {2048, -32768, -32769, 32766, 32767, 100000}) {
        expect_exact(
            "copy keyed " + std::to_string(key),
            [&](Images& im) { copy_keyed(im.fa(), im.fd(), kPair, key); },
            [&](Images& im) {
                each_pair(im, [&](PIXEL_YC& s, PIXEL_YC& d) {
                    if (s.y > key) d = s;
                });
            });
        expect_exact(
            "copy masked " + std::to_string(key),
            [&](Images& im) { copy_masked(im.fa(), im.fd(), im.fb(), kMasked, key); },
            [&](Images& im) {
                each_triple(im, [&](PIXEL_YC& s, PIXEL_YC& m, PIXEL_YC& d) {
                    if (m.y > key) d = s;
                });
            });
    }
}

TEST(VectorKernelsExact, RegionColours) {
    const ColorAdjust adjusts[] = {
        {{1.1, 0.9, 1.2}, {10, -5, 3}},
        {{1, 1, 1}, {0, 0, 0}},
        {{-3.7, 15.9, 0.001}, {-2000.5, 7000, 0.3}},
        {{16, -16, 2}, {524287, -524288, 1}},      // at the edge of the 32-bit path
        {{300, 1e6, -1e9}, {1e9, -3e9, 5}},        // beyond it: per pixel
        {{1e300, -1e308, 0}, {-1e308, 1e300, 0}},  // infinities and NaN in color_xyz
    };
    for (const ColorAdjust& a : adjusts) {
        const std::string at = " gain " + std::to_string(a.gain[0]);
        expect_exact(
            "color" + at, [&](Images& im) { color_yc(im.fd(), kRegion, a); },
            [&](Images& im) {
                const ColorFixed f = color_fixed(a, 4096);
                each_pixel(im, [&](PIXEL_YC& p) { color_yc_pixel(p, f); });
            });
        expect_exact(
            "color_rgb" + at, [&](Images& im) { color_rgb(im.fd(), kRegion, a); },
            [&](Images& im) {
                const ColorFixed f = color_fixed(a, 4096);
                each_pixel(im, [&](PIXEL_YC& p) { color_rgb_pixel(p, f); });
            });
        expect_exact(
            "color_hsv" + at, [&](Images& im) { color_hsv(im.fd(), kRegion, a); },
            [&](Images& im) {
                const HsvAdjust h = hsv_adjust(a);
                each_pixel(im, [&](PIXEL_YC& p) { color_hsv_pixel(p, h); });
            });
        expect_exact(
            "color_xyz" + at, [&](Images& im) { color_xyz(im.fd(), kRegion, a); },
            [&](Images& im) { each_pixel(im, [&](PIXEL_YC& p) { color_xyz_pixel(p, a); }); });
    }
}

TEST(VectorKernelsExact, Levels) {
    for (int t : {2048, -32768, -40000, 32767, 32768, 0})
        expect_exact(
            "binarize " + std::to_string(t),
            [&](Images& im) { binarize_luma(im.fd(), kRegion, t); },
            [&](Images& im) { each_pixel(im, [&](PIXEL_YC& p) { binarize_pixel(p, t); }); });
    const int levels[][3] = {{5, 4, 4}, {2, 1, 0}, {4097, 5000, 7}, {3, 4098, 100000}, {-5, 9, 65}};
    for (const auto& l : levels) {
        std::ostringstream levels_text;
        levels_text << " " << l[0] << "," << l[1] << "," << l[2];
        const std::string at = levels_text.str();
        const auto quantisers = [&](int range1) {
            return Posterize{{Quantiser(level_step(l[0], range1), range1),
                              Quantiser(level_step(l[1], 4096), 4096),
                              Quantiser(level_step(l[2], 4096), 4096)}};
        };
        expect_exact(
            "posterize" + at, [&](Images& im) { posterize_yc(im.fd(), kRegion, l); },
            [&](Images& im) {
                each_pixel(im, [&](PIXEL_YC& p) { posterize_yc_pixel(p, quantisers(4096)); });
            });
        expect_exact(
            "posterize_rgb" + at, [&](Images& im) { posterize_rgb(im.fd(), kRegion, l); },
            [&](Images& im) {
                each_pixel(im, [&](PIXEL_YC& p) { posterize_rgb_pixel(p, quantisers(4096)); });
            });
        expect_exact(
            "posterize_hsv" + at, [&](Images& im) { posterize_hsv(im.fd(), kRegion, l); },
            [&](Images& im) {
                each_pixel(im, [&](PIXEL_YC& p) { posterize_hsv_pixel(p, quantisers(3600)); });
            });
    }
    expect_exact(
        "normalize", [](Images& im) { normalize_gamut(im.fd(), kRegion); },
        [](Images& im) { each_pixel(im, [](PIXEL_YC& p) { normalize_pixel(p); }); });
}
