// Video files through FFmpeg's libraries: any container and codec they
// read, image sequences included.
//
// The file is indexed once (its video packets' timestamps, no decoding), so
// the frame count is exact and frame n is the n-th picture in presentation
// order.  The main loop decodes straight through; other frames come from a
// second decoder that seeks to the key frame at or before the one wanted and
// decodes forward, so reaching back from the current frame never disturbs
// the main loop.
#include <algorithm>
#include <vector>

#include "media/frame_source.h"
#include "media/libav.h"
#include "media/pixel_convert.h"

namespace {

// One demuxer and decoder of the file's video stream.
class Decoder {
public:
    bool open(const std::string& path, std::string* error) {
        AVFormatContext* raw = nullptr;
        int ret = avformat_open_input(&raw, path.c_str(), nullptr, nullptr);
        if (ret < 0) {
            *error = "cannot read " + path + ": " + av_error_text(ret);
            return false;
        }
        format_.reset(raw);
        if ((ret = avformat_find_stream_info(raw, nullptr)) < 0) {
            *error = path + ": " + av_error_text(ret);
            return false;
        }
        const AVCodec* codec = nullptr;
        stream_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (stream_ < 0 || codec == nullptr) {
            *error = path + (stream_ == AVERROR_DECODER_NOT_FOUND ? ": no decoder for its video"
                                                                  : ": has no video");
            return false;
        }
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            if (static_cast<int>(i) != stream_) raw->streams[i]->discard = AVDISCARD_ALL;
        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream()->codecpar) < 0) {
            *error = path + ": cannot set up the " + std::string(codec->name) + " decoder";
            return false;
        }
        codec_->thread_count = 0;  // as many as the machine has
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        if ((ret = avcodec_open2(codec_.get(), codec, nullptr)) < 0) {
            *error = path + ": cannot open the " + std::string(codec->name) +
                     " decoder: " + av_error_text(ret);
            return false;
        }
        packet_.reset(av_packet_alloc());
        return packet_ != nullptr;
    }

    AVFormatContext* format() const { return format_.get(); }
    AVStream* stream() const { return format_->streams[stream_]; }
    AVCodecContext* codec() const { return codec_.get(); }
    int stream_index() const { return stream_; }

    // The next picture in presentation order into `out`.  False at the end
    // (error empty) or on a failure.
    bool next(AVFrame* out, std::string* error) {
        error->clear();
        av_frame_unref(out);
        while (true) {
            int ret = avcodec_receive_frame(codec_.get(), out);
            if (ret == 0) return true;
            if (ret == AVERROR_EOF) return false;
            if (ret != AVERROR(EAGAIN)) {
                *error = "cannot decode: " + av_error_text(ret);
                return false;
            }
            if (draining_) return false;
            ret = av_read_frame(format_.get(), packet_.get());
            if (ret < 0) {
                // The end of the file, or what could be read of it: the
                // decoder gives out what it still holds.
                if (ret != AVERROR_EOF) read_error_ = av_error_text(ret);
                draining_ = true;
                avcodec_send_packet(codec_.get(), nullptr);
                continue;
            }
            if (packet_->stream_index == stream_) {
                // A damaged packet is skipped; the decoder conceals it.
                avcodec_send_packet(codec_.get(), packet_.get());
            }
            av_packet_unref(packet_.get());
        }
    }

    // Moves to the key frame at or before presentation time `pts` (stream
    // time base).  A key frame is sought by its presentation time: the mp4
    // reader compares with those, and the key frame's decoding time, which
    // B-frames put earlier, lands on the key frame before it.
    bool seek(std::int64_t pts) {
        draining_ = false;
        const int ret = av_seek_frame(format_.get(), stream_, pts, AVSEEK_FLAG_BACKWARD);
        avcodec_flush_buffers(codec_.get());
        return ret >= 0;
    }

    const std::string& read_error() const { return read_error_; }

private:
    InputPtr format_;
    CodecPtr codec_;
    PacketPtr packet_;
    int stream_ = -1;
    bool draining_ = false;
    std::string read_error_;
};

std::int64_t timestamp_of(const AVFrame* f) {
    return f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
}

class LibavSource : public FrameSource {
public:
    bool open(const std::string& path, std::string* error) {
        path_ = path;
        // Damage the demuxers meet while the file is opened and indexed is
        // often only in their log: it is kept and said in the program's words.
        LogCapture complaints;
        const bool opened = open_and_index(error, complaints);
        if (!opened && !complaints.first_error().empty())
            *error += " (" + complaints.first_error() + ")";
        return opened;
    }

    std::string audio_file() const override { return has_audio_ ? path_ : ""; }

