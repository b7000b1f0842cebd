// font and text: the blending arithmetic, placement and outline properties
// with real fonts, and the argument forms through Lua.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "draw/text.h"
#include "lua_fixture.h"
#include "mask_test_util.h"

namespace {

constexpr int kW = 400, kH = 200;

FontState make_font(int height, int edge_width = 0, std::string face = "DejaVu Sans") {
    static std::string storage;
    storage = std::move(face);
    FontArgs a;
    a.face = storage.c_str();
    a.face_length = storage.size();
    a.height = height;
    a.has_edge = true;
    a.edge_width = edge_width;
    a.text_color[0] = 4096;
    a.edge_color[1] = 2000;  // the outline shows as Cb
    FontState f;
    set_font(f, a);
    return f;
}

// Bounding box of the pixels that differ from `before`; w = 0 when none.
struct Box {
    int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
    bool any() const { return x1 >= 0; }
};
template <class Pred>
Box box_where(TestFrame& f, Pred pred) {
    Box b;
    for (int y = 0; y < f.frame.max_h; ++y)
        for (int x = 0; x < f.frame.max_w; ++x)
            if (pred(f.at(x, y))) {
                b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x), b.y1 = std::max(b.y1, y);
            }
    return b;
}
Box changed(TestFrame& f) {
    return box_where(f, [](const PIXEL_YC& p) { return p.y != 0 || p.cb != 0 || p.cr != 0; });
}

bool same_frames(const TestFrame& a, const TestFrame& b) {
    for (std::size_t k = 0; k < a.pixels.size(); ++k)
        if (a.pixels[k].y != b.pixels[k].y || a.pixels[k].cb != b.pixels[k].cb ||
            a.pixels[k].cr != b.pixels[k].cr)
            return false;
    return true;
}

}  // namespace

TEST(TextBlend, CoverageArithmetic) {
    EXPECT_EQ(blend_coverage(0, 4096, 255), 4080);
    EXPECT_EQ(blend_coverage(1000, 3000, 128), (1000 * 127 + 3000 * 128) >> 8);
    EXPECT_EQ(blend_coverage(-100, 0, 1), (-100 * 254) >> 8);  // arithmetic shift
    // Huge colours keep the low 16 bits of the exact result.
    const long long exact = (1234LL * 55 + 2000000000LL * 200) >> 8;
    EXPECT_EQ(blend_coverage(1234, 2000000000, 200), static_cast<std::int16_t>(exact & 0xFFFF));
}

TEST(TextDraw, FullCoverageGives4080AndTouchesOnlyTheTextsArea) {
    TestFrame f(kW, kH);
    FontState font = make_font(80);
    draw_text(f.frame, font, 20, 30, 2, "HIM");
    int full = 0, highest = 0;
    for (const PIXEL_YC& p : f.pixels) {
        highest = std::max<int>(highest, p.y);
        full += p.y == 4080;
        EXPECT_EQ(p.cb, 0);
    }
    EXPECT_EQ(highest, 4080);
    EXPECT_GT(full, 500);
    const Box b = changed(f);
    EXPECT_GE(b.x0, 20);
    EXPECT_GE(b.y0, 30);
    EXPECT_LT(b.y1, 30 + 80);

    // Over a varied frame nothing outside the glyphs changes.
    TestFrame g = varied_frame(kW, kH), before = g;
    draw_text(g.frame, font, 20, 30, 2, "HIM");
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (x < b.x0 || x > b.x1 || y < b.y0 || y > b.y1) {
                ASSERT_EQ(g.at(x, y).y, before.at(x, y).y);
                ASSERT_EQ(g.at(x, y).cr, before.at(x, y).cr);
            }
}

TEST(TextDraw, AlignmentPutsTheLineAtX) {
    FontState font = make_font(40);
    int left[3], right[3];
    for (int align = 0; align < 3; ++align) {
        TestFrame f(kW, kH);
        draw_text(f.frame, font, 200, 50, align, "Hamburg");
        const Box b = changed(f);
        ASSERT_TRUE(b.any());
        left[align] = b.x0, right[align] = b.x1;
    }
    EXPECT_NEAR(left[2], 200, 5);                     // left end
    EXPECT_NEAR(right[0], 200, 5);                    // right end
    EXPECT_NEAR((left[1] + right[1]) / 2.0, 200, 5);  // centre
    EXPECT_NEAR(right[2] - left[2], right[0] - left[0], 1);

    TestFrame f = varied_frame(kW, kH), before = f;
    draw_text(f.frame, font, 200, 50, 3, "Hamburg");
    draw_text(f.frame, font, 200, 50, -1, "Hamburg");
    EXPECT_TRUE(same_frames(f, before));
}

