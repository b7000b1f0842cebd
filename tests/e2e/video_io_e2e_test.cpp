// Video in and out through the host program: files FFmpeg reads, Y4M on
// standard input, frame ranges, copyframe across seeks, every output kind
// read back.  The test videos are made here, losslessly, so that what comes
// back can be compared sample for sample.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>

#include "harness.h"
#include "media/frame_sink.h"
#include "media/frame_source.h"
#include "test_video.h"

namespace {

// The script that shows frame n + offset (from copyframe) instead of frame n.
std::string show_frame(const std::string& offset) {
    return "function video_filter(info) copyframe(1, info.frame " + offset + ") copy(1, 0) end\n";
}

// Every sample of frame `k` of `got` equals the test pattern's frame `want`.
void expect_pattern(const Y4mVideo& got, int k, int want, const char* what) {
    for (int p = 0; p < 3; ++p)
        for (int y = 0; y < got.plane_h(p); ++y)
            for (int x = 0; x < got.plane_w(p); ++x)
                ASSERT_EQ(got.sample(k, p, x, y), test_sample(want, p, x, y, got.bits))
                    << what << ": frame " << k << " plane " << p << " at " << x << "," << y;
}

TEST(VideoInput, Mp4AndTenBitMkvReachTheScriptSampleForSample) {
    ScriptDir dir;
    ClipRecipe mp4;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), mp4), "");
    ClipRecipe mkv;
    mkv.encoder = "ffv1", mkv.pix_fmt = "yuv422p10le", mkv.frames = 5, mkv.w = 30, mkv.h = 20;
    ASSERT_EQ(make_video(dir.file("deep.mkv"), mkv), "");

    RunResult r = run_quorvel(
        {"run", "-i", dir.file("clip.mp4"), "-o", dir.file("a.y4m"), "--pix-fmt", "420p"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Y4mVideo a = read_y4m(dir.file("a.y4m"));
    ASSERT_EQ(a.frames.size(), 12u);
    for (int k = 0; k < 12; ++k) expect_pattern(a, k, k, "mp4");

    r = run_quorvel(
        {"run", "-i", dir.file("deep.mkv"), "-o", dir.file("b.y4m"), "--pix-fmt", "422p10"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Y4mVideo b = read_y4m(dir.file("b.y4m"));
    EXPECT_EQ(b.colour, "422p10");
    ASSERT_EQ(b.frames.size(), 5u);
    for (int k = 0; k < 5; ++k) expect_pattern(b, k, k, "10-bit mkv");

    r = run_quorvel({"run", "-i", dir.file("deep.mkv"), "--info"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("30x20"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("frames   5,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10-bit 4:2:2"), std::string::npos) << r.out;
}

TEST(VideoInput, RangesNumberFramesAsTheInputDoesAndCopyframeSeeks) {
    ScriptDir dir;
    ClipRecipe video;
    video.frames = 20;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), video), "");
    // Frames 10..14, each showing the frame seven before it: every one of
    // those lies behind a key frame, so the second decoder has to seek.
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  local log = io.open(info.script_path .. 'seen.txt', 'a')\n"
              "  log:write(info.frame, ' ', info.frame_n, '\\n') log:close()\n"
              "  copyframe(1, info.frame - 7) copy(1, 0)\n"
              "end\n");
    RunResult r = run_quorvel({"run", "-i", dir.file("clip.mp4"), "-s", "10", "--end=14", "-o",
                               dir.file("o.y4m"), "--pix-fmt", "420p"});
    ASSERT_EQ(r.status, 0) << r.err;
    Y4mVideo v = read_y4m(dir.file("o.y4m"));
    ASSERT_EQ(v.frames.size(), 5u);
    for (int k = 0; k < 5; ++k) expect_pattern(v, k, 3 + k, "seven back");
    EXPECT_EQ(dir.read("seen.txt"), "10 20\n11 20\n12 20\n13 20\n14 20\n");

    // Forward, and past the end (nothing copied: the frame itself stays).
    dir.write("filter.lua", show_frame("+ 3"));
    r = run_quorvel({"run", "-i", dir.file("clip.mp4"), "--start", "15", "-o", dir.file("f.y4m"),
                     "--pix-fmt=420p"});
    ASSERT_EQ(r.status, 0) << r.err;
    v = read_y4m(dir.file("f.y4m"));
    ASSERT_EQ(v.frames.size(), 5u);
    expect_pattern(v, 0, 18, "three ahead");
    expect_pattern(v, 4, 19, "beyond the end");  // nothing copied: buffer 1 still holds frame 19

    // --frames caps the run, and so does a script's set_frame_n.
    dir.write("filter.lua",
              "function video_filter(info) if info.frame == 2 then set_frame_n(1000000) end end\n");
    r = run_quorvel({"run", "-i", dir.file("clip.mp4"), "--frames", "5", "-o", dir.file("c.y4m")});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_y4m(dir.file("c.y4m")).frames.size(), 5u);

    r = run_quorvel({"run", "-i", dir.file("clip.mp4"), "--start", "20"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("past the end"), std::string::npos) << r.err;
}

TEST(VideoInput, Y4mOnStandardInputStreamsAndReachesOnlyKeptFrames) {
    ScriptDir dir;
    ClipRecipe video;
    video.frames = 8;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), video), "");
    ASSERT_EQ(run_quorvel({"run", "-i", dir.file("clip.mp4"), "-o", dir.file("in.y4m"), "--pix-fmt",
                           "420p"})
                  .status,
              0);
    const std::string stream = dir.read("in.y4m");

    // The frame before is still kept; the one after cannot be reached yet,
    // so buffer 1 keeps what it had (the frame before, copied a frame ago).
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  if info.frame % 2 == 1 then copyframe(1, info.frame - 1) else copyframe(1, "
              "info.frame + 1) end\n"
              "  copy(1, 0)\n"
              "end\n");
    RunResult r = run_quorvel(
        {"run", "-i", "-", "--script-dir", dir.path(), "-o", "-", "--pix-fmt", "420p", "-s", "1"},
        stream);
    ASSERT_EQ(r.status, 0) << r.err;
    const Y4mVideo v = parse_y4m(r.out);
    ASSERT_EQ(v.frames.size(), 7u);
    expect_pattern(v, 0, 0, "frame 1 shows 0");
    expect_pattern(v, 1, 0, "frame 2 cannot see 3: buffer 1 still holds 0");
    expect_pattern(v, 2, 2, "frame 3 shows 2");

    // A header and no frame, a frame cut short: said, exit 1, and no
    // output file without frames.
    const std::string header = stream.substr(0, stream.find('\n') + 1);
    r = run_quorvel({"run", "-i", "-", "--script-dir", dir.path(), "-o", dir.file("none.y4m")},
                    header);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no frames"), std::string::npos) << r.err;
    EXPECT_FALSE(dir.exists("none.y4m"));
    r = run_quorvel({"run", "-i", "-", "--script-dir", dir.path(), "-o", dir.file("cut.y4m")},
                    stream.substr(0, stream.size() - 100));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("frame 7 is cut short"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("incomplete: it has 7 frames"), std::string::npos) << r.err;
    EXPECT_EQ(read_y4m(dir.file("cut.y4m")).frames.size(), 7u);
}

