// The pictures the element makes: byte for byte what `quorvel run` makes of
// the same frames and script, in every layout it takes, in either range.
#include "gst_fixture.h"

namespace {

// Uses the frame before (kept by the host), the variables and functions of
// several families, so that any difference in what the script is given
// shows in the picture.
const char* const kBusyScript = R"(
function video_filter(info, vars)
  local w, h = info.w, info.h
  local hw, hh = math.floor(w / 2), math.floor(h / 2)
  copyframe(3, info.frame - 1)
  alpha(3, 0, 0, 0, w, h, 0, 0, 0.5)
  gaussian(0, 0, 0, 0, hw, h, 0, 0, 1.5)
  color(0, hw, 0, w - hw, h, 1 + vars.a / 4096, 1, 1, 0, vars.b - 2048, 0)
  mosaic(0, 0, 0, hh, hw, h - hh, 0, hh, 4, 4)
end
)";

constexpr int kFrames = 6;

std::vector<Picture> clip(int w, int h, int bits, int sx, int sy) {
    std::vector<Picture> frames;
    for (int k = 0; k < kFrames; ++k) frames.push_back(test_picture(w, h, bits, sx, sy, k));
    return frames;
}

// Pushes `frames` in `format` through `launch` (the element alone, or a
// launch line around it) and returns what came out, read in `out_format`.
std::vector<Picture> through(const std::string& launch, bool parse, const char* format,
                             const char* out_format, const std::vector<Picture>& frames,
                             const char* caps_extra = "") {
    Harness harness(launch, parse);
    const Picture& f = frames.front();
    const std::string caps = caps_of(format, f.w, f.h, caps_extra);
    gst_harness_set_src_caps_str(harness.h, caps.c_str());
    GstVideoInfo in, out;
    GstCaps* in_caps = gst_caps_from_string(caps.c_str());
    GstCaps* out_caps = gst_caps_from_string(caps_of(out_format, f.w, f.h, caps_extra).c_str());
    gst_video_info_from_caps(&in, in_caps);
    gst_video_info_from_caps(&out, out_caps);
    gst_caps_unref(in_caps);
    gst_caps_unref(out_caps);
    std::vector<Picture> result;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        EXPECT_EQ(gst_harness_push(harness.h, buffer_from(frames[k], in, static_cast<int>(k))),
                  GST_FLOW_OK);
        GstBuffer* buffer = gst_harness_pull(harness.h);
        if (buffer == nullptr) break;
        result.push_back(picture_from(buffer, out));
        gst_buffer_unref(buffer);
    }
    return result;
}

std::string element(const ScriptFolder& folder, const std::string& extra = "") {
    return "quorvel script-dir=" + folder.path() + " var-a=1500 var-b=2600 " + extra;
}

TEST(ElementOutput, EqualsRunByteForByteIn8And10Bits) {
    const ScriptFolder folder(kBusyScript);
    struct Case {
        const char* format;
        int bits, sx, sy;
    };
    // Odd sides: the element's chroma rows are padded where the file's are not.
    for (const Case& c : {Case{"I420", 8, 1, 1}, Case{"I420_10LE", 10, 1, 1}, Case{"Y444", 8, 0, 0},
                          Case{"I422_10LE", 10, 1, 0}}) {
        const std::vector<Picture> frames = clip(70, 41, c.bits, c.sx, c.sy);
        const std::vector<Picture> live =
            through(element(folder, "sandbox=true"), true, c.format, c.format, frames);
        const std::vector<Picture> run =
            run_quorvel(frames, folder.path(), "--var a=1500 --var b=2600 --sandbox");
        ASSERT_EQ(live.size(), frames.size()) << c.format;
        ASSERT_EQ(run.size(), frames.size()) << c.format;
        for (int k = 0; k < kFrames; ++k) {
            EXPECT_TRUE(live[k] == run[k]) << c.format << " frame " << k;
            EXPECT_FALSE(live[k] == frames[k]) << c.format << ": the script changed nothing";
        }
    }
}