    bool seek(int n, std::string* error) override {
        if (frame_count_ >= 0 && n >= frame_count_) {
            *error = path_ + " has " + std::to_string(frame_count_) +
                     " frames; cannot start at frame " + std::to_string(n);
            return false;
        }
        if (!random_access_) return FrameSource::seek(n, error);
        const std::size_t key = key_before(pts_[n]);
        // Frame n is ahead and no key frame lies between: decoding on from
        // where the decoder is gives it sooner than going back to the key
        // frame (read_next passes over the frames before it).  So does a
        // decoder still at the start of the file for the frames up to the
        // second key frame (the first may not be frame 0).
        const bool ahead = next_ <= n && next_ < static_cast<int>(pts_.size());
        if (ahead && (keys_[key].pts <= pts_[next_] || (!main_used_ && key == 0))) {
            next_ = n;
            return true;
        }
        // Otherwise back to the key frame at or before n, also for frame 0:
        // the decoder may be anywhere after the frames already read.
        held_ = false;
        next_ = n;
        main_used_ = true;
        return main_.seek(keys_[key].pts);
    }

    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        error->clear();
        if (frame_count_ >= 0 && next_ >= frame_count_) {
            *error = damage_;
            return false;
        }
        if (!random_access_) {
            if (!main_.next(frame_.get(), error)) return end_of_input(error);
            *pts = timestamp_of(frame_.get());
            ++next_;
            return convert(frame_.get(), pixels, stride, error);
        }
        if (next_ >= static_cast<int>(pts_.size())) {
            *error = damage_;
            return false;
        }
        // The picture whose timestamp is frame n's; a picture the decoder
        // could not give is stood in for by the one that follows it.
        main_used_ = true;
        const std::int64_t want = pts_[next_];
        while (true) {
            if (!held_ && !main_.next(frame_.get(), error)) return end_of_input(error);
            held_ = false;
            const std::int64_t t = timestamp_of(frame_.get());
            if (t != AV_NOPTS_VALUE && t < want) continue;
            held_ = t != AV_NOPTS_VALUE && t > want;
            *pts = want;
            ++next_;
            return convert(frame_.get(), pixels, stride, error);
        }
    }

    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        if (!random_access_ || n < 0 || n >= static_cast<int>(pts_.size())) return false;
        if (!random_ && !open_random()) return false;
        const std::int64_t want = pts_[n];
        std::size_t key = key_before(want);
        // Decoding on from where the decoder is beats seeking while no key
        // frame lies between.
        const bool forward =
            random_at_ != AV_NOPTS_VALUE && random_at_ < want && keys_[key].pts <= random_at_;
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (!(forward && attempt == 0)) {
                random_->seek(keys_[key].pts);
                random_at_ = AV_NOPTS_VALUE;
            }
            bool landed_late = false;
            while (true) {
                if (!random_->next(random_frame_.get(), error)) {
                    random_at_ = AV_NOPTS_VALUE;
                    return false;
                }
                const std::int64_t t = timestamp_of(random_frame_.get());
                if (t == AV_NOPTS_VALUE) return false;
                const bool first = random_at_ == AV_NOPTS_VALUE;
                random_at_ = t;
                if (t < want) continue;
                // A seek that lands past the frame tries an earlier key frame.
                if (t > want && first && key > 0) {
                    landed_late = true;
                    break;
                }
                return convert(random_frame_.get(), pixels, stride, error);
            }
            if (landed_late) key = key > 1 ? key - 1 : 0;
        }
        return false;
    }