TEST(VideoOutput, EveryKindReadsBack) {
    ScriptDir dir;
    ClipRecipe video;
    video.frames = 6, video.w = 33, video.h = 17, video.audio = true, video.encoder = "ffv1",
    video.pix_fmt = "yuv444p";
    ASSERT_EQ(make_video(dir.file("clip.mkv"), video), "");
    const auto run = [&](const std::vector<std::string>& extra) {
        std::vector<std::string> args = {"run", "-i", dir.file("clip.mkv")};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_quorvel(args);
    };
    // Lossless H.264 and FFV1 give the samples back exactly, odd sizes and
    // audio included.
    ASSERT_EQ(run({"-o", dir.file("o.mp4"), "--crf", "0", "--pix-fmt", "444p"}).status, 0);
    ASSERT_EQ(run({"-o", dir.file("o.mkv"), "--pix-fmt", "444p"}).status, 0);
    ASSERT_EQ(
        run({"-o", dir.file("o.mov"), "--crf", "0", "--pix-fmt", "444p", "-s", "2", "-e", "4"})
            .status,
        0);
    for (const char* name : {"o.mp4", "o.mkv", "o.mov"}) {
        const DecodedVideo v = read_video(dir.file(name));
        ASSERT_EQ(v.error, "");
        const int first = std::string(name) == "o.mov" ? 2 : 0;
        ASSERT_EQ(v.frames.size(), std::string(name) == "o.mov" ? 3u : 6u) << name;
        EXPECT_EQ(v.w, 33) << name;
        EXPECT_TRUE(v.has_audio) << name;
        EXPECT_NEAR(v.audio_seconds, v.video_seconds, 0.1) << name;
        for (std::size_t k = 0; k < v.frames.size(); ++k)
            for (int p = 0; p < 3; ++p)
                for (int y = 0; y < 17; y += 4)
                    for (int x = 0; x < 33; x += 3)
                        ASSERT_EQ(v.at(static_cast<int>(k), p, x, y),
                                  test_sample(static_cast<int>(k) + first, p, x, y, 8))
                            << name << " frame " << k;
    }
    // Default H.264: 4:2:0, padded to even sides for the encoder.
    ASSERT_EQ(run({"-o", dir.file("small.mp4"), "--frames", "2"}).status, 0);
    const DecodedVideo small = read_video(dir.file("small.mp4"));
    EXPECT_EQ(small.codec, "h264");
    EXPECT_EQ(small.pix_fmt, "yuv420p");
    EXPECT_EQ(small.frames.size(), 2u);

    // Y4M layouts, and PNG: every frame, or the last.
    for (const char* fmt : {"420p", "422p", "444p", "420p10"}) {
        const RunResult r = run({"-o", dir.file("o.y4m"), "--pix-fmt", fmt});
        ASSERT_EQ(r.status, 0) << r.err;
        const Y4mVideo y = read_y4m(dir.file("o.y4m"));
        ASSERT_EQ(y.frames.size(), 6u) << fmt;
        EXPECT_EQ(y.w, 33);
        // Luma is never subsampled: it comes back as it went in.
        const int shift = y.bits - 8;
        EXPECT_EQ(y.sample(3, 0, 32, 16), test_sample(3, 0, 32, 16, 8) << shift) << fmt;
    }
    ASSERT_EQ(run({"-o", dir.file("f_%02d.png")}).status, 0);
    EXPECT_TRUE(dir.exists("f_05.png"));
    ASSERT_EQ(run({"-o", dir.file("last.png")}).status, 0);
    const DecodedVideo png = read_video(dir.file("last.png"));
    EXPECT_EQ(png.w, 33);
    EXPECT_EQ(png.frames.size(), 1u);

    const RunResult bad = run({"-o", dir.file("o.avi")});
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("the output must be"), std::string::npos);
    const std::string before = dir.read("clip.mkv");
    EXPECT_EQ(run({"-o", dir.path() + "/./clip.mkv"}).status, 2);
    EXPECT_EQ(dir.read("clip.mkv"), before);
}

