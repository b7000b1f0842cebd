// One demuxer and decoder of a file's video stream, giving its pictures in
// presentation order.  The source keeps two: one for the main loop, one for
// the frames a script reaches for out of order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/libav.h"

class VideoDecoder {
public:
    bool open(const std::string& path, int threads, std::string* error);

    AVFormatContext* format() const { return format_.get(); }
    AVStream* stream() const { return format_->streams[stream_]; }
    AVCodecContext* codec() const { return codec_.get(); }
    int stream_index() const { return stream_; }

    // A packet with this decode timestamp is not decoded: the picture the
    // file ends inside of, which is no frame.
    void leave_out(std::int64_t dts) { left_out_dts_ = dts; }

    // The next picture in presentation order into `out`.  False at the end
    // (error empty) or on a failure.
    bool next(AVFrame* out, std::string* error);
    // Moves to the key frame at or before presentation time `pts` (stream
    // time base).  A key frame is sought by its presentation time: the mp4
    // reader compares with those, and the key frame's decoding time, which
    // B-frames put earlier, lands on the key frame before it.
    bool seek(std::int64_t pts);

    // What the demuxer said when it could not read on ("" at a clean end).
    const std::string& read_error() const { return read_error_; }
    // Timestamps of the packets the decoder refused (it gave no picture for
    // them), with the first refusal's text.
    const std::vector<std::int64_t>& refused() const { return refused_; }
    const std::string& refusal() const { return refusal_; }

private:
    InputPtr format_;
    CodecPtr codec_;
    PacketPtr packet_;
    int stream_ = -1;
    bool draining_ = false;
    std::int64_t left_out_dts_ = AV_NOPTS_VALUE;
    std::string read_error_, refusal_;
    std::vector<std::int64_t> refused_;
};

// A picture's presentation time, as well as the decoder knows it.
std::int64_t timestamp_of(const AVFrame* f);

// Whether the decoder gave this picture with damage concealed (or from a
// packet the container marked corrupt).
bool decoded_with_errors(const AVFrame* f);
