#include "media/audio_copy.h"

#include <cstdio>

bool AudioCopy::open(const std::string& file, AVFormatContext* output,
                     const std::string& output_name, std::int64_t start_pts, AVRational tb,
                     std::string* error) {
    output_ = output;
    output_name_ = output_name;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, file.c_str(), nullptr, nullptr) < 0) return true;
    input_.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) return true;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (index < 0) return true;
    AVStream* in = raw->streams[index];
    if (avformat_query_codec(output->oformat, in->codecpar->codec_id, FF_COMPLIANCE_NORMAL) != 1) {
        std::fprintf(stderr,
                     "quorvel: the audio (%s) cannot be stored in %s; the output has none\n",
                     avcodec_get_name(in->codecpar->codec_id), output_name.c_str());
        return true;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != index) raw->streams[i]->discard = AVDISCARD_ALL;
    stream_ = avformat_new_stream(output, nullptr);
    if (stream_ == nullptr || avcodec_parameters_copy(stream_->codecpar, in->codecpar) < 0) {
        *error = "out of memory";
        return false;
    }
    stream_->codecpar->codec_tag = 0;
    stream_->time_base = in->time_base;
    start_ = av_rescale_q(start_pts, tb, in->time_base);
    keep_covering_ = (output->oformat->flags & AVFMT_TS_NEGATIVE) != 0;
    if (start_ > (in->start_time == AV_NOPTS_VALUE ? 0 : in->start_time))
        av_seek_frame(raw, index, start_, AVSEEK_FLAG_BACKWARD);
    packet_.reset(av_packet_alloc());
    if (!packet_) {
        *error = "out of memory";
        return false;
    }
    index_ = index;
    return true;
}

bool AudioCopy::before_start(const AVPacket& packet) const {
    if (packet.pts >= start_) return false;
    return !keep_covering_ || packet.duration <= 0 || packet.pts + packet.duration <= start_;
}

bool AudioCopy::copy_until(std::int64_t until, std::string* error) {
    if (index_ < 0 || done_) return true;
    AVStream* in = input_->streams[index_];
    while (true) {
        if (!pending_) {
            if (av_read_frame(input_.get(), packet_.get()) < 0) {
                done_ = true;
                return true;
            }
            if (packet_->stream_index != index_ || packet_->pts == AV_NOPTS_VALUE ||
                before_start(*packet_)) {
                av_packet_unref(packet_.get());
                continue;
            }
            pending_ = true;
        }
        const std::int64_t at = av_rescale_q(packet_->pts - start_, in->time_base, AV_TIME_BASE_Q);
        if (at >= until) return true;
        packet_->pts -= start_;
        if (packet_->dts != AV_NOPTS_VALUE) packet_->dts -= start_;
        av_packet_rescale_ts(packet_.get(), in->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        packet_->pos = -1;
        pending_ = false;
        const int ret = av_interleaved_write_frame(output_, packet_.get());
        if (ret < 0) {
            *error = "cannot write " + output_name_ + ": " + av_error_text(ret);
            return false;
        }
    }
}
