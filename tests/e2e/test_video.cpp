#include "test_video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdlib>

int test_sample(int k, int p, int x, int y, int bits) {
    const int s = bits - 8;
    if (p == 0) return (16 << s) + (x * 5 + y * 3 + k * 37) % (219 << s);
    return (16 << s) + (x * 7 + y * 11 + k * 23 + p * 50) % (224 << s);
}

namespace {

// The tone's level: quiet all along, or silent until the beep and loud after.
constexpr float kQuiet = 0.1f, kLoud = 0.8f;

std::int64_t pts_of(const ClipRecipe& video, int k) {
    if (video.pts.empty()) return k;
    return video.pts[static_cast<std::size_t>(k)];
}

AVRational time_base_of(const ClipRecipe& video) {
    return video.pts.empty() ? AVRational{1, video.rate} : AVRational{1, video.time_scale};
}

}  // namespace

double frame_time(const ClipRecipe& video, int k) {
    return static_cast<double>(pts_of(video, k)) * av_q2d(time_base_of(video));
}

std::string make_video(const std::string& path, const ClipRecipe& video) {
    av_log_set_level(AV_LOG_ERROR);
    AVFormatContext* out = nullptr;
    if (avformat_alloc_output_context2(&out, nullptr, nullptr, path.c_str()) < 0)
        return "no container for " + path;
    const AVCodec* codec = avcodec_find_encoder_by_name(video.encoder.c_str());
    AVCodecContext* c = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (c == nullptr) return "no encoder " + video.encoder;
    c->width = video.w, c->height = video.h;
    c->pix_fmt = av_get_pix_fmt(video.pix_fmt.c_str());
    c->time_base = time_base_of(video);
    c->framerate = {video.rate, 1};
    c->gop_size = video.gop;
    if (video.encoder == "libx264") c->max_b_frames = 2;
    if (out->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* options = nullptr;
    if (video.encoder == "libx264") {
        av_dict_set(&options, "qp", "0", 0);
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "x264-params",
                    ("keyint=" + std::to_string(video.gop) +
                     ":min-keyint=" + std::to_string(video.gop) + ":scenecut=0:bframes=2")
                        .c_str(),
                    0);
    }
    if (avcodec_open2(c, codec, &options) < 0) return "cannot open " + video.encoder;
    av_dict_free(&options);
    AVStream* vs = avformat_new_stream(out, nullptr);
    avcodec_parameters_from_context(vs->codecpar, c);
    vs->time_base = c->time_base;
    if (video.rotation != 0)
        if (auto* m = reinterpret_cast<std::int32_t*>(
                av_stream_new_side_data(vs, AV_PKT_DATA_DISPLAYMATRIX, 36)))
            av_display_rotation_set(m, video.rotation);

    AVCodecContext* ac = nullptr;
    AVStream* as = nullptr;
    if (video.audio) {
        const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        ac = avcodec_alloc_context3(aac);
        ac->sample_rate = 48000;
        ac->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&ac->ch_layout, 1);
        ac->time_base = {1, 48000};
        if (out->oformat->flags & AVFMT_GLOBALHEADER) ac->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(ac, aac, nullptr) < 0) return "cannot open aac";
        as = avformat_new_stream(out, nullptr);
        avcodec_parameters_from_context(as->codecpar, ac);
        as->time_base = ac->time_base;
    }
    if (avio_open(&out->pb, path.c_str(), AVIO_FLAG_WRITE) < 0 ||
        avformat_write_header(out, nullptr) < 0)
        return "cannot write " + path;

    AVPacket* packet = av_packet_alloc();
    // One nominal frame in the video's time base.
    const std::int64_t frame_ticks = av_rescale_q(1, {1, video.rate}, c->time_base);
    const auto drain = [&](AVCodecContext* cc, AVStream* st, AVFrame* f) {
        avcodec_send_frame(cc, f);
        while (avcodec_receive_packet(cc, packet) == 0) {
            if (packet->duration == 0) packet->duration = cc == c ? frame_ticks : 1024;
            av_packet_rescale_ts(packet, cc->time_base, st->time_base);
            packet->stream_index = st->index;
            av_interleaved_write_frame(out, packet);
        }
    };
    AVFrame* frame = av_frame_alloc();
    frame->format = c->pix_fmt, frame->width = c->width, frame->height = c->height;
    av_frame_get_buffer(frame, 0);
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(c->pix_fmt);
    const int bits = d->comp[0].depth;
    std::int64_t audio_samples = 0;
    for (int k = 0; k < video.frames; ++k) {
        av_frame_make_writable(frame);
        for (int p = 0; p < 3; ++p) {
            const int pw = p ? AV_CEIL_RSHIFT(video.w, d->log2_chroma_w) : video.w;
            const int ph = p ? AV_CEIL_RSHIFT(video.h, d->log2_chroma_h) : video.h;
            for (int y = 0; y < ph; ++y)
                for (int x = 0; x < pw; ++x) {
                    const int v = test_sample(k, p, x, y, bits);
                    std::uint8_t* row = frame->data[p] + y * frame->linesize[p];
                    if (bits == 8)
                        row[x] = static_cast<std::uint8_t>(v);
                    else
                        reinterpret_cast<std::uint16_t*>(row)[x] = static_cast<std::uint16_t>(v);
                }
        }
        frame->pts = pts_of(video, k);
        drain(c, vs, frame);
        // Audio up to the end of this frame: a tone.
        const std::int64_t frame_end =
            k + 1 < video.frames ? pts_of(video, k + 1) : pts_of(video, k) + frame_ticks;
        const std::int64_t audio_end = av_rescale_q(frame_end, c->time_base, {1, 48000});
        const std::int64_t beep_at =
            video.beep_frame < 0
                ? -1
                : av_rescale_q(pts_of(video, video.beep_frame), c->time_base, {1, 48000});
        while (ac != nullptr && audio_samples < audio_end) {
            AVFrame* a = av_frame_alloc();
            a->format = ac->sample_fmt, a->nb_samples = ac->frame_size, a->sample_rate = 48000;
            av_channel_layout_copy(&a->ch_layout, &ac->ch_layout);
            av_frame_get_buffer(a, 0);
            auto* samples = reinterpret_cast<float*>(a->data[0]);
            for (int i = 0; i < a->nb_samples; ++i) {
                const std::int64_t at = audio_samples + i;
                const float level = beep_at < 0 ? kQuiet : at < beep_at ? 0.0f : kLoud;
                samples[i] = level * static_cast<float>(std::sin(at * 0.05));
            }
            a->pts = audio_samples;
            audio_samples += a->nb_samples;
            drain(ac, as, a);
            av_frame_free(&a);
        }
    }
    drain(c, vs, nullptr);
    if (ac != nullptr) drain(ac, as, nullptr);
    av_write_trailer(out);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    avcodec_free_context(&ac);
    avio_closep(&out->pb);
    avformat_free_context(out);
    return "";
}

