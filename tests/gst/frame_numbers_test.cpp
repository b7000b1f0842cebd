// info.frame and info.frame_n of a stream's buffers, and what the element
// makes of the script's log lines.
#include <gtest/gtest.h>

#include "frame_numbers.h"
#include "script_reports.h"

namespace {

constexpr std::int64_t kSecond = 1000000000;

TEST(FrameNumbers, AFileGoesByItsPlaceOnTheFrameGrid) {
    FrameNumbers n;
    n.decide(false, 30000, 1001, 10 * kSecond);  // 29.97 fps, 10 s
    EXPECT_EQ(n.length(), 300);
    EXPECT_EQ(n.next(0), 0);
    EXPECT_EQ(n.next(kSecond * 1001 / 30000), 1);
    // Seeked to 5 s: frame 150 (149.85 rounds up), timestamps a little off
    // the grid still land on it.
    EXPECT_EQ(n.next(5 * kSecond), 150);
    EXPECT_EQ(n.next(5 * kSecond + kSecond * 1001 / 30000 + 3000000), 151);
    // A buffer without a time follows the one before.
    EXPECT_EQ(n.next(-1), 152);
}

TEST(FrameNumbers, ALiveStreamCountsItsFramesAndHasNoLength) {
    FrameNumbers n;
    n.decide(true, 30, 1, 10 * kSecond);
    EXPECT_EQ(n.length(), kUnknownLength);
    EXPECT_EQ(n.next(42 * kSecond), 0);
    EXPECT_EQ(n.next(43 * kSecond), 1);
    EXPECT_EQ(n.next(-1), 2);
    // Without a frame rate there is no grid either.
    n.restart();
    EXPECT_FALSE(n.decided());
    n.decide(false, 0, 1, -1);
    EXPECT_EQ(n.next(7 * kSecond), 0);
    EXPECT_EQ(n.next(9 * kSecond), 1);
}

TEST(ScriptReports, SplitsTheScriptsPlaceFromItsMessage) {
    const ScriptError e = parse_script_error("/home/a:b/keys/filter.lua:12: attempt to call nil");
    EXPECT_EQ(e.file, "/home/a:b/keys/filter.lua");
    EXPECT_EQ(e.line, 12);
    EXPECT_EQ(e.message, "attempt to call nil");
    const ScriptError bare = parse_script_error("video_filter()が定義されていません");
    EXPECT_EQ(bare.line, 0);
    EXPECT_EQ(bare.file, "");
    EXPECT_EQ(bare.message, "video_filter()が定義されていません");
    EXPECT_EQ(parse_script_error("x.lua:7:no space").line, 0);
}

TEST(ScriptReports, AnErrorIsNewsWhenItAppearsOrComesBack) {
    ErrorNews news;
    using Lines = std::vector<std::string>;
    EXPECT_EQ(news.news({"a", "a"}), Lines{"a"});
    EXPECT_EQ(news.news({"a"}), Lines{});
    EXPECT_EQ(news.news({"a", "b"}), Lines{"b"});
    EXPECT_EQ(news.news({}), Lines{});
    EXPECT_EQ(news.news({"a"}), Lines{"a"});
    news.forget();
    EXPECT_EQ(news.news({"a"}), Lines{"a"});
}

}  // namespace
