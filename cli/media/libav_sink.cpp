// Encoded video files through FFmpeg's libraries: H.264 (libx264, with a
// CRF) in .mp4, .mov or .mkv, or lossless FFV1 in .mkv.  The input's audio
// is copied over, packet by packet, when the container can hold it.
#include <algorithm>
#include <cstring>
#include <deque>

#include "media/audio_copy.h"
#include "media/frame_sink.h"
#include "media/libav.h"
#include "media/pixel_convert.h"

namespace {

AVPixelFormat pixel_format_of(const std::string& pix_fmt) {
    static const struct {
        const char* name;
        AVPixelFormat format;
    } kFormats[] = {{"420p", AV_PIX_FMT_YUV420P},     {"422p", AV_PIX_FMT_YUV422P},
                    {"444p", AV_PIX_FMT_YUV444P},     {"420p10", AV_PIX_FMT_YUV420P10},
                    {"422p10", AV_PIX_FMT_YUV422P10}, {"444p10", AV_PIX_FMT_YUV444P10}};
    for (const auto& k : kFormats)
        if (pix_fmt == k.name) return k.format;
    return AV_PIX_FMT_NONE;
}

bool ends_with(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

class LibavSink : public FrameSink {
public:
    explicit LibavSink(const SinkSettings& s) : settings_(s) {}

    bool open(std::string* error, bool* usage) {
        const std::string& name = settings_.name;
        codec_name_ =
            settings_.codec.empty() ? (ends_with(name, ".mkv") ? "ffv1" : "h264") : settings_.codec;
        if (codec_name_ != "h264" && codec_name_ != "ffv1") {
            *error = "--codec must be h264 or ffv1 (got \"" + codec_name_ + "\")";
            *usage = true;
            return false;
        }
        if (codec_name_ == "ffv1" && !ends_with(name, ".mkv")) {
            *error = "FFV1 is written only into .mkv files";
            *usage = true;
            return false;
        }
        pixel_format_ = pixel_format_of(settings_.pix_fmt);
        codec_ = avcodec_find_encoder_by_name(codec_name_ == "h264" ? "libx264" : "ffv1");
        if (codec_ == nullptr) {
            *error = "this FFmpeg has no " + codec_name_ + " encoder";
            return false;
        }
        // The container is chosen by the final name; the bytes go to the
        // temporary file, which is renamed when the video is complete.
        if (!file_.create(name, error)) return false;
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, nullptr, name.c_str()) < 0 ||
            raw == nullptr) {
            *error = "cannot write " + name + ": unknown container";
            return false;
        }
        output_.reset(raw);
        return true;
    }

    bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
               std::int64_t duration, std::string* error) override {
        if (frames_ == 0 && !start(w, h, error)) return false;
        if (av_frame_make_writable(frame_.get()) < 0) {
            *error = "out of memory";
            return false;
        }
        fill(pixels, stride, w, h);
        frame_->pts = pts - origin_;
        if (frame_->pts <= last_pts_)
            frame_->pts = last_pts_ + 1;  // encoders need rising timestamps
        last_pts_ = frame_->pts;
        // The encoder gives its packets no duration; each frame's own is
        // kept until its packet comes out (a variable-rate clip's last
        // frame would otherwise last one step of the nominal rate).
        durations_.emplace_back(
            frame_->pts, av_rescale_q(std::max<std::int64_t>(duration, 1),
                                      {settings_.tb_num, settings_.tb_den}, encoder_->time_base));
        if (durations_.size() > 256) durations_.pop_front();  // an encoder that renumbers
        if (!encode(frame_.get(), error)) return false;
        ++frames_;
        return audio_.copy_until(av_rescale_q(last_pts_, encoder_->time_base, AV_TIME_BASE_Q),
                                 error);
    }

    bool finish(std::int64_t end_pts, std::string* error) override {
        if (frames_ == 0) return true;
        if (!encode(nullptr, error)) return false;
        const std::int64_t end =
            av_rescale_q(end_pts - origin_, encoder_->time_base, AV_TIME_BASE_Q);
        if (!audio_.copy_until(end, error)) return false;
        const int ret = av_write_trailer(output_.get());
        if (ret < 0) {
            *error = "cannot write " + settings_.name + ": " + av_error_text(ret);
            return false;
        }
        avio_closep(&output_->pb);
        return file_.commit(error);
    }

