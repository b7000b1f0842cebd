#include "media/libav_decoder.h"

bool VideoDecoder::open(const std::string& path, int threads, std::string* error) {
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
    const AVCodec* decoder = nullptr;
    stream_ = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream_ < 0 || decoder == nullptr) {
        *error = path + (stream_ == AVERROR_DECODER_NOT_FOUND ? ": no decoder for its video"
                                                              : ": has no video");
        return false;
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (static_cast<int>(i) != stream_) raw->streams[i]->discard = AVDISCARD_ALL;
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream()->codecpar) < 0) {
        *error = path + ": cannot set up the " + std::string(decoder->name) + " decoder";
        return false;
    }
    codec_->thread_count = threads;  // 0: as many as the machine has
    codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if ((ret = avcodec_open2(codec_.get(), decoder, nullptr)) < 0) {
        *error = path + ": cannot open the " + std::string(decoder->name) +
                 " decoder: " + av_error_text(ret);
        return false;
    }
    packet_.reset(av_packet_alloc());
    return packet_ != nullptr;
}

bool VideoDecoder::next(AVFrame* out, std::string* error) {
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
        // An empty packet is a picture the file left out (an AVI's drop
        // frame), and to the decoder it would mean the end of the stream.
        const bool wanted = packet_->stream_index == stream_ && packet_->size > 0 &&
                            (left_out_dts_ == AV_NOPTS_VALUE || packet_->dts != left_out_dts_);
        if (wanted) {
            // A packet the decoder refuses gives no picture; the source
            // stands the next one in for it, and the refusal is damage.
            ret = avcodec_send_packet(codec_.get(), packet_.get());
            if (ret < 0 && ret != AVERROR(EAGAIN) && ret != AVERROR_EOF) {
                if (refusal_.empty()) refusal_ = av_error_text(ret);
                refused_.push_back(packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts);
            }
        }
        av_packet_unref(packet_.get());
    }
}

bool VideoDecoder::seek(std::int64_t pts) {
    draining_ = false;
    const int ret = av_seek_frame(format_.get(), stream_, pts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_.get());
    return ret >= 0;
}

std::int64_t timestamp_of(const AVFrame* f) {
    return f->best_effort_timestamp != AV_NOPTS_VALUE ? f->best_effort_timestamp : f->pts;
}

bool decoded_with_errors(const AVFrame* f) {
    return f->decode_error_flags != 0 || (f->flags & AV_FRAME_FLAG_CORRUPT) != 0;
}