TEST(VideoInput, DamagedFilesAreNamedAndLeaveNoOutput) {
    ScriptDir dir;
    ClipRecipe video;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), video), "");
    const std::string mp4 = dir.read("clip.mp4");
    dir.write("half.mp4", mp4.substr(0, mp4.size() / 2));  // the index (moov) is at the end: lost
    dir.write("noise.mkv", std::string(5000, 'x'));
    for (const char* name : {"half.mp4", "noise.mkv", "missing.mp4"}) {
        const RunResult r = run_quorvel({"run", "-i", dir.file(name), "-o", dir.file("out.mp4")});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
        EXPECT_FALSE(dir.exists("out.mp4")) << name;
    }
    // A file that breaks off after some frames: those frames, said loudly.
    video.encoder = "ffv1", video.pix_fmt = "yuv420p";
    ASSERT_EQ(make_video(dir.file("clip.mkv"), video), "");
    const std::string mkv = dir.read("clip.mkv");
    dir.write("cut.mkv", mkv.substr(0, mkv.size() * 2 / 3));
    const RunResult r = run_quorvel({"run", "-i", dir.file("cut.mkv"), "-o", dir.file("cut.y4m")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cut.mkv: damaged after frame"), std::string::npos) << r.err;
    const Y4mVideo got = read_y4m(dir.file("cut.y4m"));
    EXPECT_GT(got.frames.size(), 0u);
    EXPECT_LT(got.frames.size(), 12u);
    EXPECT_NE(r.err.find("incomplete: it has " + std::to_string(got.frames.size()) + " frames"),
              std::string::npos)
        << r.err;
}

}  // namespace

