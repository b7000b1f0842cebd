// Text through the host program and the plug-in: script files in Shift-JIS
// and in UTF-8 draw the same Japanese text, the default face draws before
// any font call, and the title example runs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "harness.h"

namespace {

// The same script in two encodings: the face name and the text in UTF-8 ...
const char* const kUtf8Script =
    "function video_filter(info)\n"
    "  font('ＭＳ ゴシック', 24, 1, 0, 0, 3, 4096, 0, 0, 0, 1000, 1000)\n"
    "  text(0, info.w / 2, 8, 1, '日本語のテキスト\\nABC')\n"
    "end\n";
// ... and in Shift-JIS bytes.
const char* const kSjisScript =
    "function video_filter(info)\n"
    "  font('\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e', 24, 1, 0, 0, 3, 4096, 0, 0, 0, "
    "1000, 1000)\n"
    "  text(0, info.w / 2, 8, 1, "
    "'\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67\\nABC')\n"
    "end\n";

int differing_bytes(const Y4mVideo& a, const Y4mVideo& b) {
    int n = 0;
    for (std::size_t i = 0; i < a.frames[0].size(); ++i) n += a.frames[0][i] != b.frames[0][i];
    return n;
}

}  // namespace

TEST(TextRun, ShiftJisAndUtf8ScriptsDrawTheSameText) {
    ScriptDir dir;
    RunResult r = run_script(dir, "", "pattern:240x80", 1, {"--output", dir.file("input.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_script(dir, kUtf8Script, "pattern:240x80", 1, {"--output", dir.file("utf8.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    r = run_script(dir, kSjisScript, "pattern:240x80", 1, {"--output", dir.file("sjis.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");

    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    const Y4mVideo utf8 = read_y4m(dir.file("utf8.y4m"));
    const Y4mVideo sjis = read_y4m(dir.file("sjis.y4m"));
    EXPECT_GT(differing_bytes(input, utf8), 1000);
    EXPECT_EQ(utf8.frames[0], sjis.frames[0]);
    // Rows below the two lines (8 + 2 * 24 plus the outline) are untouched.
    for (int y = 60; y < 80; ++y)
        for (int x = 0; x < 240; ++x) ASSERT_EQ(utf8.y(0, x, y), input.y(0, x, y));
}

TEST(TextRun, DefaultFaceDrawsBeforeAnyFontCall) {
    ScriptDir dir;
    RunResult r = run_script(dir, "", "blank:200x60", 1, {"--output", dir.file("input.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = run_script(dir, "function video_filter() text(0, 4, 4, 2, 'Aあ漢') end\n", "blank:200x60",
                   1, {"--output", dir.file("text.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    const Y4mVideo input = read_y4m(dir.file("input.y4m"));
    const Y4mVideo text = read_y4m(dir.file("text.y4m"));
    int bright = 0;
    for (int y = 4; y < 36; ++y)
        for (int x = 0; x < 200; ++x) bright += text.y(0, x, y) > input.y(0, x, y) + 100;
    EXPECT_GT(bright, 150);
    for (int x = 0; x < 200; ++x) EXPECT_EQ(text.y(0, x, 40), input.y(0, x, 40));  // below the cell
}

TEST(TextRun, TitleExampleRuns) {
    std::ifstream in(QUORVEL_SOURCE_DIR "/examples/title/filter.lua");
    std::stringstream script;
    script << in.rdbuf();
    ASSERT_FALSE(script.str().empty());
    ScriptDir dir;  // a copy, so that an error log never lands in the source tree
    const RunResult r =
        run_script(dir, script.str(), "pattern:320x180", 2, {"--output", dir.file("title.y4m")});
    EXPECT_EQ(r.status, 0) << r.err << r.out;
    EXPECT_FALSE(dir.exists("lua_err.txt")) << dir.read("lua_err.txt");
    EXPECT_EQ(read_y4m(dir.file("title.y4m")).frames.size(), 2u);
}
