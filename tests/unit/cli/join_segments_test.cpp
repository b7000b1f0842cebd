// What a chunk says about itself (its tags), and the checks that the
// chunks given to quorvel join line up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "join/segment.h"
#include "media/libav.h"

namespace {

TEST(ChunkTags, ReadBackWhatWasWrittenAndRefuseWhatIsNotWhole) {
    ChunkTags written;
    written.source = "/clips/a b.mp4";
    written.first = 60, written.last = 119;
    written.start_pts = 2002, written.end_pts = 4004;
    written.tb_num = 1, written.tb_den = 1000;
    AVDictionary* metadata = nullptr;
    write_chunk_tags(written, &metadata);
    ChunkTags read;
    ASSERT_TRUE(read_chunk_tags(metadata, &read));
    EXPECT_EQ(read.source, written.source);
    EXPECT_EQ(read.first, 60);
    EXPECT_EQ(read.last, 119);
    EXPECT_EQ(read.start_pts, 2002);
    EXPECT_EQ(read.end_pts, 4004);
    EXPECT_EQ(read.tb_den, 1000);

    const auto refuses = [&](const char* key, const char* value) {
        AVDictionary* copy = nullptr;
        av_dict_copy(&copy, metadata, 0);
        av_dict_set(&copy, key, value, 0);
        ChunkTags t;
        EXPECT_FALSE(read_chunk_tags(copy, &t)) << key << "=" << (value ? value : "(none)");
        av_dict_free(&copy);
    };
    refuses("QUORVEL_FRAMES", "119-60");
    refuses("QUORVEL_FRAMES", "60-");
    refuses("QUORVEL_FRAMES", "60-119x");
    refuses("QUORVEL_FRAMES", "0-99999999999");
    refuses("QUORVEL_SPAN", "2002-4004 1/0");
    refuses("QUORVEL_SPAN", "4004-2002 1/1000");
    refuses("QUORVEL_SPAN", "2002-4004");
    refuses("QUORVEL_SOURCE", nullptr);
    av_dict_free(&metadata);
}

Segment segment(const std::string& path, int first, int last) {
    Segment s;
    s.path = path;
    s.tags.source = "/clips/in.mp4";
    s.tags.first = first, s.tags.last = last;
    s.codec = "ffv1", s.pix_fmt = "yuv420p";
    s.w = 1920, s.h = 1080, s.rate_num = 25, s.rate_den = 1;
    s.extradata = "set-up";
    return s;
}

TEST(CheckLineUp, NamesTheFirstSegmentThatDoesNotFollow) {
    std::vector<Segment> s = {segment("a", 0, 59), segment("b", 60, 119), segment("c", 120, 179)};
    EXPECT_EQ(check_line_up(s), "");
    EXPECT_EQ(check_line_up({s[0]}), "");

    const auto fails = [](std::vector<Segment> list, const std::string& message) {
        EXPECT_EQ(check_line_up(list), message);
    };
    fails({s[0], s[2]},
          "c holds frames 120 to 179, but a ends at frame 59: frames 60 to 119 are missing");
    fails({s[0], segment("b", 61, 119)},
          "b holds frames 61 to 119, but a ends at frame 59: frame 60 is missing");
    fails({s[0], segment("b", 50, 119)},
          "b holds frames 50 to 119, but a ends at frame 59: 10 frames are in both");
    fails({s[0], s[1], s[1]},
          "b holds frames 60 to 119, but b ends at frame 119: give the segments in order, each "
          "once");
    fails({s[1], s[0]},
          "a holds frames 0 to 59, but b ends at frame 119: give the segments in order, each once");
    Segment other_size = s[1];
    other_size.h = 1088;
    fails({s[0], other_size, s[2]},
          "b is ffv1 1920x1088 yuv420p at 25/1 fps, but a is ffv1 1920x1080 yuv420p at 25/1 fps: "
          "chunks join only when coded alike");
    Segment other_settings = s[2];
    other_settings.extradata = "other";
    fails({s[0], s[1], other_settings},
          "c was encoded with other settings than a (its ffv1 set-up differs): chunks join only "
          "when coded alike");
    Segment other_input = s[1];
    other_input.tags.source = "/clips/other.mp4";
    fails({s[0], other_input}, "b comes from /clips/other.mp4, but a from /clips/in.mp4");
    EXPECT_EQ(check_line_up({}), "no segments to join");
}

}  // namespace