private:
    struct Key {
        std::int64_t pts;
    };

    bool open_and_index(std::string* error, const LogCapture& complaints) {
        const std::string& path = path_;
        if (!main_.open(path, error)) return false;
        AVCodecContext* codec = main_.codec();
        width_ = codec->width, height_ = codec->height;
        if (width_ < 1 || height_ < 1) {
            *error = path + ": the video has no picture size";
            return false;
        }
        const AVStream* stream = main_.stream();
        tb_num_ = stream->time_base.num, tb_den_ = stream->time_base.den;
        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = {30, 1};
        rate_num_ = rate.num, rate_den_ = rate.den;
        format_ =
            std::string(avcodec_get_name(codec->codec_id)) + ", " +
            (av_get_pix_fmt_name(codec->pix_fmt) ? av_get_pix_fmt_name(codec->pix_fmt) : "?") +
            " (" + describe_pixel_format(codec->pix_fmt) + ", " +
            (codec->color_range == AVCOL_RANGE_JPEG ? "full" : "limited") + " range)";
        color_primaries = codec->color_primaries, color_trc = codec->color_trc,
        colorspace = codec->colorspace;
        std::size_t size = 0;
        if (const std::uint8_t* m =
                av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
            m && size == 36)
            display_matrix.assign(reinterpret_cast<const char*>(m), size);
        frame_.reset(av_frame_alloc());
        if (!frame_ || !index(error, complaints)) return false;
        // Audio goes along when the file has some.
        has_audio_ =
            av_find_best_stream(main_.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
        return true;
    }

    // Reads every video packet's timestamps (no decoding): the frame count,
    // the presentation order and the key frames.
    bool index(std::string* error, const LogCapture& complaints) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, path_.c_str(), nullptr, nullptr) < 0) {
            *error = "cannot read " + path_;
            return false;
        }
        InputPtr format(raw);
        if (avformat_find_stream_info(raw, nullptr) < 0) {
            *error = "cannot read " + path_;
            return false;
        }
        const int vs = main_.stream_index();
        for (unsigned i = 0; i < raw->nb_streams; ++i)
            if (static_cast<int>(i) != vs) raw->streams[i]->discard = AVDISCARD_ALL;
        PacketPtr packet(av_packet_alloc());
        bool have_times = true;
        int packets = 0;
        int ret = 0;
        while ((ret = av_read_frame(raw, packet.get())) >= 0) {
            // A packet marked for discarding (cut by an edit list) is decoded
            // but never shown: it is no frame.
            if (packet->stream_index == vs && !(packet->flags & AV_PKT_FLAG_DISCARD)) {
                ++packets;
                const std::int64_t t = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
                if (t == AV_NOPTS_VALUE) have_times = false;
                pts_.push_back(t);
                if (packet->flags & AV_PKT_FLAG_KEY)
                    keys_.push_back({t});
            }
            av_packet_unref(packet.get());
        }
        const AVStream* stream = raw->streams[vs];
        if (ret != AVERROR_EOF)
            damage_ =
                "damaged after frame " + std::to_string(packets) + " (" + av_error_text(ret) + ")";
        else if (!complaints.first_error().empty())
            damage_ = "damaged after frame " + std::to_string(packets) + " (" +
                      complaints.first_error() + ")";
        else if (stream->nb_frames > packets)
            damage_ = "cut short: it has " + std::to_string(packets) + " of the " +
                      std::to_string(stream->nb_frames) + " frames its header lists";
        if (packets == 0) {
            *error = path_ + ": " + (damage_.empty() ? "the video has no frames" : damage_);
            return false;
        }
        if (!damage_.empty()) damage_ = path_ + ": " + damage_;
        std::sort(pts_.begin(), pts_.end());
        std::sort(keys_.begin(), keys_.end(),
                  [](const Key& a, const Key& b) { return a.pts < b.pts; });
        // Frame n is found by its timestamp: they must be there and differ.
        random_access_ = have_times && !keys_.empty() &&
                         std::adjacent_find(pts_.begin(), pts_.end()) == pts_.end();
        // The damage counts as one frame more, which reading in order stops
        // at with the message; the frames before it can still be used.
        frame_count_ = packets + (damage_.empty() ? 0 : 1);
        if (!random_access_) pts_.clear();
        return true;
    }

    std::size_t key_before(std::int64_t pts) const {
        auto it = std::upper_bound(keys_.begin(), keys_.end(), pts,
                                   [](std::int64_t t, const Key& k) { return t < k.pts; });
        return it == keys_.begin() ? 0 : static_cast<std::size_t>(it - keys_.begin() - 1);
    }

    bool open_random() {
        auto decoder = std::make_unique<Decoder>();
        std::string error;
        if (!decoder->open(path_, &error)) return false;
        random_ = std::move(decoder);
        random_frame_.reset(av_frame_alloc());
        return random_frame_ != nullptr;
    }

    // The decoder has no more pictures: the end, or damage when the file
    // could not be read to its end.
    bool end_of_input(std::string* error) {
        if (!error->empty())
            *error = path_ + ": frame " + std::to_string(next_) + ": " + *error;
        else if (!damage_.empty())
            *error = damage_;
        else if (!main_.read_error().empty())
            *error = path_ + ": damaged after frame " + std::to_string(next_) + " (" +
                     main_.read_error() + ")";
        return false;
    }

    // The picture in the editor's pixels: planar YUV directly, anything
    // else through swscale (RGB to 16-bit RGB, other YUV layouts to planar).
    bool convert(const AVFrame* f, PIXEL_YC* pixels, int stride, std::string* error) {
        if (f->width != width_ || f->height != height_) {
            *error = path_ + ": frame " + std::to_string(next_ - 1) +
                     " has another picture size (" + std::to_string(f->width) + "x" +
                     std::to_string(f->height) + ")";
            return false;
        }
        const auto format = static_cast<AVPixelFormat>(f->format);
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        if (d == nullptr) {
            *error = path_ + ": unknown pixel format";
            return false;
        }
        const bool full = f->color_range == AVCOL_RANGE_JPEG ||
                          (f->color_range == AVCOL_RANGE_UNSPECIFIED && d->nb_components < 3 &&
                           !(d->flags & AV_PIX_FMT_FLAG_RGB));
        if (is_direct(d)) {
            Planes planes;
            for (int i = 0; i < (d->nb_components >= 3 ? 3 : 1); ++i) {
                planes.data[i] = f->data[i];
                planes.stride[i] = f->linesize[i];
            }
            planes.bits = d->comp[0].depth;
            planes.shift_x = d->log2_chroma_w, planes.shift_y = d->log2_chroma_h;
            planes.full_range = full;
            planes_to_yc(planes, width_, height_, pixels, stride);
            return true;
        }
        const bool rgb = (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0;
        const AVPixelFormat target = rgb ? AV_PIX_FMT_RGB48 : planar_target(d);
        if (!scaled_ || scaled_->format != target) {
            scaled_.reset(av_frame_alloc());
            scaled_->format = target;
            scaled_->width = width_, scaled_->height = height_;
            if (av_frame_get_buffer(scaled_.get(), 0) < 0) {
                *error = "out of memory";
                return false;
            }
        }
        scale_.reset(sws_getCachedContext(scale_.release(), width_, height_, format, width_,
                                          height_, target, SWS_POINT, nullptr, nullptr, nullptr));
        if (!scale_) {
            *error = path_ + ": cannot convert from " + std::string(av_get_pix_fmt_name(format));
            return false;
        }
        sws_scale(scale_.get(), f->data, f->linesize, 0, height_, scaled_->data, scaled_->linesize);
        if (rgb) {
            rgb48_to_yc(reinterpret_cast<const std::uint16_t*>(scaled_->data[0]),
                        scaled_->linesize[0], width_, height_, pixels, stride);
            return true;
        }
        const AVPixFmtDescriptor* t = av_pix_fmt_desc_get(target);
        Planes planes;
        for (int i = 0; i < 3; ++i)
            planes.data[i] = scaled_->data[i], planes.stride[i] = scaled_->linesize[i];
        planes.bits = t->comp[0].depth;
        planes.shift_x = t->log2_chroma_w, planes.shift_y = t->log2_chroma_h;
        planes.full_range = full;
        planes_to_yc(planes, width_, height_, pixels, stride);
        return true;
    }

    // Planar YUV (or grey) in native byte order whose samples fill their
    // words: read as it is.
    static bool is_direct(const AVPixFmtDescriptor* d) {
        if (d->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM |
                        AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BE))
            return false;
        const int planes = d->nb_components >= 3 ? 3 : 1;
        if (d->nb_components == 2) return false;  // grey with alpha, interleaved
        const int depth = d->comp[0].depth;
        if (depth < 8 || depth > 16 || d->log2_chroma_w > 1 || d->log2_chroma_h > 1) return false;
        for (int i = 0; i < planes; ++i) {
            const AVComponentDescriptor& c = d->comp[i];
            if (c.plane != i || c.offset != 0 || c.shift != 0 || c.depth != depth ||
                c.step != (depth > 8 ? 2 : 1))
                return false;
        }
        return true;
    }

    // The planar layout nearest to another YUV layout (NV12, YUYV, ...).
    static AVPixelFormat planar_target(const AVPixFmtDescriptor* d) {
        const bool deep = d->comp[0].depth > 8;
        if (d->nb_components < 3) return deep ? AV_PIX_FMT_GRAY16 : AV_PIX_FMT_GRAY8;
        if (d->log2_chroma_w == 1 && d->log2_chroma_h == 1)
            return deep ? AV_PIX_FMT_YUV420P16 : AV_PIX_FMT_YUV420P;
        if (d->log2_chroma_w == 1 && d->log2_chroma_h == 0)
            return deep ? AV_PIX_FMT_YUV422P16 : AV_PIX_FMT_YUV422P;
        return deep ? AV_PIX_FMT_YUV444P16 : AV_PIX_FMT_YUV444P;
    }

    std::string path_;
    Decoder main_;
    FramePtr frame_;
    bool held_ = false;       // frame_ is a picture still to come
    bool main_used_ = false;  // main_ has left the start of the file
    std::vector<std::int64_t> pts_;
    std::vector<Key> keys_;
    std::string damage_;
    std::unique_ptr<Decoder> random_;
    FramePtr random_frame_;
    std::int64_t random_at_ = AV_NOPTS_VALUE;  // timestamp of random_'s last picture
    FramePtr scaled_;
    ScalePtr scale_;
    bool has_audio_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> open_libav_source(const std::string& name, std::string* error) {
    auto source = std::make_unique<LibavSource>();
    if (!source->open(name, error)) return nullptr;
    return source;
}
