// quorvel join on chunks cut from a video the test makes: the joined video
// is the original frame for frame, with the input's audio, and segments
// that do not line up are refused by name with nothing written.
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "harness.h"
#include "media/chunk_tags.h"
#include "test_video.h"

namespace {

struct Cut {
    int first, last;    // frames of the original, both included
    int drop_last = 0;  // packets left out at the end, as a chunk cut short
};

// Copies the packets of frames first..last of an all-key-frame video into
// an .mkv of their own that starts at 0, tagged as a chunk of `source`.
std::string cut_segment(const std::string& source, const std::string& path, const Cut& cut,
                        int w_override = 0) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, source.c_str(), nullptr, nullptr) < 0) return "cannot read";
    avformat_find_stream_info(in, nullptr);
    const int v = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    AVFormatContext* out = nullptr;
    avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str());
    AVStream* os = avformat_new_stream(out, nullptr);
    avcodec_parameters_copy(os->codecpar, in->streams[v]->codecpar);
    if (w_override) os->codecpar->width = w_override;
    os->codecpar->codec_tag = 0;
    const AVRational tb = in->streams[v]->time_base;
    os->time_base = tb;
    // Where each frame starts, as a run's index has it.
    std::vector<std::int64_t> starts;
    AVPacket* p = av_packet_alloc();
    while (av_read_frame(in, p) >= 0) {
        if (p->stream_index == v) starts.push_back(p->pts);
        av_packet_unref(p);
    }
    const std::int64_t frame = av_rescale_q(1, av_inv_q(in->streams[v]->avg_frame_rate), tb);
    starts.push_back(starts.back() + frame);
    av_seek_frame(in, v, 0, AVSEEK_FLAG_BACKWARD);
    ChunkTags tags;
    tags.source = source;
    tags.first = cut.first, tags.last = cut.last;
    tags.start_pts = starts[cut.first], tags.end_pts = starts[cut.last + 1];
    tags.tb_num = tb.num, tags.tb_den = tb.den;
    write_chunk_tags(tags, &out->metadata);
    if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(out, nullptr) < 0)
        return "cannot write " + path;
    int k = 0;
    while (av_read_frame(in, p) >= 0) {
        if (p->stream_index == v) {
            if (k >= cut.first && k <= cut.last - cut.drop_last) {
                av_packet_rescale_ts(p, tb, os->time_base);
                p->pts -= av_rescale_q(tags.start_pts, tb, os->time_base);
                p->dts = p->pts;
                p->stream_index = 0;
                p->pos = -1;
                av_interleaved_write_frame(out, p);
            }
            ++k;
        }
        av_packet_unref(p);
    }
    av_write_trailer(out);
    av_packet_free(&p);
    avio_closep(&out->pb);
    avformat_free_context(out);
    avformat_close_input(&in);
    return "";
}

class Join : public ::testing::Test {
protected:
    // A 24-frame FFV1 video with AAC audio, and its chunks.
    void SetUp() override {
        ClipRecipe recipe;
        recipe.encoder = "ffv1";
        recipe.gop = 1;  // every frame a key frame, as the chunks of a run are
        recipe.frames = 24;
        recipe.audio = true;
        ASSERT_EQ(make_video(source(), recipe), "");
    }
    std::string source() const { return dir_.file("source.mkv"); }
    std::vector<std::string> cut(const std::vector<Cut>& cuts) {
        std::vector<std::string> paths;
        for (const Cut& c : cuts) {
            paths.push_back(dir_.file("chunk_" + std::to_string(c.first) + "-" +
                                      std::to_string(c.last) + ".mkv"));
            EXPECT_EQ(cut_segment(source(), paths.back(), c), "");
        }
        return paths;
    }
    RunResult join(std::vector<std::string> args) {
        args.insert(args.begin(), "join");
        args.insert(args.end(), {"-o", dir_.file("joined.mkv")});
        return run_quorvel(args);
    }
    ScriptDir dir_;
};

