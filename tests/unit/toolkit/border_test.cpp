// The border rules: each reads past a line's ends as its pictogram shows,
// fold and mirror far beyond them, and the spans a cut window and a
// mirrored buffer keep.
#include <gtest/gtest.h>

#include <string>

#include "toolkit/border.h"

namespace {

using toolkit::border_rule;

// The rule drawn as in toolkit/border.h: positions -3..8 of the line
// "abcdef" (positions -3..-1 named x, y, z and 6..8 g, h, i), '-' where
// nothing is read, 'n' for the neutral value.
std::string pictogram(border_rule rule) {
    std::string s;
    for (long long v = -3; v < 9; ++v) {
        if (v == 0 || v == 6) s += '|';
        const long long cell = toolkit::border_cell(rule, v, 6);
        if (cell >= -3 && cell < 0 && rule == border_rule::none)
            s += static_cast<char>('x' + cell + 3);
        else if (cell < 0)
            s += rule == border_rule::neutral ? 'n' : '-';
        else
            s += cell < 6 ? static_cast<char>('a' + cell) : static_cast<char>('g' + cell - 6);
    }
    return s;
}

}  // namespace

TEST(BorderRules, EachRuleReadsAsItsPictogram) {
    EXPECT_EQ(pictogram(border_rule::mirror), "cba|abcdef|edc");
    EXPECT_EQ(pictogram(border_rule::fold), "dcb|abcdef|fed");
    EXPECT_EQ(pictogram(border_rule::clamp), "aaa|abcdef|fff");
    EXPECT_EQ(pictogram(border_rule::cut), "---|abcdef|---");
    EXPECT_EQ(pictogram(border_rule::neutral), "nnn|abcdef|nnn");
    EXPECT_EQ(pictogram(border_rule::none), "xyz|abcdef|ghi");
}

// Fold keeps folding with a period of 2 length - 1, however far out; the
// mirror reflects once and lands past the other end.
TEST(BorderRules, FoldIsPeriodicAndMirrorReflectsOnce) {
    for (long long length : {1LL, 2LL, 5LL, 6LL}) {
        const long long period = 2 * length - 1;
        for (long long v = -40; v < 40; ++v) {
            const long long cell = toolkit::border_cell(border_rule::fold, v, length);
            ASSERT_GE(cell, 0);
            ASSERT_LT(cell, length);
            ASSERT_EQ(cell, toolkit::border_cell(border_rule::fold, v + period, length)) << v;
            ASSERT_EQ(cell, toolkit::border_cell(border_rule::fold, v - 1000 * period, length));
        }
    }
    EXPECT_EQ(toolkit::border_cell(border_rule::mirror, -8, 6), 7);   // past the far end
    EXPECT_EQ(toolkit::border_cell(border_rule::mirror, 11, 6), -1);  // before the line
    // 9000000000000 is a multiple of the period 5: far out reads as near.
    EXPECT_EQ(toolkit::border_cell(border_rule::fold, -9000000000001LL, 3), 1);
}

TEST(BorderRules, OnLineKeepsThePartOfARunOverTheLine) {
    struct Case {
        long long first, count, length, begin, end;
        bool cut;
    };
    const Case cases[] = {
        {-2, 5, 10, 2, 5, true},    // sticks out before
        {8, 5, 10, 0, 2, true},     // sticks out after
        {3, 4, 10, 0, 4, false},    // inside
        {-3, 20, 10, 3, 13, true},  // both ends
        {12, 3, 10, 0, 0, true},    // wholly after
        {-5, 3, 10, 3, 3, true},    // wholly before
    };
    for (const Case& c : cases) {
        const toolkit::line_span s = toolkit::on_line(c.first, c.count, c.length);
        EXPECT_EQ(s.begin, c.begin) << c.first << " " << c.count;
        EXPECT_EQ(s.end, c.end) << c.first << " " << c.count;
        EXPECT_EQ(s.cut(c.count), c.cut) << c.first << " " << c.count;
        EXPECT_EQ(s.size(), c.end - c.begin);
    }
}

// The spans mirrored_into gives are exactly the positions whose mirrored
// cell the buffer holds, for pictures shorter and longer than the buffer.
TEST(BorderRules, MirroredSpansAreThePositionsTheBufferHolds) {
    for (long long length : {1LL, 3LL, 6LL, 9LL})
        for (long long held : {1LL, 4LL, 6LL, 12LL})
            for (long long first : {-30LL, -7LL, -1LL, 0LL, 2LL, 5LL, 11LL})
                for (long long count : {1LL, 4LL, 25LL, 60LL}) {
                    const toolkit::mirror_spans s =
                        toolkit::mirrored_into(first, count, length, held);
                    for (long long u = 0; u < count; ++u) {
                        const long long cell =
                            toolkit::border_cell(border_rule::mirror, first + u, length);
                        const bool held_cell = cell >= 0 && cell < held;
                        bool in_span = false;
                        for (int k = 0; k < s.count; ++k)
                            in_span = in_span || (u >= s.span[k].begin && u < s.span[k].end);
                        ASSERT_EQ(in_span, held_cell) << "length " << length << " held " << held
                                                      << " first " << first << " u " << u;
                    }
                }
}
