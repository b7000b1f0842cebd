// FFmpeg's libraries as the host program uses them: owners for their
// objects, error texts, and the log kept short.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

struct FormatInputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ScaleFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
// An output file's context: its file is closed with it (if it opened one).
struct FormatOutputCloser {
    void operator()(AVFormatContext* c) const {
        if (c->pb != nullptr && !(c->oformat->flags & AVFMT_NOFILE)) avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
using InputPtr = std::unique_ptr<AVFormatContext, FormatInputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ScalePtr = std::unique_ptr<SwsContext, ScaleFreer>;
using OutputPtr = std::unique_ptr<AVFormatContext, FormatOutputCloser>;

// FFmpeg's text for an error code.
std::string av_error_text(int code);

// Sends the libraries' own messages to standard error, errors only, with
// the program's prefix and at most a few of them per run.
void quiet_libav_log();

// While one exists, the libraries' error messages are kept here instead of
// printed: a demuxer that meets damage often says so only in its log.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;
    // The first error message, without its newline; "" when there was none.
    const std::string& first_error() const { return first_; }

private:
    friend void capture_line(const char* line);
    std::string first_;
};

// "8-bit 4:2:0" and the like, for a pixel format.
std::string describe_pixel_format(AVPixelFormat format);