TEST_F(Join, ChunksMakeTheOriginalAgainWithItsAudio) {
    const RunResult r = join(cut({{0, 6}, {7, 15}, {16, 23}}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("joined 3 segments, frames 0 to 23 (24 frames)"), std::string::npos)
        << r.err;
    const DecodedVideo original = read_video(source());
    const DecodedVideo joined = read_video(dir_.file("joined.mkv"));
    ASSERT_EQ(joined.error, "");
    ASSERT_EQ(joined.frames.size(), 24u);
    for (std::size_t k = 0; k < 24; ++k) EXPECT_EQ(joined.frames[k], original.frames[k]) << k;
    EXPECT_TRUE(joined.has_audio);
    EXPECT_NEAR(joined.video_seconds, 24 / 25.0, 0.001);
    EXPECT_NEAR(joined.audio_seconds, joined.video_seconds, 1024.0 / 48000);

    // The joined file is a chunk too: joined with what follows, and
    // without audio on request.
    const std::vector<std::string> rest = cut({{0, 11}, {12, 23}});
    ASSERT_EQ(
        run_quorvel({"join", rest[0], rest[1], "--no-audio", "-o", dir_.file("again.mkv")}).status,
        0);
    const DecodedVideo again = read_video(dir_.file("again.mkv"));
    EXPECT_FALSE(again.has_audio);
    EXPECT_EQ(again.frames, original.frames);

    // An output that is there already is kept, as a run keeps it, unless -y.
    const RunResult kept = run_quorvel({"join", rest[0], rest[1], "-o", dir_.file("again.mkv")});
    EXPECT_EQ(kept.status, 1);
    EXPECT_NE(kept.err.find("exists and is kept: -y overwrites it"), std::string::npos) << kept.err;
    EXPECT_FALSE(read_video(dir_.file("again.mkv")).has_audio);
    ASSERT_EQ(run_quorvel({"join", rest[0], rest[1], "-y", "-o", dir_.file("again.mkv")}).status,
              0);
    EXPECT_TRUE(read_video(dir_.file("again.mkv")).has_audio);
}

TEST_F(Join, SegmentsThatDoNotLineUpAreNamedAndNothingIsWritten) {
    const auto refused = [&](const std::vector<std::string>& segments, const std::string& bad,
                             const std::string& why) {
        const RunResult r = join(segments);
        EXPECT_EQ(r.status, 1) << why;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_FALSE(dir_.exists("joined.mkv")) << why;
    };
    const std::vector<std::string> s = cut({{0, 7}, {8, 15}, {16, 23}});
    refused({s[0], s[2]}, "chunk_16-23.mkv", "frames 8 to 15 are missing");
    refused({s[0], s[2], s[1]}, "chunk_16-23.mkv", "frames 8 to 15 are missing");
    refused({s[0], s[1], s[1]}, "chunk_8-15.mkv", "give the segments in order, each once");
    const std::vector<std::string> overlap = cut({{0, 8}});
    refused({overlap[0], s[1]}, "chunk_8-15.mkv", "1 frame is in both");

    // A chunk cut short by a node that failed while writing it.
    ASSERT_EQ(cut_segment(source(), dir_.file("short.mkv"), {8, 15, 2}), "");
    refused({s[0], dir_.file("short.mkv"), s[2]}, "short.mkv",
            "has 6 of the 8 frames it says it holds (frames 8 to 15): it is incomplete");
    // A chunk of another size.
    ASSERT_EQ(cut_segment(source(), dir_.file("wide.mkv"), {8, 15}, 80), "");
    refused({s[0], dir_.file("wide.mkv")}, "wide.mkv", "ffv1 80x48 yuv420p");
    // A video that no chunked run wrote.
    refused({s[0], source()}, "source.mkv", "does not say which frames it holds");
}

}  // namespace
