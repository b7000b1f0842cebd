// What the cluster test needs of FFmpeg's libraries, as a program:
//
//   cluster_media_tool make CLIP FRAMES [WxH]  an H.264 .mp4 of the test's
//                                         pattern with an AAC track (96x64
//                                         unless told)
//   cluster_media_tool digest FILE        one line per decoded video frame
//                                         (its time and a hash of its
//                                         samples) and per audio packet
//                                         (its time, length and a hash of
//                                         its bytes), for diff
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_video.h"

namespace {

std::uint64_t hash_bytes(const std::uint8_t* data, std::size_t size, std::uint64_t h) {
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 1099511628211ULL;
    return h;
}

std::int64_t micros(std::int64_t t, AVRational tb) {
    return t == AV_NOPTS_VALUE ? -1 : av_rescale_q(t, tb, {1, 1000000});
}

int digest(const char* path) {
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path, nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in, nullptr) < 0) {
        std::fprintf(stderr, "cannot read %s\n", path);
        return 1;
    }
    const AVCodec* codec = nullptr;
    const int vs = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    const int as = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (vs < 0) {
        std::fprintf(stderr, "%s has no video\n", path);
        return 1;
    }
    AVCodecContext* c = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(c, in->streams[vs]->codecpar);
    avcodec_open2(c, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    const AVRational vtb = in->streams[vs]->time_base;
    int frames = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(c, frame) == 0) {
            std::uint64_t h = 14695981039346656037ULL;
            const auto format = static_cast<AVPixelFormat>(frame->format);
            const int shift = av_pix_fmt_desc_get(format)->log2_chroma_h;
            for (int p = 0; p < av_pix_fmt_count_planes(format); ++p) {
                const int rows = p ? AV_CEIL_RSHIFT(frame->height, shift) : frame->height;
                const int bytes = av_image_get_linesize(format, frame->width, p);
                for (int y = 0; y < rows && bytes > 0; ++y)
                    h = hash_bytes(frame->data[p] + y * frame->linesize[p], bytes, h);
            }
            std::printf("v %d %" PRId64 " %016" PRIx64 "\n", frames++,
                        micros(frame->best_effort_timestamp, vtb), h);
        }
    };
    while (av_read_frame(in, packet) >= 0) {
        if (packet->stream_index == vs) {
            avcodec_send_packet(c, packet);
            receive();
        } else if (packet->stream_index == as) {
            const AVRational atb = in->streams[as]->time_base;
            std::printf("a %" PRId64 " %" PRId64 " %d %016" PRIx64 "\n", micros(packet->pts, atb),
                        micros(packet->duration, atb), packet->size,
                        hash_bytes(packet->data, packet->size, 14695981039346656037ULL));
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(c, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    avformat_close_input(&in);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && (argc == 4 || argc == 5)) {
        ClipRecipe recipe;
        recipe.w = 96, recipe.h = 64, recipe.frames = std::atoi(argv[3]);
        if (argc == 5 && std::sscanf(argv[4], "%dx%d", &recipe.w, &recipe.h) != 2) return 2;
        recipe.gop = 12;
        recipe.audio = true;
        const std::string error = make_video(argv[2], recipe);
        if (!error.empty()) std::fprintf(stderr, "%s\n", error.c_str());
        return error.empty() ? 0 : 1;
    }
    if (command == "digest" && argc == 3) return digest(argv[2]);
    std::fprintf(stderr, "usage: cluster_media_tool make CLIP FRAMES [WxH] | digest FILE\n");
    return 2;
}