TEST(TextDraw, LineFeedStartsALineOneCellLower) {
    FontState font = make_font(30);
    TestFrame one(kW, kH), two(kW, kH);
    draw_text(one.frame, font, 10, 10, 2, "XX");
    draw_text(two.frame, font, 10, 10, 2, "XX\r\nXX");
    const Box a = changed(one), b = changed(two);
    EXPECT_EQ(b.y0, a.y0);
    EXPECT_EQ(b.y1, a.y1 + 30);
    // The rows between the two lines stay untouched.
    TestFrame gap(kW, kH);
    draw_text(gap.frame, font, 10, 10, 2, "XX\nXX");
    EXPECT_EQ(box_where(gap, [&](const PIXEL_YC& p) { return p.y != 0; }).y1, b.y1);
    bool empty_row = false;
    for (int y = a.y1 + 1; y < a.y0 + 30; ++y) {
        bool row_empty = true;
        for (int x = 0; x < kW; ++x) row_empty &= gap.at(x, y).y == 0;
        empty_row |= row_empty;
    }
    EXPECT_TRUE(empty_row);
}

TEST(TextDraw, OutlineSurroundsTheGlyphs) {
    FontState font = make_font(60, 8);
    TestFrame f(kW, kH);
    draw_text(f.frame, font, 30, 30, 2, "lo.");
    const Box glyphs = box_where(f, [](const PIXEL_YC& p) { return p.y > 3000; });
    const Box edge = box_where(f, [](const PIXEL_YC& p) { return p.cb > 1900; });
    ASSERT_TRUE(glyphs.any() && edge.any());
    // The pen of width 8 reaches about 4 pixels beyond the glyphs all round.
    EXPECT_NEAR(glyphs.x0 - edge.x0, 4, 1.5);
    EXPECT_NEAR(edge.x1 - glyphs.x1, 4, 1.5);
    EXPECT_NEAR(glyphs.y0 - edge.y0, 4, 1.5);
    // Full glyph pixels carry the text colour only.
    for (const PIXEL_YC& p : f.pixels)
        if (p.y == 4080) {
            EXPECT_EQ(p.cb, 0);
        }

    // Width 0 in the long form draws no outline, like the short form.
    TestFrame plain(kW, kH), no_edge(kW, kH);
    FontState a = make_font(60, 0);
    draw_text(no_edge.frame, a, 30, 30, 2, "lo.");
    FontArgs short_form;
    short_form.face = "DejaVu Sans";
    short_form.face_length = 11;
    short_form.height = 60;
    short_form.text_color[0] = 4096;
    FontState b;
    set_font(b, short_form);
    draw_text(plain.frame, b, 30, 30, 2, "lo.");
    EXPECT_TRUE(same_frames(plain, no_edge));
}

TEST(TextDraw, UnderlineBoldAndItalicOfAFaceWithoutThem) {
    // IPAGothic has one regular style: bold and italic are synthesised.
    const auto draw = [](int bold, int italic, int underline) {
        FontArgs a;
        a.face = "IPAGothic";
        a.face_length = 9;
        a.height = 48;
        a.bold = bold, a.italic = italic, a.underline = underline;
        a.text_color[0] = 4096;
        FontState f;
        set_font(f, a);
        TestFrame t(kW, kH);
        draw_text(t.frame, f, 20, 20, 2, "I  I");
        return t;
    };
    TestFrame regular = draw(0, 0, 0), bold = draw(1, 0, 0), italic = draw(0, 1, 0),
              underlined = draw(0, 0, 1);
    const auto ink = [](TestFrame& f) {
        long sum = 0;
        for (const PIXEL_YC& p : f.pixels) sum += p.y;
        return sum;
    };
    EXPECT_GT(ink(bold), ink(regular) * 11 / 10);
    // The slant moves the top of the stems right and leaves the baseline.
    const Box r = changed(regular), i = changed(italic);
    const auto first_x = [](TestFrame& f, int y) {
        for (int x = 0; x < kW; ++x)
            if (f.at(x, y).y > 2000) return x;
        return -1;
    };
    EXPECT_GT(first_x(italic, r.y0 + 2), first_x(regular, r.y0 + 2) + 3);
    EXPECT_NEAR(first_x(italic, r.y1 - 1), first_x(regular, r.y1 - 1), 2);
    EXPECT_EQ(i.y1, r.y1);
    // The underline runs below the glyphs and across the spaces.
    const Box u = changed(underlined);
    EXPECT_GT(u.y1, r.y1);
    const int gap_x = (r.x0 + r.x1) / 2;
    EXPECT_EQ(regular.at(gap_x, u.y1).y, 0);
    EXPECT_GT(underlined.at(gap_x, u.y1).y, 0);
}

TEST(TextDraw, DefaultFaceBeforeAnyFontCall) {
    FontState never;
    TestFrame f(kW, kH);
    draw_text(f.frame, never, 10, 10, 2, "Aあ漢");
    EXPECT_EQ(never.text_color[0], 4096);
    const Box b = changed(f);
    ASSERT_TRUE(b.any());
    EXPECT_LT(b.y1, 10 + 32);
    // The Japanese characters come from a face that has them (no empty
    // boxes): the two right glyphs differ.
    int left = 0, right = 0;
    for (int y = 10; y < 42; ++y)
        for (int x = 0; x < kW; ++x) {
            int& side = x < b.x0 + (b.x1 - b.x0) * 0.6 ? left : right;
            side += f.at(x, y).y > 2000;
        }
    EXPECT_GT(right, 50);
}