namespace {

// The audio stream's decoder: the start of the first decoded samples and the
// time of the first one louder than the quiet tone.
struct AudioReader {
    AVCodecContext* codec = nullptr;
    AVRational time_base{1, 1};
    double start = 1e300, onset = -1;

    bool open(const AVStream* stream) {
        const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
        codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
        time_base = stream->time_base;
        return codec != nullptr && avcodec_parameters_to_context(codec, stream->codecpar) >= 0 &&
               avcodec_open2(codec, decoder, nullptr) >= 0;
    }
    void decode(const AVPacket* packet, AVFrame* frame) {
        avcodec_send_packet(codec, packet);
        while (avcodec_receive_frame(codec, frame) == 0) {
            if (frame->pts == AV_NOPTS_VALUE || frame->format != AV_SAMPLE_FMT_FLTP) continue;
            const double at = frame->pts * av_q2d(time_base);
            start = std::min(start, at);
            const auto* samples = reinterpret_cast<const float*>(frame->data[0]);
            for (int i = 0; i < frame->nb_samples && onset < 0; ++i)
                if (std::abs(samples[i]) > (kQuiet + kLoud) / 2)
                    onset = at + static_cast<double>(i) / frame->sample_rate;
        }
    }
    ~AudioReader() { avcodec_free_context(&codec); }
};

}  // namespace

