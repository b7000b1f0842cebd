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
#include <set>
#include <vector>

#include "media/frame_source.h"
#include "media/libav.h"
#include "media/libav_decoder.h"
#include "media/libav_index.h"
#include "media/pixel_convert.h"

namespace {

// Frame numbers listed in a message: the first few, then how many more.
std::string frame_list(const std::vector<int>& frames) {
    std::string text;
    const std::size_t shown = std::min<std::size_t>(frames.size(), 5);
    for (std::size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + std::to_string(frames[i]);
    if (frames.size() > shown) text += " and " + std::to_string(frames.size() - shown) + " more";
    return text;
}

class LibavSource : public FrameSource {
public:
    explicit LibavSource(int codec_threads) : codec_threads_(codec_threads) {}
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

    std::int64_t time_of(int n) const override {
        if (!random_access_ || n < 0 || n >= static_cast<int>(index_.pts.size())) return kNoTime;
        return index_.pts[static_cast<std::size_t>(n)];
    }

    bool seek(int n, std::string* error) override {
        if (n >= frame_count_) {
            *error = path_ + " has " + std::to_string(frame_count_) +
                     " frames; cannot start at frame " + std::to_string(n);
            return false;
        }
        if (!random_access_) return FrameSource::seek(n, error);
        const std::size_t key = key_before(index_.pts[n]);
        const auto& keys = index_.keys;
        // Frame n is ahead and no key frame lies between: decoding on from
        // where the decoder is gives it sooner than going back to the key
        // frame (read_next passes over the frames before it).  So does a
        // decoder still at the start of the file for the frames up to the
        // second key frame (the first may not be frame 0).
        const bool ahead = next_ <= n && next_ < frame_count_;
        if (ahead && (keys[key].pts <= index_.pts[next_] || (!main_used_ && key == 0))) {
            next_ = n;
            return true;
        }
        // Otherwise back to the key frame at or before n, also for frame 0:
        // the decoder may be anywhere after the frames already read.
        held_ = false;
        next_ = n;
        main_used_ = true;
        return main_.seek(keys[key].pts);
    }

    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        error->clear();
        if (next_ >= frame_count_) return false;
        if (!random_access_) {
            if (!main_.next(frame_.get(), error)) return end_of_input(error);
            *pts = timestamp_of(frame_.get());
            note_damage(frame_.get(), next_);
            ++next_;
            return convert(frame_.get(), pixels, stride, error);
        }
        // The picture whose timestamp is frame n's; a picture the decoder
        // could not give is stood in for by the one that follows it.
        main_used_ = true;
        const std::int64_t want = index_.pts[next_];
        while (true) {
            if (!held_ && !main_.next(frame_.get(), error)) return end_of_input(error);
            held_ = false;
            const std::int64_t t = timestamp_of(frame_.get());
            if (t != AV_NOPTS_VALUE && t < want) continue;
            held_ = t != AV_NOPTS_VALUE && t > want;
            if (!held_) note_damage(frame_.get(), next_);
            *pts = want;
            ++next_;
            return convert(frame_.get(), pixels, stride, error);
        }
    }

    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        if (!random_access_ || n < 0 || n >= frame_count_) return false;
        if (!random_ && !open_random()) return false;
        const std::int64_t want = index_.pts[n];
        std::size_t key = key_before(want);
        const auto& keys = index_.keys;
        // Decoding on from where the decoder is beats seeking while no key
        // frame lies between.
        const bool forward =
            random_at_ != AV_NOPTS_VALUE && random_at_ < want && keys[key].pts <= random_at_;
        for (int attempt = 0; attempt < 4; ++attempt) {
            if (!(forward && attempt == 0)) {
                random_->seek(keys[key].pts);
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

    std::vector<std::string> damage(int first, int last, bool* cut_short) const override {
        std::vector<std::string> texts;
        *cut_short = false;
        // Pictures the decoder refused (the next one stands in for each),
        // and those it gave with errors concealed or the container marks
        // corrupt: written as decoded, and said.
        std::set<int> refused, concealed(damaged_.begin(), damaged_.end());
        if (random_access_) {
            for (std::int64_t t : main_.refused()) refused.insert(index_.frame_at(t));
            for (std::int64_t t : index_.corrupt) concealed.insert(index_.frame_at(t));
        }
        const auto within = [&](const std::set<int>& frames) {
            std::vector<int> list;
            for (int n : frames)
                if (n >= first && n <= last) list.push_back(n);
            return list;
        };
        const auto frames_text = [](const std::vector<int>& list) {
            return std::string(list.size() > 1 ? "frames " : "frame ") + frame_list(list);
        };
        if (const std::vector<int> list = within(refused); !list.empty())
            texts.push_back(path_ + ": damaged: " + frames_text(list) + " could not be decoded (" +
                            main_.refusal() + "); the picture after " +
                            (list.size() > 1 ? "each" : "it") + " stands in");
        else if (!random_access_ && !main_.refused().empty())
            texts.push_back(path_ + ": damaged: " + std::to_string(main_.refused().size()) +
                            " pictures could not be decoded (" + main_.refusal() + ")");
        if (const std::vector<int> list = within(concealed); !list.empty())
            texts.push_back(path_ + ": damaged: " + frames_text(list) +
                            " came out of the decoder with errors concealed");
        if (last + 1 >= frame_count_ && !index_.end_damage.empty()) {
            texts.push_back(index_.end_damage);
            *cut_short = true;
        }
        return texts;
    }

private:
    bool open_and_index(std::string* error, const LogCapture& complaints) {
        const std::string& path = path_;
        if (!main_.open(path, codec_threads_, error)) return false;
        AVCodecContext* codec = main_.codec();
        width_ = codec->width, height_ = codec->height;
        if (width_ < 1 || height_ < 1) {
            *error = path + ": the video has no picture size";
            return false;
        }
        AVStream* stream = main_.stream();
        tb_num_ = stream->time_base.num, tb_den_ = stream->time_base.den;
        // The rate FFmpeg itself would take for the stream: the nominal one
        // (a variable-rate clip's, not its average).
        AVRational rate = av_guess_frame_rate(main_.format(), stream, nullptr);
        if (rate.num <= 0 || rate.den <= 0) rate = stream->avg_frame_rate;
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
        if (!frame_ || !index_video(path_, main_.stream_index(), complaints, &index_, error))
            return false;
        main_.leave_out(index_.cut_dts);
        frame_count_ = static_cast<int>(index_.pts.size());
        random_access_ = index_.by_time();
        if (random_access_) {
            end_time_ = index_.end != AV_NOPTS_VALUE ? index_.end : kNoTime;
        } else {
            index_.pts.clear();
        }
        // Audio goes along when the file has some.
        has_audio_ =
            av_find_best_stream(main_.format(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0) >= 0;
        // The file starts with its earliest stream: audio may begin before
        // the first picture.
        if (main_.format()->start_time != AV_NOPTS_VALUE)
            start_time_ =
                av_rescale_q(main_.format()->start_time, AV_TIME_BASE_Q, stream->time_base);
        return true;
    }

    std::size_t key_before(std::int64_t pts) const {
        const auto& keys = index_.keys;
        auto it =
            std::upper_bound(keys.begin(), keys.end(), pts,
                             [](std::int64_t t, const VideoIndex::Key& k) { return t < k.pts; });
        return it == keys.begin() ? 0 : static_cast<std::size_t>(it - keys.begin() - 1);
    }

    bool open_random() {
        auto decoder = std::make_unique<VideoDecoder>();
        std::string error;
        if (!decoder->open(path_, codec_threads_, &error)) return false;
        decoder->leave_out(index_.cut_dts);
        random_ = std::move(decoder);
        random_frame_.reset(av_frame_alloc());
        return random_frame_ != nullptr;
    }

    // A picture given with its damage concealed is remembered as frame n's.
    void note_damage(const AVFrame* f, int n) {
        if (decoded_with_errors(f) && (damaged_.empty() || damaged_.back() != n))
            damaged_.push_back(n);
    }

    // The decoder has no more pictures before the index's end: an error, a
    // read error, or pictures it could not give.
    bool end_of_input(std::string* error) {
        if (!error->empty())
            *error = path_ + ": frame " + std::to_string(next_) + ": " + *error;
        else if (!main_.read_error().empty())
            *error = path_ + ": damaged after frame " + std::to_string(next_) + " (" +
                     main_.read_error() + ")";
        else
            *error = path_ + ": frames " + std::to_string(next_) + " to " +
                     std::to_string(frame_count_ - 1) + " could not be decoded";
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
    int codec_threads_;
    VideoDecoder main_;
    VideoIndex index_;
    FramePtr frame_;
    bool held_ = false;         // frame_ is a picture still to come
    bool main_used_ = false;    // main_ has left the start of the file
    std::vector<int> damaged_;  // frames given with damage concealed, rising
    std::unique_ptr<VideoDecoder> random_;
    FramePtr random_frame_;
    std::int64_t random_at_ = AV_NOPTS_VALUE;  // timestamp of random_'s last picture
    FramePtr scaled_;
    ScalePtr scale_;
    bool has_audio_ = false;
};

}  // namespace

std::unique_ptr<FrameSource> open_libav_source(const std::string& name, std::string* error,
                                               int codec_threads) {
    auto source = std::make_unique<LibavSource>(codec_threads);
    if (!source->open(name, error)) return nullptr;
    return source;
}
