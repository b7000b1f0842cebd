// info.frame and info.frame_n for the buffers of a stream.  A live source
// (or one without a frame rate or timestamps) counts its frames from the
// start of the stream; any other source gives each buffer the position of
// its stream time on the nominal frame grid, so that a file seeked to 10 s
// at 30 fps goes on at frame 300.  A flush or a new segment starts again.
#pragma once

#include <cstdint>

// info.frame_n while the stream's length is unknown (a live stream): the
// largest frame number a script can be given.
constexpr int kUnknownLength = 2147483647;

class FrameNumbers {
public:
    // The next buffer starts a stream (or follows a flush or a seek).
    void restart() { decided_ = false; }
    bool decided() const { return decided_; }
    // How this stream is numbered: counted when `live` or when there is no
    // frame rate; `duration_ns` (-1 when unknown) gives the length.
    void decide(bool live, int rate_num, int rate_den, std::int64_t duration_ns);
    // The number of the next buffer, whose stream time is `stream_time_ns`
    // (-1 when it has none).
    int next(std::int64_t stream_time_ns);
    // The stream's length in frames, or kUnknownLength.
    int length() const { return length_; }

private:
    bool decided_ = false, counted_ = true;
    int rate_num_ = 0, rate_den_ = 1;
    std::int64_t count_ = 0;
    int length_ = kUnknownLength;
};