TEST(TextDraw, ShiftJisAndUtf8TextDrawTheSame) {
    FontState utf8_font = make_font(40, 2, "ＭＳ ゴシック");
    FontState sjis_font =
        make_font(40, 2, "\x82\x6c\x82\x72\x81\x40\x83\x53\x83\x56\x83\x62\x83\x4e");
    TestFrame a(kW, kH), b(kW, kH);
    draw_text(a.frame, utf8_font, 10, 10, 2, "日本語のテキスト");
    draw_text(b.frame, sjis_font, 10, 10, 2,
              "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67");
    EXPECT_TRUE(changed(a).any());
    EXPECT_TRUE(same_frames(a, b));

    // Bytes that fit neither encoding are skipped; a NUL ends the text.
    TestFrame c(kW, kH), d(kW, kH);
    draw_text(c.frame, utf8_font, 10, 10, 2,
              std::string_view("\xFF\xFE"
                               "AB\0CD",
                               6));
    draw_text(d.frame, utf8_font, 10, 10, 2, "AB");
    EXPECT_TRUE(same_frames(c, d));
}

TEST(TextDraw, HugeSizesCostNoMoreThanTheFrame) {
    const auto start = std::chrono::steady_clock::now();
    // Glyphs far larger than the frame: only their part over it is drawn.
    TestFrame f(kW, kH);
    FontState huge = make_font(2000000000);
    draw_text(f.frame, huge, -1000000000, -500000000, 2, "W");
    // A pen wider than any frame around text that overlaps it paints the
    // whole frame around the glyphs in the edge colour.
    TestFrame g(kW, kH, {1000, 0, 0});
    FontState wide = make_font(40, 2147483647);
    draw_text(g.frame, wide, 10, 10, 2, "ab\ncd");
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            if (x >= 100 || y >= 100) {
                ASSERT_EQ(g.at(x, y).cb, (2000 * 255) >> 8);
                ASSERT_EQ(g.at(x, y).y, 0);
            }
    // Text far off the frame changes nothing.
    TestFrame h = varied_frame(kW, kH), before = h;
    draw_text(h.frame, wide, 2000000000, 2000000000, 0, "far away");
    EXPECT_TRUE(same_frames(h, before));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(TextDraw, LongFaceNamesAreCutAndStillDraw) {
    const std::string long_face(5000, 'x');
    FontArgs a;
    a.face = long_face.c_str();
    a.face_length = long_face.size();
    a.height = -3;
    FontState f;
    set_font(f, a);
    EXPECT_EQ(f.face.size(), kMaxFaceBytes);
    EXPECT_EQ(f.height, 1);
    a.height = 24;
    a.text_color[0] = 4096;
    set_font(f, a);
    TestFrame t(kW, kH);
    draw_text(t.frame, f, 5, 5, 2, "Text");
    EXPECT_TRUE(changed(t).any());
}

class TextScript : public LuaFixture {};

TEST_F(TextScript, ArgumentForms) {
    EXPECT_NE(run("font('a', 10, 0, 0, 0, 1, 2)").find("wrong number of argument"),
              std::string::npos);
    EXPECT_NE(run("font('a', 10, 0, 0, 0, 1, 2, 3, 4)").find("#9"), std::string::npos);
    EXPECT_NE(run("text(0, 1, 2, 2)").find("wrong number of argument"), std::string::npos);
    EXPECT_NE(run("text(0, 1, 2, 2, 'a', 1)").find("#6"), std::string::npos);
    EXPECT_NE(run("text(0, 1, 'x', 2, 'a')").find("number expected"), std::string::npos);
    // align outside 0..2 returns before the buffer is looked up.
    EXPECT_EQ(run("text(999, 1, 2, 3, 'a')"), "");
    EXPECT_NE(run("text(999, 1, 2, 2, 'a')").find("バッファが存在しません[999]"),
              std::string::npos);
}

TEST_F(TextScript, FontStoresItsArgumentsOnlyWhenAllAreValid) {
    ASSERT_EQ(run("font('DejaVu Sans', 0.9, 1, 0, 1, 6, 100, 200, 300, 7, 8, 9)"), "");
    const FontState& s = font_state();
    EXPECT_EQ(s.face, "DejaVu Sans");
    EXPECT_EQ(s.height, 1);
    EXPECT_EQ(s.edge_width, 6);
    ASSERT_EQ(run("font('IPAGothic', 20.7, 0, 0, 0, 1, 2, 3)"), "");
    EXPECT_EQ(s.height, 20);
    EXPECT_EQ(s.edge_width, 6);  // the short form keeps the outline
    EXPECT_EQ(s.edge_color[2], 9);
    EXPECT_EQ(s.text_color[2], 3);
    EXPECT_NE(run("font('Other', 30, 0, 0, 0, 1, 2, 'x')"), "");
    EXPECT_EQ(s.face, "IPAGothic");
    EXPECT_EQ(s.height, 20);
    ASSERT_EQ(run("text(0, 0, 0, 2, 'Hi')"), "");
    EXPECT_NE(frame(0).at(3, 10).y + frame(0).at(6, 10).y + frame(0).at(9, 8).y, 0);
}
