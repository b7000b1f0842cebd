#include "join/join_command.h"

#include <algorithm>
#include <cstdio>

#include "edit.h"
#include "join/segment.h"
#include "media/audio_copy.h"
#include "media/frame_sink.h"
#include "media/libav.h"
#include "run/run_output.h"

namespace {

AVRational rational(int num, int den) { return AVRational{num, den}; }

// Writes the segments' video, one after the other, into one file.
class Joiner {
public:
    Joiner(const std::vector<Segment>& segments, const std::string& output)
        : segments_(segments), name_(output) {}

    // The output's streams and header; the audio from `audio_file` ("" for
    // none).  False with a message; *usage when the container cannot work.
    bool open(const std::string& audio_file, std::string* error, bool* usage) {
        const Segment& first = segments_.front();
        const Segment& last = segments_.back();
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, nullptr, name_.c_str()) < 0 ||
            raw == nullptr) {
            *error = "cannot write " + name_ + ": unknown container";
            *usage = true;
            return false;
        }
        output_.reset(raw);
        InputPtr input;
        if (!open_segment(first, &input, error)) return false;
        const AVStream* in = input->streams[video_index_];
        if (avformat_query_codec(raw->oformat, in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
            *error = first.codec + " video cannot be stored in " + name_ + ": join into a .mkv";
            *usage = true;
            return false;
        }
        if (!file_.create(name_, error)) return false;
        video_ = avformat_new_stream(raw, nullptr);
        if (video_ == nullptr || avcodec_parameters_copy(video_->codecpar, in->codecpar) < 0) {
            *error = "out of memory";
            return false;
        }
        video_->codecpar->codec_tag = 0;
        video_->time_base = in->time_base;
        video_->avg_frame_rate = in->avg_frame_rate;
        if (const AVPacketSideData* m = side_data(in, AV_PKT_DATA_DISPLAYMATRIX))
            if (std::uint8_t* copy = av_stream_new_side_data(video_, m->type, m->size))
                std::copy(m->data, m->data + m->size, copy);
        // The whole is a chunk of the input too: it can be joined again.
        ChunkTags whole = first.tags;
        whole.last = last.tags.last;
        whole.end_pts =
            av_rescale_q(last.tags.end_pts, rational(last.tags.tb_num, last.tags.tb_den),
                         rational(first.tags.tb_num, first.tags.tb_den));
        write_chunk_tags(whole, &raw->metadata);
        if (!audio_file.empty() &&
            !audio_.open(audio_file, raw, name_, first.tags.start_pts,
                         rational(first.tags.tb_num, first.tags.tb_den), error))
            return false;
        int ret = avio_open(&raw->pb, file_.temp_path().c_str(), AVIO_FLAG_WRITE);
        if (ret >= 0) ret = avformat_write_header(raw, nullptr);
        if (ret < 0) {
            *error = "cannot write " + name_ + ": " + av_error_text(ret);
            return false;
        }
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            *error = "out of memory";
            return false;
        }
        return true;
    }

    // Copies every segment's video, then the audio to the end of the last
    // frame, and gives the file its name.
    bool write(std::string* error) {
        for (const Segment& s : segments_)
            if (!copy_segment(s, error)) return false;
        const Segment& first = segments_.front();
        const Segment& last = segments_.back();
        if (!audio_.copy_until(since_start(last, last.tags.end_pts, AV_TIME_BASE_Q, first), error))
            return false;
        const int ret = av_write_trailer(output_.get());
        if (ret < 0) {
            *error = "cannot write " + name_ + ": " + av_error_text(ret);
            return false;
        }
        avio_closep(&output_->pb);
        return file_.commit(error);
    }

    bool has_audio() const { return audio_.active(); }