DecodedVideo read_video(const std::string& path) {
    DecodedVideo v;
    AVFormatContext* in = nullptr;
    if (avformat_open_input(&in, path.c_str(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(in, nullptr) < 0) {
        v.error = "cannot read " + path;
        return v;
    }
    const AVCodec* codec = nullptr;
    const int vs = av_find_best_stream(in, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    const int as = av_find_best_stream(in, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    v.has_audio = as >= 0;
    AudioReader audio;
    if (v.has_audio && !audio.open(in->streams[as])) v.error = "cannot decode the audio";
    std::size_t matrix_size = 0;
    if (const std::uint8_t* m =
            av_stream_get_side_data(in->streams[vs], AV_PKT_DATA_DISPLAYMATRIX, &matrix_size);
        m && matrix_size == 36)
        v.rotation = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(m));
    const AVRational video_tb = in->streams[vs]->time_base;
    AVCodecContext* c = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(c, in->streams[vs]->codecpar);
    avcodec_open2(c, codec, nullptr);
    v.codec = codec->name;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::int64_t audio_end = 0, video_end = 0;
    std::int64_t video_start = INT64_MAX;
    const auto receive = [&] {
        while (avcodec_receive_frame(c, frame) == 0) {
            const AVPixFmtDescriptor* d =
                av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
            v.w = frame->width, v.h = frame->height, v.bits = d->comp[0].depth;
            v.shift_x = d->log2_chroma_w, v.shift_y = d->log2_chroma_h;
            v.pix_fmt = av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame->format));
            v.frame_times.push_back(static_cast<double>(frame->best_effort_timestamp) *
                                    av_q2d(video_tb));
            std::vector<std::vector<int>> planes(3);
            if (d->flags & AV_PIX_FMT_FLAG_RGB) {  // packed RGB: the bytes of its one plane
                const int row_bytes =
                    av_image_get_linesize(static_cast<AVPixelFormat>(frame->format), v.w, 0);
                for (int y = 0; y < v.h; ++y)
                    for (int x = 0; x < row_bytes; ++x)
                        planes[0].push_back(frame->data[0][y * frame->linesize[0] + x]);
                v.frames.push_back(std::move(planes));
                continue;
            }
            for (int p = 0; p < 3 && p < d->nb_components; ++p) {
                const int pw = v.plane_w(p), ph = p ? AV_CEIL_RSHIFT(v.h, v.shift_y) : v.h;
                for (int y = 0; y < ph; ++y)
                    for (int x = 0; x < pw; ++x) {
                        const std::uint8_t* row = frame->data[p] + y * frame->linesize[p];
                        planes[p].push_back(
                            v.bits == 8 ? row[x] : reinterpret_cast<const std::uint16_t*>(row)[x]);
                    }
            }
            v.frames.push_back(std::move(planes));
        }
    };
    while (av_read_frame(in, packet) >= 0) {
        const AVStream* st = in->streams[packet->stream_index];
        const std::int64_t end =
            av_rescale_q(packet->pts + packet->duration, st->time_base, {1, 1000000});
        if (packet->stream_index == vs) {
            video_end = std::max(video_end, end);
            if (packet->pts != AV_NOPTS_VALUE)
                video_start =
                    std::min(video_start, av_rescale_q(packet->pts, st->time_base, {1, 1000000}));
            avcodec_send_packet(c, packet);
            receive();
        } else if (packet->stream_index == as) {
            audio_end = std::max(audio_end, end);
            if (audio.codec != nullptr) audio.decode(packet, frame);
        }
        av_packet_unref(packet);
    }
    avcodec_send_packet(c, nullptr);
    receive();
    if (audio.codec != nullptr) audio.decode(nullptr, frame);
    v.video_seconds = video_end / 1e6;
    v.audio_seconds = audio_end / 1e6;
    v.video_start = video_start == INT64_MAX ? 0 : video_start / 1e6;
    v.audio_start = audio.start == 1e300 ? 0 : audio.start;
    v.beep_onset = audio.onset;
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&c);
    avformat_close_input(&in);
    return v;
}

// Breaks the bytes in the middle of the k-th video chunk of an AVI.
std::string damage_avi_chunk(std::string avi, int k) {
    std::size_t at = avi.find("movi");
    for (int i = 0; i <= k && at != std::string::npos; ++i) at = avi.find("00dc", at + 4);
    if (at == std::string::npos) return avi;
    const std::size_t size = static_cast<unsigned char>(avi[at + 4]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(avi[at + 5])) << 8;
    for (std::size_t i = at + 8 + size / 2; i < at + 8 + size / 2 + 40; ++i)
        avi[i] = static_cast<char>(i % 2 ? 0xff : 0x00);
    return avi;
}
