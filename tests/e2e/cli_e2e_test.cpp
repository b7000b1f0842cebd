// The host program's own contract: inputs, outputs, options and exit codes.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "harness.h"

namespace {

// Writes a Y4M file whose frame k has every sample value (k * 7 + i) % 256
// laid out along each plane, so that every 8-bit value occurs.
void write_y4m(const std::string& path, int w, int h, const char* colour, int frames, int cw,
               int ch) {
    std::ofstream out(path, std::ios::binary);
    out << "YUV4MPEG2 W" << w << " H" << h << " F25:1 Ip A1:1 C" << colour << "\n";
    for (int k = 0; k < frames; ++k) {
        out << "FRAME\n";
        for (int i = 0; i < w * h + 2 * cw * ch; ++i) out.put(static_cast<char>((k * 7 + i) % 256));
    }
}

TEST(HostProgram, Y4mInputSurvivesTheRoundTripThroughTheFilterExactly) {
    ScriptDir dir;
    write_y4m(dir.file("in.y4m"), 32, 16, "444", 2, 32, 16);
    const RunResult r =
        run_quorvel({"run", "--input", dir.file("in.y4m"), "--output", dir.file("out.y4m")});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(dir.file("in.y4m"), std::ios::binary);
    const std::string original((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    const Y4mVideo a = parse_y4m(original), b = read_y4m(dir.file("out.y4m"));
    ASSERT_EQ(b.frames.size(), 2u);
    // Values inside the legal 8-bit ranges come back unchanged; outside them
    // they are clamped to 0..255 only, never wrapped.
    for (int k = 0; k < 2; ++k)
        for (std::size_t i = 0; i < a.frames[k].size(); ++i)
            ASSERT_EQ(a.frames[k][i], b.frames[k][i]) << i;
}

TEST(HostProgram, ChromaOf420InputIsSharedByEachTwoByTwoBlock) {
    ScriptDir dir;
    write_y4m(dir.file("in.y4m"), 8, 4, "420jpeg", 1, 4, 2);
    ASSERT_EQ(
        run_quorvel({"run", "--input", dir.file("in.y4m"), "--output", dir.file("out.y4m")}).status,
        0);
    const Y4mVideo v = read_y4m(dir.file("out.y4m"));
    ASSERT_EQ(v.frames.size(), 1u);
    // Cb plane of the input starts after 32 luma samples: values 32..39.
    EXPECT_EQ(v.cb(0, 0, 0), 32);
    EXPECT_EQ(v.cb(0, 1, 1), 32);
    EXPECT_EQ(v.cb(0, 2, 0), 33);
    EXPECT_EQ(v.cb(0, 7, 3), 39);
    EXPECT_EQ(v.cr(0, 7, 3), 47);
}

TEST(HostProgram, FramesCountAndTruncatedFiles) {
    ScriptDir dir;
    write_y4m(dir.file("in.y4m"), 8, 4, "444", 3, 8, 4);
    {
        std::ofstream more(dir.file("in.y4m"), std::ios::app | std::ios::binary);
        more << "FRAME\nshort";  // a frame cut off by a failed copy
    }
    // The whole file: the complete frames, and a loud end.
    RunResult r =
        run_quorvel({"run", "--input", dir.file("in.y4m"), "--output", dir.file("all.y4m")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("in.y4m: frame 3 is cut short (5 of 96 bytes)"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("is incomplete: it has 3 frames"), std::string::npos) << r.err;
    EXPECT_EQ(read_y4m(dir.file("all.y4m")).frames.size(), 3u);
    // The frames before the damage are fine on their own.
    r = run_quorvel(
        {"run", "--input", dir.file("in.y4m"), "--frames", "2", "--output", dir.file("two.y4m")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_y4m(dir.file("two.y4m")).frames.size(), 2u);
    // The script folder defaults to the input's folder.
    dir.write("filter.lua", "function video_filter(info) error('seen') end");
    r = run_quorvel({"run", "--input", dir.file("in.y4m"), "--frames", "1"});
    EXPECT_NE(dir.read("lua_err.txt").find("seen"), std::string::npos) << r.err;
}

TEST(HostProgram, StandardOutputCarriesOnlyTheVideo) {
    ScriptDir dir;
    const RunResult r =
        run_script(dir, "print('chatter') function video_filter() print('more') error('x') end",
                   "blank:16x16", 2, {"--output", "-"});
    EXPECT_EQ(r.status, 1);  // the script failed; its frames are still written
    const Y4mVideo v = parse_y4m(r.out);
    EXPECT_EQ(v.frames.size(), 2u);
    EXPECT_EQ(
        r.out.size(),
        std::string("YUV4MPEG2 W16 H16 F30:1 Ip A1:1 C444 XYSCSS=444\n").size() + 2 * (6 + 768));
    EXPECT_NE(r.err.find("chatter"), std::string::npos);
}

// The test pattern depends on the frame number alone: a run that starts
// late (the disc already wrapped round the right edge) gives the frames of a
// run from 0, and the disc of an earlier frame leaves no trace.
TEST(HostProgram, PatternFramesDependOnTheirNumberOnly) {
    ScriptDir dir;
    ASSERT_EQ(run_script(dir, "", "pattern:64x48", 16, {"--output", dir.file("all.y4m")}).status,
              0);
    ASSERT_EQ(run_quorvel({"run", "--input", "pattern:64x48", "--start", "13", "--frames", "3",
                           "--script-dir", dir.path(), "--output", dir.file("late.y4m")})
                  .status,
              0);
    const Y4mVideo all = read_y4m(dir.file("all.y4m")), late = read_y4m(dir.file("late.y4m"));
    ASSERT_EQ(all.frames.size(), 16u);
    ASSERT_EQ(late.frames.size(), 3u);
    for (int k = 0; k < 3; ++k) EXPECT_EQ(late.frames[k], all.frames[13 + k]) << "frame " << 13 + k;
    // Frames 0 and 8 have their discs 32 pixels apart (no overlap): where
    // neither disc lies, the two frames are alike.
    int alike = 0, differ = 0;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) (all.y(0, x, y) == all.y(8, x, y) ? alike : differ)++;
    EXPECT_GT(differ, 0);
    EXPECT_GT(alike, 64 * 48 - 2 * 260);
}

TEST(HostProgram, PngOutputPerFrameOrLast) {
    ScriptDir dir;
    ASSERT_EQ(run_script(dir, "", "pattern:32x24", 3, {"--output", dir.file("f_%03d.png")}).status,
              0);
    EXPECT_TRUE(dir.exists("f_000.png"));
    EXPECT_TRUE(dir.exists("f_002.png"));
    EXPECT_FALSE(dir.exists("f_003.png"));
    ASSERT_EQ(run_script(dir, "", "pattern:32x24", 3, {"--output", dir.file("last.png")}).status,
              0);
    const std::string png = dir.read("last.png");
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // IHDR: width 32, height 24, 8-bit RGB.
    EXPECT_EQ(static_cast<unsigned char>(png[19]), 32);
    EXPECT_EQ(static_cast<unsigned char>(png[23]), 24);
    EXPECT_EQ(png[24], 8);
    EXPECT_EQ(png[25], 2);
}

TEST(HostProgram, UsageErrorsExitWithTwoAndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {{"run", "--threads", "0"}, "track 1"},
        {{"run", "--display", "20"}, "0 to 19"},
        {{"run", "--var", "x=4097"}, "0 to 4096"},
        {{"run", "--var", "w=1"}, "unknown variable"},
        {{"run", "--input", "blank:0x10"}, "bad size"},
        {{"run", "--input", "blank:64x48", "--max", "32x48"}, "smaller than the input"},
        {{"run", "--frames"}, "needs a value"},
        {{"run", "--bogus", "1"}, "unknown option"},
        {{"walk"}, "unknown command"},
    };
    for (const Case& c : cases) {
        const RunResult r = run_quorvel(c.args);
        EXPECT_EQ(r.status, 2) << c.args.back();
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
}

TEST(HostProgram, UnreadableFilesExitWithOneAndWriteNothing) {
    ScriptDir dir;
    EXPECT_EQ(run_quorvel({"run", "--input", dir.file("missing.y4m")}).status, 1);
    EXPECT_EQ(
        run_quorvel({"run", "--input", "blank:8x8", "--output", dir.file("no/such/dir/o.y4m")})
            .status,
        1);
    const std::pair<const char*, const char*> bad[] = {
        {"not a video\n", "not a Y4M stream"},
        {"YUV4MPEG2 W8 H4 C444\n", "has a header but no frames"},
        {"YUV4MPEG2 W4294967312 H4 C444\nFRAME\n", "bad width \"W4294967312\""},
        {"YUV4MPEG2 W8 H4 C444\nFRAMES\n", "damaged frame header after frame 0"},
    };
    for (const auto& [text, says] : bad) {
        dir.write("bad.y4m", text);
        const RunResult r =
            run_quorvel({"run", "--input", dir.file("bad.y4m"), "--output", dir.file("o.y4m")});
        EXPECT_EQ(r.status, 1) << text;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("o.y4m")) << text;
    }
    // A 10-bit stream is read as 10-bit, not as 8-bit that then looks damaged.
    dir.write("deep.y4m", "YUV4MPEG2 W2 H2 F25:1 C420p10\nFRAME\n" +
                              std::string("\x40\x00\x40\x00\xac\x03\xac\x03"
                                          "\x00\x02\x00\x02",
                                          12));
    const RunResult r = run_quorvel({"run", "--input", dir.file("deep.y4m"), "--output",
                                     dir.file("deep_out.y4m"), "--pix-fmt", "420p10"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("deep_out.y4m"),
              "YUV4MPEG2 W2 H2 F25:1 Ip A1:1 C420p10\nFRAME\n" +
                  std::string("\x40\x00\x40\x00\xac\x03\xac\x03\x00\x02\x00\x02", 12));
}

TEST(HostProgram, SaysWhichScriptRunsAndReportsEachErrorOnce) {
    ScriptDir dir;
    // No script: frames pass through, said once; --strict makes it an error
    // before anything is written.
    RunResult r =
        run_quorvel({"run", "--input", "blank:16x16", "--frames", "2", "--script-dir", dir.path()});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("no script " + dir.file("filter.lua") + ": frames pass through unchanged"),
              std::string::npos)
        << r.err;
    r = run_quorvel({"run", "--input", "blank:16x16", "--script-dir", dir.path(), "--strict", "-o",
                     dir.file("o.y4m")});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(dir.exists("o.y4m"));

    r = run_script(
        dir, "function video_filter(info)\n  if info.frame > 0 then local x = nil + 1 end\nend\n",
        "blank:16x16", 5);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("script " + dir.file("filter.lua")), std::string::npos);
    const std::string error =
        dir.file("filter.lua") + ":2: attempt to perform arithmetic on a nil value";
    EXPECT_NE(r.err.find("frame 1: " + error), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("frame 2: "), std::string::npos)
        << r.err;  // the same error is not shown again
    EXPECT_NE(r.err.find("script errors in 4 of 5 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("4x " + error), std::string::npos) << r.err;
    // The summary keeps the first ten different messages and counts the rest.
    r = run_script(dir, "function video_filter(info) error('e' .. info.frame, 0) end",
                   "blank:16x16", 13);
    EXPECT_NE(r.err.find("  1x e9\n  and 3 other errors\n"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("1x e10"), std::string::npos) << r.err;
    EXPECT_EQ(
        run_script(dir, "function video_filter() error('x') end", "blank:16x16", 1, {"--strict"})
            .status,
        1);
}

TEST(HostProgram, HelpTeachesTheOptionsAndTheFunctions) {
    const RunResult help = run_quorvel({"run", "--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* option : {"--click", "--answer", "--max", "--start", "--end", "--progress",
                               "--info", "--pix-fmt", "--crf", "--strict", "--var", "copyframe"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
    EXPECT_NE(run_quorvel({"--help"}).out.find("functions"), std::string::npos);
    EXPECT_NE(run_quorvel({"--version"}).out.find("quorvel "), std::string::npos);

    const RunResult list = run_quorvel({"functions"});
    EXPECT_EQ(list.status, 0);
    EXPECT_NE(list.out.find("Buffers and frames\n  swapbuf()\n"), std::string::npos) << list.out;
    EXPECT_NE(list.out.find("  copyframe(buf, frame, fx, fy, w, h, bx, by)\n"), std::string::npos);
    // What the plug-in's table adds to the forms.
    EXPECT_NE(list.out.find("  (label4 takes 8 to 14 arguments)\n"), std::string::npos) << list.out;
    EXPECT_EQ(list.err, "");
    const RunResult entry = run_quorvel({"help", "mkmask_hsv"});
    EXPECT_EQ(entry.status, 0);
    EXPECT_EQ(entry.out.rfind("### mkmask_hsv\n", 0), 0u) << entry.out;
    EXPECT_NE(entry.out.find("Errors:"), std::string::npos);
    EXPECT_EQ(entry.out.find("### mkmask_hsv_int"), std::string::npos);
    const RunResult unknown = run_quorvel({"help", "mkmask_hs"});
    EXPECT_EQ(unknown.status, 1);
    EXPECT_NE(unknown.err.find("mkmask_hsv,"), std::string::npos) << unknown.err;
}

TEST(HostProgram, ProgressGoesToStandardErrorEvenIntoAPipe) {
    ScriptDir dir;
    const RunResult r = run_script(dir, "", "blank:16x16", 3, {"-p", "-o", "-"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("frame 2 (3/3, 100%)"), std::string::npos) << r.err;
    EXPECT_EQ(parse_y4m(r.out).frames.size(), 3u);
}

TEST(HostProgram, MessageBoxesAreAnsweredAsTold) {
    ScriptDir dir;
    const std::string script =
        "function video_filter(info)\n"
        "  local f = io.open(info.script_path .. 'out.txt', 'a')\n"
        "  f:write(msgbox('Continue?', 'Question', 'yesno'), ' ', msgbox('Note', 'Info'), ' ',\n"
        "          msgbox('Shout', 'Info', 'YESNO'), '\\n') f:close()\n"
        "end\n";
    run_script(dir, script, "blank:16x16", 1);
    run_script(dir, script, "blank:16x16", 1, {"--answer", "no"});
    EXPECT_EQ(dir.read("out.txt"), "yes ok ok\nno ok ok\n");
    const RunResult r = run_script(dir, script, "blank:16x16", 1);
    EXPECT_NE(r.err.find("[Question]\nContinue?"), std::string::npos) << r.err;
}

}  // namespace

namespace {

std::size_t count_of(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(HostProgram, AScriptThatDoesNotLoadEndsTheRunAtOnce) {
    ScriptDir dir;
    const std::pair<const char*, const char*> scripts[] = {
        {"function video_filter(info)\n  x = = 1\nend\n", ":2: unexpected symbol near '='"},
        {"local defined = 'but no video_filter'\n", ": video_filter()が定義されていません"},
    };
    for (const auto& [script, says] : scripts) {
        const RunResult r = run_script(dir, script, "blank:16x16", 30, {"-o", dir.file("o.y4m")});
        EXPECT_EQ(r.status, 1) << script;
        EXPECT_FALSE(dir.exists("o.y4m")) << script;
        // Said once, with the script's file (and line), and only frame 0 ran.
        EXPECT_EQ(count_of(r.err, dir.file("filter.lua") + says), 1u) << r.err;
        EXPECT_NE(r.err.find("the script did not load, or defines no video_filter"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(count_of(dir.read("lua_err.txt"), "video_filter()が定義されていません"), 1u);
        // --keep-going: today's pass-through, exit 0.
        const RunResult kept =
            run_script(dir, script, "blank:16x16", 3, {"-o", dir.file("o.y4m"), "--keep-going"});
        EXPECT_EQ(kept.status, 0) << kept.err;
        EXPECT_EQ(read_y4m(dir.file("o.y4m")).frames.size(), 3u);
        std::remove(dir.file("o.y4m").c_str());
    }
    EXPECT_EQ(run_quorvel({"run", "--strict", "--keep-going"}).status, 2);
}

TEST(HostProgram, AScriptThatFailsMakesTheRunFailAfterEveryFrame) {
    ScriptDir dir;
    const std::string script =
        "function video_filter(info)\n"
        "  if info.frame == 1 then gaussian(0, 0, 0, 0, 16, 16, 0, 0) end\n"
        "  if info.frame == 2 then copy(25, 0) end\n"
        "  if info.frame >= 3 then error('two\\nlines') end\n"
        "end\n";
    RunResult r = run_script(dir, script, "blank:16x16", 5, {"-o", dir.file("o.y4m")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(read_y4m(dir.file("o.y4m")).frames.size(), 5u);
    EXPECT_EQ(r.err.find("incomplete"), std::string::npos) << r.err;
    // Each message once, with its line, and a line a user can act on.
    const std::string file = dir.file("filter.lua");
    EXPECT_NE(r.err.find("frame 1: " + file +
                         ":2: bad argument #8 to 'gaussian' (wrong number of argument)\n"
                         "  gaussian takes 9 arguments, got 8: quorvel help gaussian\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(
        r.err.find("frame 2: " + file +
                   ":3: バッファが存在しません[25]\n"
                   "  buffer 25 does not exist (buffers 0–19, and those made by createbuf)\n"),
        std::string::npos)
        << r.err;
    // A message of two lines is one message, counted once a frame.
    EXPECT_NE(r.err.find("script errors in 4 of 5 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("  2x " + file + ":4: two\n     lines\n"), std::string::npos) << r.err;
    EXPECT_EQ(
        run_script(dir, script, "blank:16x16", 5, {"-o", dir.file("o.y4m"), "--keep-going"}).status,
        0);

    // A log that cannot be written loses nothing: the messages still reach
    // standard error and fail the run.
    std::remove(dir.file("lua_err.txt").c_str());
    std::filesystem::create_directory(dir.file("lua_err.txt"));
    r = run_script(dir, script, "blank:16x16", 3, {"--strict"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("lua_err.txt is no file that can be written"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("script errors in 2 of 3 frames"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("バッファが存在しません[25]"), std::string::npos) << r.err;
}

TEST(HostProgram, FfmpegHabitsOverwritingAndProgressBlocks) {
    ScriptDir dir;
    dir.write("o.y4m", "precious");
    // -n keeps an existing output, and so does a run that cannot ask; -y
    // overwrites it.
    RunResult r = run_quorvel({"run", "-i", "blank:16x16", "--frames", "2", "-o", dir.file("o.y4m"),
                               "-n", "--script-dir", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("o.y4m exists and is kept (-n)"), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("o.y4m"), "precious");
    dir.write("plain.sh",
              std::string("'") + QUORVEL_BINARY + "' run -i blank:16x16 --frames 2 -o '" +
                  dir.file("o.y4m") + "' --script-dir '" + dir.path() + "' </dev/null 2>'" +
                  dir.file("err.txt") + "'\necho $? > '" + dir.file("status.txt") + "'\n");
    ASSERT_EQ(std::system(("bash '" + dir.file("plain.sh") + "'").c_str()), 0);
    EXPECT_EQ(dir.read("status.txt"), "1\n");
    EXPECT_NE(dir.read("err.txt").find("exists and is kept: -y overwrites it"), std::string::npos);
    EXPECT_EQ(dir.read("o.y4m"), "precious");
    r = run_quorvel({"run", "-i", "blank:16x16", "--frames", "2", "-o", dir.file("o.y4m"), "-y",
                     "--script-dir", dir.path(), "--pix-fmt", "yuv444p"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_y4m(dir.file("o.y4m")).frames.size(), 2u);
    // An image sequence is there when its first image is.
    dir.write("f_000.png", "precious");
    r = run_quorvel({"run", "-i", "blank:16x16", "--frames", "2", "-o", dir.file("f_%03d.png"),
                     "-n", "--script-dir", dir.path()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("f_000.png exists and is kept (-n)"), std::string::npos) << r.err;

    // ffmpeg's progress blocks, for a front-end.
    r = run_quorvel({"run", "-i", "blank:16x16", "--frames", "5", "--script-dir", dir.path(),
                     "-progress", dir.file("progress.txt")});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string blocks = dir.read("progress.txt");
    const std::string last = blocks.substr(blocks.rfind("frame="));
    EXPECT_EQ(last.rfind("frame=5\nfps=", 0), 0u) << blocks;
    EXPECT_NE(last.find("\nout_time_us=166666\n"), std::string::npos)
        << blocks;  // 5 frames at 30 fps
    EXPECT_NE(last.find("\nout_time=00:00:00.166666\n"), std::string::npos) << blocks;
    EXPECT_NE(last.find("\nprogress=end\n"), std::string::npos) << blocks;

    // Options typed by habit name ours.
    const std::pair<std::vector<std::string>, const char*> habits[] = {
        {{"run", "-vf", "scale=640:-1"}, "-vf is ffmpeg's; here: the script is the filter"},
        {{"run", "-c:v", "libx264"}, "--codec h264 or ffv1"},
        {{"run", "-s", "1920x1080"}, "-s is --start here"},
        {{"run", "--pix-fmt", "nv12"}, "yuv420p10le"},
        {{"preview", "-to", "5"}, "unknown option \"-to\""},
        {{"run", "-y", "-n"}, "-y and -n contradict"},
    };
    for (const auto& [args, says] : habits) {
        r = run_quorvel(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

TEST(HostProgram, TheScriptIsLookedForInTheCurrentFolderWhenTheInputsHasNone) {
    ScriptDir dir;
    std::filesystem::create_directory(dir.file("clips"));
    write_y4m(dir.file("clips/in.y4m"), 8, 4, "444", 2, 8, 4);
    const std::string mark =
        "function video_filter(info)\n"
        "  local f = io.open(info.script_path .. 'ran.txt', 'a')\n"
        "  f:write(info.frame) f:close()\n"
        "end\n";
    dir.write("filter.lua", mark);
    // Run from the script's folder on an input in another: returns what it said.
    const auto run_here = [&] {
        dir.write("here.sh", "cd '" + dir.path() + "' && '" + QUORVEL_BINARY +
                                 "' run -i clips/in.y4m 2>'" + dir.file("err.txt") + "'\n");
        EXPECT_EQ(std::system(("bash '" + dir.file("here.sh") + "'").c_str()), 0);
        return dir.read("err.txt");
    };
    std::string err = run_here();
    EXPECT_NE(err.find("script " + dir.file("filter.lua") +
                       " (the current folder's; there is none beside the input in " +
                       dir.file("clips") + ")"),
              std::string::npos)
        << err;
    EXPECT_EQ(dir.read("ran.txt"), "01");
    // A script beside the input comes first.
    dir.write("clips/filter.lua", mark);
    err = run_here();
    EXPECT_NE(err.find("script " + dir.file("clips/filter.lua") + "\n"), std::string::npos) << err;
    EXPECT_EQ(dir.read("clips/ran.txt"), "01");
}

TEST(HostProgram, TheScriptKnowsTheFrameRate) {
    ScriptDir dir;
    {
        std::ofstream out(dir.file("ntsc.y4m"), std::ios::binary);
        out << "YUV4MPEG2 W8 H4 F30000:1001 Ip A1:1 C444\nFRAME\n" << std::string(96, '\x80');
    }
    const std::string script =
        "function video_filter(info)\n"
        "  local f = io.open(info.script_path .. 'fps.txt', 'a')\n"
        "  f:write(string.format('%s %.6f\\n', type(info.fps), info.fps))\n"
        "  f:close()\n"
        "end\n";
    dir.write("filter.lua", script);
    EXPECT_EQ(run_quorvel({"run", "-i", dir.file("ntsc.y4m")}).status, 0);
    EXPECT_EQ(run_script(dir, script, "pattern:16x16", 1).status, 0);
    EXPECT_EQ(dir.read("fps.txt"), "number 29.970030\nnumber 30.000000\n");
    const RunResult r = run_quorvel({"run", "-i", dir.file("ntsc.y4m"), "--info"});
    EXPECT_NE(r.out.find("info.fps 29.97 fps (30000/1001)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the defaults: a=0 b=0 c=0 d=0 u=0 v=0 x=2048 y=2048 z=2048"),
              std::string::npos)
        << r.out;
}