namespace {

// A phone-style clip: frames 30 and 50 ms apart in turn (25 fps on
// average), AAC audio whose loud tone starts with frame `beep`.
ClipRecipe variable_rate_clip(int frames, int beep) {
    ClipRecipe video;
    video.frames = frames, video.audio = true, video.beep_frame = beep;
    video.time_scale = 1000;
    for (int k = 0, t = 0; k < frames; t += k % 2 ? 50 : 30, ++k) video.pts.push_back(t);
    return video;
}

// One AAC packet: how far apart audio and video may be after a cut.
constexpr double kAudioFrame = 1024.0 / 48000;

}  // namespace

TEST(VideoCut, ACutStartsAtZeroWithItsAudioInStep) {
    ScriptDir dir;
    const ClipRecipe clip = variable_rate_clip(60, 30);
    ASSERT_EQ(make_video(dir.file("phone.mp4"), clip), "");
    const RunResult r = run_quorvel({"run", "-i", dir.file("phone.mp4"), "--start", "20", "--end",
                                     "44", "-o", dir.file("cut.mp4"), "--crf", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodedVideo v = read_video(dir.file("cut.mp4"));
    ASSERT_EQ(v.error, "");
    ASSERT_EQ(v.frames.size(), 25u);
    // The picture starts at 0 and keeps the clip's own spacing.
    const double origin = frame_time(clip, 20);
    for (int k = 0; k < 25; ++k) {
        EXPECT_NEAR(v.frame_times[k], frame_time(clip, 20 + k) - origin, 0.001) << "frame " << k;
        EXPECT_EQ(v.at(k, 0, 5, 7), test_sample(20 + k, 0, 5, 7, 8)) << "frame " << k;
    }
    // The audio is the same span: it starts and ends with the picture, and
    // the tone that began with frame 30 begins with it here too.
    ASSERT_TRUE(v.has_audio);
    EXPECT_NEAR(v.audio_start, 0, kAudioFrame);
    EXPECT_NEAR(v.audio_seconds, v.video_seconds, kAudioFrame);
    EXPECT_NEAR(v.beep_onset, frame_time(clip, 30) - origin, kAudioFrame);

    // A whole run keeps the clip's timing as it is.
    ASSERT_EQ(run_quorvel({"run", "-i", dir.file("phone.mp4"), "-o", dir.file("all.mp4")}).status,
              0);
    const DecodedVideo all = read_video(dir.file("all.mp4"));
    ASSERT_EQ(all.frames.size(), 60u);
    EXPECT_NEAR(all.frame_times[0], 0, 0.001);
    EXPECT_NEAR(all.frame_times[59], frame_time(clip, 59), 0.001);
    EXPECT_NEAR(all.beep_onset, frame_time(clip, 30), kAudioFrame);
}

namespace {

// An AVI as capture tools write one: 20 coded pictures in pairs, the three
// frame steps after each pair left out (drop frames), 47 steps in all.
ClipRecipe drop_frame_avi() {
    ClipRecipe video;
    video.encoder = "ffv1", video.frames = 20, video.time_scale = video.rate;
    for (int k = 0; k < 20; ++k) video.pts.push_back(k / 2 * 5 + k % 2);
    return video;
}

// The picture shown at step k: the last one at or before it.
int picture_at_step(const ClipRecipe& video, int k) {
    int shown = 0;
    for (int i = 0; i < video.frames; ++i)
        if (video.pts[static_cast<std::size_t>(i)] <= k) shown = i;
    return shown;
}

}  // namespace

TEST(VideoTimeline, DropFramesAreRepeatsOnTheGridAndNoDamageOnEither) {
    ScriptDir dir;
    const ClipRecipe avi = drop_frame_avi();
    ASSERT_EQ(make_video(dir.file("capture.avi"), avi), "");
    dir.write("filter.lua",
              "function video_filter(info)\n"
              "  local log = io.open(info.script_path .. 'seen.txt', 'a')\n"
              "  log:write(info.frame, '/', info.frame_n, ' ') log:close()\n"
              "end\n");

    // The source timeline: one frame per picture, their times in the
    // timecodes file; the Y4M output is told it loses them otherwise.
    RunResult r = run_quorvel({"run", "-i", dir.file("capture.avi"), "-o", dir.file("src.y4m"),
                               "--pix-fmt", "420p", "--timecodes", dir.file("times.txt")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("incomplete"), std::string::npos) << r.err;
    Y4mVideo v = read_y4m(dir.file("src.y4m"));
    ASSERT_EQ(v.frames.size(), 20u);
    for (int k = 0; k < 20; ++k) expect_pattern(v, k, k, "source timeline");
    std::string times = "# timecode format v2\n";
    for (int k = 0; k < 20; ++k) times += std::to_string(avi.pts[k] * 40) + "\n";
    EXPECT_EQ(dir.read("times.txt"), times);
    r = run_quorvel({"run", "-i", dir.file("capture.avi"), "-o", dir.file("src.y4m")});
    EXPECT_NE(r.err.find("variable timing (20 pictures over 47 steps of 25 fps"), std::string::npos)
        << r.err;

    // The grid: 47 frames, a repeat where a frame was dropped, and
    // info.frame counting the grid.
    dir.write("seen.txt", "");
    r = run_quorvel({"run", "-i", dir.file("capture.avi"), "--timeline", "cfr", "-o",
                     dir.file("cfr.y4m"), "--pix-fmt", "420p"});
    ASSERT_EQ(r.status, 0) << r.err;
    v = read_y4m(dir.file("cfr.y4m"));
    ASSERT_EQ(v.frames.size(), 47u);
    for (int k = 0; k < 47; ++k) expect_pattern(v, k, picture_at_step(avi, k), "grid");
    EXPECT_EQ(dir.read("seen.txt").substr(0, 15), "0/47 1/47 2/47 ");
    // The last steps are drop frames too: they can be run on their own.
    r = run_quorvel({"run", "-i", dir.file("capture.avi"), "--timeline", "cfr", "--start", "46",
                     "--end", "46", "-o", dir.file("last.y4m"), "--pix-fmt", "420p"});
    ASSERT_EQ(r.status, 0) << r.err;
    v = read_y4m(dir.file("last.y4m"));
    ASSERT_EQ(v.frames.size(), 1u);
    expect_pattern(v, 0, 19, "the last step");

    r = run_quorvel({"run", "-i", dir.file("capture.avi"), "--info"});
    EXPECT_NE(r.out.find("frames   20,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("timeline source"), std::string::npos) << r.out;
    r = run_quorvel({"run", "-i", dir.file("capture.avi"), "--info", "--timeline=cfr"});
    EXPECT_NE(r.out.find("frames   47,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("timeline cfr: one frame per step of 25 fps (20 pictures over 47 steps "
                         "of 25 fps: 27 repeated, 0 dropped)"),
              std::string::npos)
        << r.out;
    EXPECT_EQ(run_quorvel({"run", "--timeline", "vfr"}).status, 2);
}

TEST(VideoInput, FilesCutShortOrDamagedInsideSaySoAndExitOne) {
    ScriptDir dir;
    ClipRecipe ffv1;
    ffv1.encoder = "ffv1", ffv1.frames = 20;
    ASSERT_EQ(make_video(dir.file("whole.avi"), ffv1), "");
    ClipRecipe mjpeg;
    mjpeg.encoder = "mjpeg", mjpeg.pix_fmt = "yuvj420p", mjpeg.frames = 20;
    ASSERT_EQ(make_video(dir.file("whole_mjpeg.avi"), mjpeg), "");
    const std::string avi = dir.read("whole.avi"), mj = dir.read("whole_mjpeg.avi");
    dir.write("cut95.avi", avi.substr(0, avi.size() * 95 / 100));
    dir.write("cut99.avi", mj.substr(0, mj.size() * 99 / 100));

    // The file ends inside a picture: the frames before it, exit 1.
    for (const char* name : {"cut95.avi", "cut99.avi"}) {
        const RunResult r = run_quorvel(
            {"run", "-i", dir.file(name), "-o", dir.file("out.y4m"), "--pix-fmt", "420p"});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find(std::string(name) + ": cut short: the file ends inside frame"),
                  std::string::npos)
            << r.err;
        const Y4mVideo v = read_y4m(dir.file("out.y4m"));
        EXPECT_GT(v.frames.size(), 15u) << name;
        EXPECT_LT(v.frames.size(), 20u) << name;
        EXPECT_NE(r.err.find("incomplete: it has " + std::to_string(v.frames.size()) + " frames"),
                  std::string::npos)
            << r.err;
        if (std::string(name) == "cut95.avi")
            for (std::size_t k = 0; k < v.frames.size(); ++k)
                expect_pattern(v, static_cast<int>(k), static_cast<int>(k), name);
        // A run that stops before the damage is whole.
        EXPECT_EQ(run_quorvel({"run", "-i", dir.file(name), "--frames", "10"}).status, 0) << name;
    }

    // A picture the decoder refuses in the middle: every frame is written,
    // the damage is named and the run fails.
    dir.write("broken.avi", damage_avi_chunk(mj, 9));
    RunResult r = run_quorvel({"run", "-i", dir.file("broken.avi"), "-o", dir.file("out.y4m")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("broken.avi: damaged: frame 9 could not be decoded"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("incomplete"), std::string::npos) << r.err;
    EXPECT_EQ(read_y4m(dir.file("out.y4m")).frames.size(), 20u);
    EXPECT_EQ(run_quorvel({"run", "-i", dir.file("broken.avi"), "--start", "10"}).status, 0);
}

TEST(VideoTimeline, AVariableRateClipOnTheGridKeepsItsAudioInStep) {
    ScriptDir dir;
    // 25 fps with a phone's jitter (3 ms late every third frame) and two
    // frame steps missing after frame 9; the tone starts with frame 20.
    ClipRecipe clip;
    clip.frames = 40, clip.audio = true, clip.beep_frame = 20, clip.time_scale = 1000;
    for (int k = 0; k < 40; ++k)
        clip.pts.push_back(k * 40 + (k >= 10 ? 80 : 0) + (k % 3 == 1 ? 3 : 0));
    ASSERT_EQ(make_video(dir.file("phone.mp4"), clip), "");
    RunResult r = run_quorvel({"run", "-i", dir.file("phone.mp4"), "--timeline", "cfr", "-o",
                               dir.file("grid.mp4"), "--crf", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    DecodedVideo v = read_video(dir.file("grid.mp4"));
    ASSERT_EQ(v.frames.size(), 42u);
    for (int k = 0; k < 42; ++k) {
        EXPECT_NEAR(v.frame_times[k], k * 0.04, 0.001) << "step " << k;
        // The jitter rounds away; the gap repeats frame 9.
        const int shown = k < 10 ? k : k < 12 ? 9 : k - 2;
        EXPECT_EQ(v.at(k, 0, 3, 3), test_sample(shown, 0, 3, 3, 8)) << "step " << k;
    }
    EXPECT_NEAR(v.beep_onset, 0.88, kAudioFrame);

    // A cut on the grid starts at 0 too, the tone with it.
    r = run_quorvel({"run", "-i", dir.file("phone.mp4"), "--timeline", "cfr", "--start", "22", "-o",
                     dir.file("cut.mp4")});
    ASSERT_EQ(r.status, 0) << r.err;
    v = read_video(dir.file("cut.mp4"));
    ASSERT_EQ(v.frames.size(), 20u);
    EXPECT_NEAR(v.frame_times[0], 0, 0.001);
    EXPECT_NEAR(v.beep_onset, 0, kAudioFrame);
    EXPECT_NEAR(v.audio_start, 0, kAudioFrame);
}

TEST(VideoInput, APictureStoredOnItsSideIsTurnedUprightBeforeTheScript) {
    ScriptDir dir;
    // The display matrix's angle (ClipRecipe::rotation) and where the upright
    // picture's (x, y) is in the stored one.
    struct Case {
        int matrix;
        std::function<std::pair<int, int>(int x, int y, int w, int h)> stored;
    };
    const auto turned_right = [](int x, int y, int, int h) { return std::pair{y, h - 1 - x}; };
    const auto turned_left = [](int x, int y, int w, int) { return std::pair{w - 1 - y, x}; };
    const auto turned_over = [](int x, int y, int w, int h) {
        return std::pair{w - 1 - x, h - 1 - y};
    };
    const Case cases[] = {
        {90, turned_right}, {-90, turned_left}, {180, turned_over}};  // 90: a phone's
    for (const Case& c : cases) {
        ClipRecipe clip;
        clip.w = 48, clip.h = 32, clip.frames = 3, clip.rotation = c.matrix;
        ASSERT_EQ(make_video(dir.file("phone.mp4"), clip), "");
        const RunResult r = run_quorvel(
            {"run", "-i", dir.file("phone.mp4"), "-o", dir.file("up.mp4"), "--crf", "0"});
        ASSERT_EQ(r.status, 0) << r.err;
        const DecodedVideo v = read_video(dir.file("up.mp4"));
        ASSERT_EQ(v.frames.size(), 3u);
        EXPECT_EQ(v.rotation, 0) << "no tag: the picture is upright";
        const bool sideways = c.matrix != 180;
        ASSERT_EQ(v.w, sideways ? 32 : 48) << c.matrix;
        ASSERT_EQ(v.h, sideways ? 48 : 32) << c.matrix;
        for (int y = 0; y < v.h; ++y)
            for (int x = 0; x < v.w; ++x) {
                const auto [sx, sy] = c.stored(x, y, clip.w, clip.h);
                ASSERT_EQ(v.at(2, 0, x, y), test_sample(2, 0, sx, sy, 8))
                    << c.matrix << " at " << x << "," << y;
            }
    }
    // --no-autorotate: as stored, with the tag; --info says which.
    RunResult r = run_quorvel(
        {"run", "-i", dir.file("phone.mp4"), "-o", dir.file("stored.mp4"), "--no-autorotate"});
    ASSERT_EQ(r.status, 0) << r.err;
    const DecodedVideo v = read_video(dir.file("stored.mp4"));
    EXPECT_EQ(v.w, 48);
    EXPECT_NEAR(std::abs(v.rotation), 180, 0.01);
    r = run_quorvel({"run", "-i", dir.file("phone.mp4"), "--info"});
    EXPECT_NE(r.out.find("size     48x32"), std::string::npos) << r.out;  // 180: the same size
    EXPECT_NE(r.out.find("rotation stored on its side: turned 180 degrees clockwise"),
              std::string::npos)
        << r.out;
}

TEST(VideoCut, TimesCutAsFramesDoAndTheAudioFollows) {
    ScriptDir dir;
    const ClipRecipe clip = variable_rate_clip(60, 30);
    ASSERT_EQ(make_video(dir.file("phone.mp4"), clip), "");
    // Frames 20 to 44 start at 0.8 s and 1.76 s; 45 at 1.79 s.
    const std::vector<std::vector<std::string>> cuts = {
        {"--start", "f20", "--end", "44"},
        {"-ss", "0.8", "-to", "1.77"},    {"--start", "00:00:00.8", "--end", "1770ms"},
        {"-ss", "0.79", "-t", "0.97"},  // 0.79 s falls between frames 19 and 20
    };
    for (const auto& cut : cuts) {
        std::vector<std::string> args = {
            "run", "-i", dir.file("phone.mp4"), "-o", dir.file("cut.mp4"), "--crf", "0"};
        args.insert(args.end(), cut.begin(), cut.end());
        const RunResult r = run_quorvel(args);
        ASSERT_EQ(r.status, 0) << cut[1] << r.err;
        const DecodedVideo v = read_video(dir.file("cut.mp4"));
        ASSERT_EQ(v.frames.size(), 25u) << cut[1];
        EXPECT_EQ(v.at(0, 0, 5, 7), test_sample(20, 0, 5, 7, 8)) << cut[1];
        EXPECT_NEAR(v.frame_times[0], 0, 0.001) << cut[1];
        EXPECT_NEAR(v.beep_onset, frame_time(clip, 30) - frame_time(clip, 20), kAudioFrame)
            << cut[1];
    }
    EXPECT_EQ(run_quorvel({"run", "-i", dir.file("phone.mp4"), "-ss", "3"}).status,
              2);  // past the end
    EXPECT_EQ(run_quorvel({"run", "-i", dir.file("phone.mp4"), "-t", "1", "-to", "2"}).status, 2);
    EXPECT_EQ(run_quorvel({"run", "-i", dir.file("phone.mp4"), "-ss", "1", "-s", "2"}).status, 2);
}

// The preview reads the frame it shows again after every change: a seek
// back to frame 0 must give frame 0, not the picture the decoder is at.
TEST(VideoInput, ASeekBackToTheFirstFrameGivesTheFirstFrame) {
    ScriptDir dir;
    ClipRecipe video;
    video.frames = 12;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), video), "");
    std::string error;
    bool usage = false;
    const std::unique_ptr<FrameSource> source = open_source(dir.file("clip.mp4"), &error, &usage);
    ASSERT_TRUE(source) << error;
    std::vector<PIXEL_YC> picture(static_cast<std::size_t>(video.w) * video.h);
    std::int64_t pts = 0;
    const auto luma_at_origin = [&] { return picture[0].y; };
    ASSERT_TRUE(source->read_next(picture.data(), video.w, &pts, &error)) << error;
    const auto first = luma_at_origin();
    for (int k = 1; k < 6; ++k)
        ASSERT_TRUE(source->read_next(picture.data(), video.w, &pts, &error));
    EXPECT_NE(luma_at_origin(), first);
    for (int again = 0; again < 3; ++again) {
        ASSERT_TRUE(source->seek(0, &error)) << error;
        ASSERT_TRUE(source->read_next(picture.data(), video.w, &pts, &error)) << error;
        EXPECT_EQ(luma_at_origin(), first) << "after seek " << again;
        EXPECT_EQ(pts, source->time_of(0));
    }
}

// --threads N holds FFmpeg's decoder and encoder to N threads, so that a
// chunk on a cluster's one CPU stays on it; without it they take as many
// as the machine has.
TEST(VideoCodecs, TheirThreadsAreTheOnesGiven) {
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one processor: FFmpeg starts no threads of its own either way";
    ScriptDir dir;
    ClipRecipe video;
    video.frames = 6;
    ASSERT_EQ(make_video(dir.file("clip.mp4"), video), "");
    const auto threads_now = [] {
        int n = 0;
        for ([[maybe_unused]] const auto& task :
             std::filesystem::directory_iterator("/proc/self/task"))
            ++n;
        return n;
    };
    // The threads a decoder and an encoder at work add to this process.
    const auto added_by = [&](int codec_threads) {
        const int before = threads_now();
        std::string error;
        bool usage = false;
        const std::unique_ptr<FrameSource> source =
            open_source(dir.file("clip.mp4"), &error, &usage, codec_threads);
        SinkSettings settings;
        settings.name = dir.file("out.mkv");
        settings.codec_threads = codec_threads;
        const std::unique_ptr<FrameSink> sink = open_sink(settings, &error, &usage);
        EXPECT_TRUE(source && sink) << error;
        if (!source || !sink) return -1;
        std::vector<PIXEL_YC> picture(static_cast<std::size_t>(video.w) * video.h);
        std::int64_t pts = 0;
        for (int k = 0; k < 3; ++k) {
            EXPECT_TRUE(source->read_next(picture.data(), video.w, &pts, &error)) << error;
            EXPECT_TRUE(sink->write(picture.data(), video.w, video.w, video.h, k, 1, &error))
                << error;
        }
        const int during = threads_now();
        EXPECT_TRUE(sink->finish(3, &error)) << error;
        return during - before;
    };
    EXPECT_EQ(added_by(1), 0);
    EXPECT_GT(added_by(0), 0);
}