private:
    // Sets up the encoder for the first frame's size, the audio stream and
    // the file's header.
    bool start(int w, int h, std::string* error) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(pixel_format_);
        width_ = w, height_ = h;
        // H.264 needs whole chroma samples: an odd side gets one more pixel,
        // a copy of its neighbour.
        enc_w_ = codec_name_ == "h264"
                     ? (w + (1 << d->log2_chroma_w) - 1) & ~((1 << d->log2_chroma_w) - 1)
                     : w;
        enc_h_ = codec_name_ == "h264"
                     ? (h + (1 << d->log2_chroma_h) - 1) & ~((1 << d->log2_chroma_h) - 1)
                     : h;
        encoder_.reset(avcodec_alloc_context3(codec_));
        AVCodecContext* c = encoder_.get();
        c->width = enc_w_, c->height = enc_h_;
        c->pix_fmt = pixel_format_;
        c->time_base = {settings_.tb_num, settings_.tb_den};
        frame_ticks_ = std::max<std::int64_t>(
            1, av_rescale_q(1, av_inv_q({settings_.rate_num, settings_.rate_den}), c->time_base));
        c->framerate = {settings_.rate_num, settings_.rate_den};
        c->color_range = AVCOL_RANGE_MPEG;
        // The samples are the input's, unconverted: so are their colours.
        c->color_primaries = static_cast<AVColorPrimaries>(settings_.color_primaries);
        c->color_trc = static_cast<AVColorTransferCharacteristic>(settings_.color_trc);
        c->colorspace = static_cast<AVColorSpace>(settings_.colorspace);
        c->thread_count = settings_.codec_threads;
        if (output_->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        AVDictionary* options = nullptr;
        if (codec_name_ == "h264") {
            av_dict_set_int(&options, "crf", settings_.crf, 0);
            av_dict_set(&options, "preset", "medium", 0);
        } else {
            av_dict_set_int(&options, "level", 3, 0);
            av_dict_set_int(&options, "slicecrc", 1, 0);
            c->gop_size = 1;
        }
        int ret = avcodec_open2(c, codec_, &options);
        av_dict_free(&options);
        if (ret < 0) {
            *error = "cannot start the " + codec_name_ + " encoder for " + settings_.name + ": " +
                     av_error_text(ret);
            return false;
        }
        video_ = avformat_new_stream(output_.get(), nullptr);
        if (video_ == nullptr || avcodec_parameters_from_context(video_->codecpar, c) < 0) {
            *error = "out of memory";
            return false;
        }
        video_->time_base = c->time_base;
        video_->avg_frame_rate = c->framerate;
        if (settings_.display_matrix.size() == 36)
            if (std::uint8_t* m = av_stream_new_side_data(video_, AV_PKT_DATA_DISPLAYMATRIX, 36))
                std::memcpy(m, settings_.display_matrix.data(), 36);
        // The audio is cut where the video is: the output's 0 is the
        // input's origin in both.
        if (!settings_.audio_file.empty() &&
            !audio_.open(settings_.audio_file, output_.get(), settings_.name, origin_,
                         {settings_.tb_num, settings_.tb_den}, error))
            return false;
        // A chunk says where in the input its 0 lies.
        if (settings_.chunk.first >= 0) {
            ChunkTags tags = settings_.chunk;
            tags.start_pts = origin_;
            tags.tb_num = settings_.tb_num, tags.tb_den = settings_.tb_den;
            write_chunk_tags(tags, &output_->metadata);
        }
        output_->pb = nullptr;
        if ((ret = avio_open(&output_->pb, file_.temp_path().c_str(), AVIO_FLAG_WRITE)) < 0 ||
            (ret = avformat_write_header(output_.get(), nullptr)) < 0) {
            *error = "cannot write " + settings_.name + ": " + av_error_text(ret);
            return false;
        }
        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        frame_->format = c->pix_fmt, frame_->width = c->width, frame_->height = c->height;
        frame_->color_range = AVCOL_RANGE_MPEG;
        if (!packet_ || av_frame_get_buffer(frame_.get(), 0) < 0) {
            *error = "out of memory";
            return false;
        }
        return true;
    }

    // The frame into the encoder's planes: what fits of it, black around a
    // smaller frame, and the padding column and row copied from their
    // neighbours.
    void fill(const PIXEL_YC* pixels, int stride, int w, int h) {
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(pixel_format_);
        const int bits = d->comp[0].depth;
        OutPlanes planes;
        for (int i = 0; i < 3; ++i)
            planes.data[i] = frame_->data[i], planes.stride[i] = frame_->linesize[i];
        planes.bits = bits;
        planes.shift_x = d->log2_chroma_w, planes.shift_y = d->log2_chroma_h;
        if (w < width_ || h < height_) {
            const int chroma_w = AV_CEIL_RSHIFT(enc_w_, planes.shift_x),
                      chroma_h = AV_CEIL_RSHIFT(enc_h_, planes.shift_y);
            fill_plane(0, enc_w_, enc_h_, luma_to_sample(0, bits), bits);
            fill_plane(1, chroma_w, chroma_h, chroma_to_sample(0, bits), bits);
            fill_plane(2, chroma_w, chroma_h, chroma_to_sample(0, bits), bits);
        }
        yc_to_planes(pixels, stride, std::min(w, width_), std::min(h, height_), planes);
        const int bytes = bits > 8 ? 2 : 1;
        for (int i = 0; i < 3; ++i) {
            const int sx = i ? planes.shift_x : 0, sy = i ? planes.shift_y : 0;
            const int have_w = AV_CEIL_RSHIFT(width_, sx), have_h = AV_CEIL_RSHIFT(height_, sy);
            const int need_w = AV_CEIL_RSHIFT(enc_w_, sx), need_h = AV_CEIL_RSHIFT(enc_h_, sy);
            std::uint8_t* base = frame_->data[i];
            const int ls = frame_->linesize[i];
            for (int y = 0; y < have_h; ++y)
                for (int x = have_w; x < need_w; ++x)
                    std::memcpy(base + y * ls + x * bytes, base + y * ls + (have_w - 1) * bytes,
                                bytes);
            for (int y = have_h; y < need_h; ++y)
                std::memcpy(base + y * ls, base + (have_h - 1) * ls, need_w * bytes);
        }
    }

    // The duration of the frame shown at `pts` (encoder time base), once.
    std::int64_t duration_of(std::int64_t pts) {
        for (auto it = durations_.begin(); it != durations_.end(); ++it)
            if (it->first == pts) {
                const std::int64_t d = it->second;
                durations_.erase(it);
                return d;
            }
        return frame_ticks_;
    }

    void fill_plane(int i, int w, int h, int value, int bits) {
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = frame_->data[i] + y * frame_->linesize[i];
            if (bits == 8) {
                std::memset(row, value, w);
            } else {
                auto* words = reinterpret_cast<std::uint16_t*>(row);
                std::fill(words, words + w, static_cast<std::uint16_t>(value));
            }
        }
    }

    bool encode(AVFrame* frame, std::string* error) {
        int ret = avcodec_send_frame(encoder_.get(), frame);
        while (ret >= 0) {
            ret = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
            if (ret < 0) break;
            // Without a duration the container would give the last frame none,
            // and players would drop it.
            if (packet_->duration == 0) packet_->duration = duration_of(packet_->pts);
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, video_->time_base);
            packet_->stream_index = video_->index;
            ret = av_interleaved_write_frame(output_.get(), packet_.get());
        }
        *error = "cannot write " + settings_.name + ": " + av_error_text(ret);
        return false;
    }

    SinkSettings settings_;
    std::string codec_name_;
    const AVCodec* codec_ = nullptr;
    AVPixelFormat pixel_format_ = AV_PIX_FMT_YUV420P;
    OutputFile file_;
    OutputPtr output_;
    CodecPtr encoder_;
    AVStream* video_ = nullptr;
    FramePtr frame_;
    PacketPtr packet_;
    int width_ = 0, height_ = 0, enc_w_ = 0, enc_h_ = 0;
    std::int64_t last_pts_ = -1;
    std::int64_t frame_ticks_ = 1;  // one frame's duration in the encoder's time base
    std::deque<std::pair<std::int64_t, std::int64_t>> durations_;  // pts, duration in flight
    AudioCopy audio_;
};

}  // namespace

std::unique_ptr<FrameSink> open_libav_sink(const SinkSettings& settings, std::string* error,
                                           bool* usage) {
    auto sink = std::make_unique<LibavSink>(settings);
    if (!sink->open(error, usage)) return nullptr;
    return sink;
}
