// The pieces under text drawing: polygon coverage, the outline pen and the
// decoding of script bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "platform/coverage_raster.h"
#include "platform/pen_stroke.h"
#include "platform/polyline_flattening.h"
#include "platform/text_encoding.h"

using platform::CoverageRaster;
using platform::Point;
using platform::PolylineSet;

namespace {

std::vector<std::uint8_t> resolve(const CoverageRaster& r) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(r.width()) * r.height());
    for (int y = 0; y < r.height(); ++y)
        r.resolve_row(y, out.data() + static_cast<std::size_t>(y) * r.width());
    return out;
}

void polygon(CoverageRaster& r, std::vector<Point> pts, float weight = 1) {
    for (std::size_t i = 0; i < pts.size(); ++i)
        r.add_edge(pts[i], pts[(i + 1) % pts.size()], weight);
}

}  // namespace

TEST(CoverageRaster, SquareWithHalfPixelEdges) {
    CoverageRaster r;
    r.reset(10, 10);
    polygon(r, {{2.5, 2}, {7.5, 2}, {7.5, 6.5}, {2.5, 6.5}});
    const auto c = resolve(r);
    EXPECT_EQ(c[3 * 10 + 4], 255);
    EXPECT_EQ(c[3 * 10 + 2], 128);  // half of the pixel column
    EXPECT_EQ(c[3 * 10 + 7], 128);
    EXPECT_EQ(c[6 * 10 + 4], 128);  // half of the pixel row
    EXPECT_EQ(c[6 * 10 + 2], 64);   // a quarter at the corner
    EXPECT_EQ(c[1 * 10 + 4], 0);
    EXPECT_EQ(c[3 * 10 + 8], 0);
}

TEST(CoverageRaster, OppositeWindingsUniteAndHugePolygonsAreClipped) {
    CoverageRaster r;
    r.reset(8, 8);
    // Two overlapping squares wound opposite ways, each oriented by its weight.
    polygon(r, {{0, 0}, {5, 0}, {5, 5}, {0, 5}}, 1);
    polygon(r, {{3, 3}, {3, 8}, {8, 8}, {8, 3}}, -1);
    auto c = resolve(r);
    EXPECT_EQ(c[4 * 8 + 4], 255);  // in both
    EXPECT_EQ(c[6 * 8 + 6], 255);
    EXPECT_EQ(c[6 * 8 + 1], 0);

    // A triangle with far-away corners: only the grid's rows and columns are
    // visited, and the parts left of the grid still count.
    r.reset(8, 8);
    polygon(r, {{-1e12, -1e12}, {3e12, -1e12}, {-1e12, 3e12}});
    c = resolve(r);
    for (std::uint8_t v : c) EXPECT_EQ(v, 255);
}

TEST(PenStroke, DotsAndSmallCountersCloseWithoutHoles) {
    // A 4 x 4 square traced by a pen of radius 9: every point within 9 of its
    // sides is covered, so the result is a rounded square with no ring.
    PolylineSet set;
    set.begin({-100, -100, 100, 100}, 0.1);
    set.move_to({18, 18});
    set.line_to({22, 18});
    set.line_to({22, 22});
    set.line_to({18, 22});
    set.end();
    CoverageRaster r;
    r.reset(40, 40);
    ASSERT_FALSE(platform::stroke_polylines(set, 9, 0.1, r));
    const auto c = resolve(r);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            const double dx = std::max({18 - px, px - 22, 0.0}),
                         dy = std::max({18 - py, py - 22, 0.0});
            const double d = std::hypot(dx, dy);
            if (d < 8) {
                EXPECT_EQ(c[y * 40 + x], 255) << x << "," << y;
            } else if (d > 10) {
                EXPECT_EQ(c[y * 40 + x], 0) << x << "," << y;
            }
        }
    // A pen wider than the whole grid around a point inside it covers all.
    CoverageRaster small;
    small.reset(40, 40);
    EXPECT_TRUE(platform::stroke_polylines(set, 1e9, 0.1, small));
}

TEST(TextEncoding, ShiftJisAndUtf8DecodeAlike) {
    const std::string utf8 = "ＭＳ ゴシック 日本語";
    const std::string sjis =
        "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e\x20\x93\xfa\x96\x7b\x8c\xea";
    EXPECT_TRUE(platform::is_valid_utf8(utf8));
    EXPECT_FALSE(platform::is_valid_utf8(sjis));
    EXPECT_EQ(platform::decode_script_text(sjis), platform::decode_script_text(utf8));
    EXPECT_EQ(platform::script_text_to_utf8(sjis), utf8);
    EXPECT_EQ(platform::decode_script_text(utf8).size(), 11u);
    // Overlong and surrogate forms are not UTF-8.
    EXPECT_FALSE(platform::is_valid_utf8("\xC0\xAF"));
    EXPECT_FALSE(platform::is_valid_utf8("\xED\xA0\x80"));
}

TEST(TextEncoding, BytesValidInNeitherEncodingAreSkipped) {
    // 0xFF and 0x80 are no lead bytes in code page 932; "\x81" at the end is
    // a cut-off pair.
    const std::u32string text = platform::decode_script_text(
        "\xFF"
        "A\x80"
        "B\x82\xA0"
        "C\x81");
    EXPECT_EQ(text, U"ABあC");
}