private:
    static const AVPacketSideData* side_data(const AVStream* s, AVPacketSideDataType type) {
        for (int i = 0; i < s->nb_side_data; ++i)
            if (s->side_data[i].type == type) return &s->side_data[i];
        return nullptr;
    }

    // Where `pts` of the input (in s's tag units) is in the output, in
    // units of `tb`: the first segment's start is the output's 0.
    static std::int64_t since_start(const Segment& s, std::int64_t pts, AVRational tb,
                                    const Segment& first) {
        const AVRational tags = rational(s.tags.tb_num, s.tags.tb_den);
        const AVRational first_tags = rational(first.tags.tb_num, first.tags.tb_den);
        return av_rescale_q(pts, tags, tb) - av_rescale_q(first.tags.start_pts, first_tags, tb);
    }

    bool open_segment(const Segment& s, InputPtr* input, std::string* error) {
        return open_segment_video(s.path, input, &video_index_, error);
    }

    // The segment's video packets, moved to where the segment starts in the
    // input (its time 0 is the input's time its tags give); checks that it
    // starts with a key frame, follows the segment before it in time and
    // holds the frames its tags name.
    bool copy_segment(const Segment& s, std::string* error) {
        InputPtr input;
        if (!open_segment(s, &input, error)) return false;
        const AVRational in_tb = input->streams[video_index_]->time_base;
        const AVRational out_tb = video_->time_base;
        const std::int64_t shift = since_start(s, s.tags.start_pts, out_tb, segments_.front());
        const int expected = s.tags.last - s.tags.first + 1;
        int packets = 0;
        while (true) {
            const int ret = av_read_frame(input.get(), packet_.get());
            if (ret == AVERROR_EOF) break;
            if (ret < 0) {
                *error = s.path + " cannot be read to its end: " + av_error_text(ret);
                return false;
            }
            if (packet_->stream_index != video_index_) {
                av_packet_unref(packet_.get());
                continue;
            }
            if (packets == 0 &&
                (!(packet_->flags & AV_PKT_FLAG_KEY) || packet_->pts == AV_NOPTS_VALUE)) {
                *error = s.path + " does not start with a key frame: it cannot be joined " +
                         "without re-encoding";
                return false;
            }
            if (++packets > expected) break;
            packet_->pts = av_rescale_q(packet_->pts, in_tb, out_tb) + shift;
            packet_->dts = packet_->dts == AV_NOPTS_VALUE
                               ? AV_NOPTS_VALUE
                               : av_rescale_q(packet_->dts, in_tb, out_tb) + shift;
            packet_->duration = av_rescale_q(packet_->duration, in_tb, out_tb);
            const std::int64_t order = packet_->dts != AV_NOPTS_VALUE ? packet_->dts : packet_->pts;
            if (order <= last_order_) {
                *error = s.path + " starts before the segment before it ends (at " +
                         seconds_text(order, out_tb) + " s, not after " +
                         seconds_text(last_order_, out_tb) + " s)";
                return false;
            }
            last_order_ = order;
            if (!audio_.copy_until(av_rescale_q(packet_->pts, out_tb, AV_TIME_BASE_Q), error))
                return false;
            packet_->stream_index = video_->index;
            packet_->pos = -1;
            const int wrote = av_interleaved_write_frame(output_.get(), packet_.get());
            if (wrote < 0) {
                *error = "cannot write " + name_ + ": " + av_error_text(wrote);
                return false;
            }
        }
        av_packet_unref(packet_.get());
        if (packets != expected) {
            const std::string holds =
                " frames it says it holds (" + frame_range_text(s.tags.first, s.tags.last) + ")";
            *error = packets > expected
                         ? s.path + " has more than the " + std::to_string(expected) + holds
                         : s.path + " has " + std::to_string(packets) + " of the " +
                               std::to_string(expected) + holds + ": it is incomplete";
            return false;
        }
        return true;
    }

    static std::string seconds_text(std::int64_t t, AVRational tb) {
        char text[32];
        std::snprintf(text, sizeof text, "%.3f", static_cast<double>(t) * av_q2d(tb));
        return text;
    }

    const std::vector<Segment>& segments_;
    std::string name_;
    OutputFile file_;
    OutputPtr output_;
    AVStream* video_ = nullptr;
    int video_index_ = -1;
    PacketPtr packet_;
    AudioCopy audio_;
    std::int64_t last_order_ = INT64_MIN;
};

// The file whose audio goes into the output: --audio-from, else the input
// the segments came from; "" for none.  0, or the exit status.
int choose_audio(const Options& options, const Segment& first, std::string* audio_file) {
    audio_file->clear();
    if (options.no_audio) return 0;
    if (!options.audio_from.empty()) {
        if (!is_file(options.audio_from)) return usage_error("no file " + options.audio_from);
        *audio_file = options.audio_from;
        return 0;
    }
    const std::string& source = first.tags.source;
    // A generated picture has no audio.
    if (source.rfind("pattern:", 0) == 0 || source.rfind("blank:", 0) == 0) return 0;
    if (!is_file(source)) {
        print_error("the segments come from " + source +
                    ", which is not there for its audio: give --audio-from FILE or --no-audio");
        return 1;
    }
    *audio_file = source;
    return 0;
}

}  // namespace

int join_command(const Options& options) {
    if (options.segments.empty()) return usage_error("join needs the segments to put together");
    if (options.output.empty()) return usage_error("join needs --output");
    if (const int status = check_overwrite(options, options.output)) return status;
    std::vector<Segment> segments(options.segments.size());
    std::string error;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (absolute(options.segments[i]) == absolute(options.output))
            return usage_error("the output " + options.output + " is one of the segments");
        if (!probe_segment(options.segments[i], &segments[i], &error)) {
            print_error(error);
            return 1;
        }
    }
    error = check_line_up(segments);
    if (!error.empty()) {
        print_error(error);
        return 1;
    }
    std::string audio_file;
    if (const int status = choose_audio(options, segments.front(), &audio_file)) return status;
    Joiner joiner(segments, options.output);
    bool usage = false;
    if (!joiner.open(audio_file, &error, &usage) || !joiner.write(&error)) {
        if (usage) return usage_error(error);
        print_error(error);
        print_error(options.output + " was not written");
        return 1;
    }
    const Segment& first = segments.front();
    const Segment& last = segments.back();
    std::fprintf(stderr, "quorvel: joined %zu segment%s, %s (%d frames)%s into %s\n",
                 segments.size(), segments.size() == 1 ? "" : "s",
                 frame_range_text(first.tags.first, last.tags.last).c_str(),
                 last.tags.last - first.tags.first + 1,
                 joiner.has_audio() ? (", with the audio of " + audio_file).c_str() : "",
                 options.output.c_str());
    return 0;
}