TEST(ElementOutput, InterleavedLayoutsGiveThePlanarLayoutsPicture) {
    // videoconvert repacks without changing a sample (no dithering), so the
    // script must see, and give back, the same picture in either layout.
    const ScriptFolder folder(kBusyScript);
    struct Case {
        const char *planar, *packed;
        int bits, sx, sy;
    };
    for (const Case& c :
         {Case{"I420", "NV12", 8, 1, 1}, Case{"Y42B", "YUY2", 8, 1, 0},
          Case{"I420_10LE", "P010_10LE", 10, 1, 1}, Case{"I422_10LE", "Y210", 10, 1, 0}}) {
        const std::vector<Picture> frames = clip(64, 36, c.bits, c.sx, c.sy);
        const std::string convert = "videoconvert dither=none chroma-resampler=nearest";
        const std::string launch = convert + " ! capsfilter caps=video/x-raw,format=" + c.packed +
                                   " ! " + element(folder) + " ! " + convert +
                                   " ! capsfilter caps=video/x-raw,format=" + c.planar;
        const std::vector<Picture> packed = through(launch, true, c.planar, c.planar, frames);
        const std::vector<Picture> planar =
            through(element(folder), true, c.planar, c.planar, frames);
        ASSERT_EQ(packed.size(), frames.size()) << c.packed;
        for (int k = 0; k < kFrames; ++k)
            EXPECT_TRUE(packed[k] == planar[k]) << c.packed << " frame " << k;
    }
}

TEST(ElementOutput, RangeFollowsTheCapsColorimetry) {
    // White and black halves: 235/16 in limited range, 255/0 in full range;
    // a script that changes nothing gives every full-range sample back.
    const ScriptFolder folder(R"(
function video_filter(info, vars)
  if vars.a == 1 then return end
  fill(0, 0, 0, info.w, info.h, 4096, 0, 0)
  fill(0, 0, 0, math.floor(info.w / 2), info.h, 0, 0, 0)
end
)");
    struct Case {
        const char *format, *colorimetry;
        int white, black;
    };
    for (const Case& c : {Case{"I420", "", 235, 16}, Case{"I420", ",colorimetry=1:4:0:0", 255, 0},
                          Case{"I420_10LE", ",colorimetry=1:4:0:0", 1023, 0},
                          Case{"NV12", ",colorimetry=1:4:0:0", 255, 0}}) {
        const bool deep = std::string(c.format).find("10") != std::string::npos;
        const std::vector<Picture> frames = {test_picture(32, 16, deep ? 10 : 8, 1, 1, 0)};
        const std::vector<Picture> out =
            through(element(folder, "var-a=0"), true, c.format, c.format, frames, c.colorimetry);
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].plane[0][0], c.black) << c.format << c.colorimetry;
        EXPECT_EQ(out[0].plane[0][31], c.white) << c.format << c.colorimetry;
    }
    // Every 8-bit value, through in full range and back unchanged.
    Picture ramp = test_picture(64, 16, 8, 1, 1, 0);
    for (int c = 0; c < 3; ++c)
        for (std::size_t i = 0; i < ramp.plane[c].size(); ++i)
            ramp.plane[c][i] = static_cast<std::uint16_t>((i * 5 + c) % 256);
    const std::vector<Picture> out =
        through(element(folder, "var-a=1"), true, "I420", "I420", {ramp}, ",colorimetry=1:4:0:0");
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0] == ramp);
}

TEST(ElementOutput, APictureTheScriptMadeSmallerHasBlackAroundIt) {
    const ScriptFolder folder(R"(
function video_filter(info, vars)
  fill(0, 0, 0, info.w, info.h, 2048, 0, 0)
  dispsize(32, 20)
end
)");
    const std::vector<Picture> frames = {test_picture(48, 30, 8, 1, 1, 0)};
    const std::vector<Picture> out = through(element(folder), true, "I420", "I420", frames);
    ASSERT_EQ(out.size(), 1u);
    const Picture& p = out[0];
    EXPECT_EQ(p.plane[0][0], 125);  // grey inside
    EXPECT_EQ(p.plane[0][31], 125);
    EXPECT_EQ(p.plane[0][32], 16);                                 // black to the right
    EXPECT_EQ(p.plane[0][static_cast<std::size_t>(20) * 48], 16);  // and below
    EXPECT_EQ(p.plane[1][p.plane[1].size() - 1], 128);
}

}  // namespace
