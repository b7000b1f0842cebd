// Writes the filtered frames on a thread of its own, so that converting and
// encoding frame n overlaps the script's work on frame n + 1.  One frame is
// in flight at a time: write() waits for the frame before it, then copies
// the picture (the editor's buffers change with the next frame) and hands it
// over; write_in_place() hands over the caller's picture itself, for a
// caller whose picture stays as it is until its next write() or drain().
// A failed write is reported by the next write or by drain().
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/frame_sink.h"

class BackgroundWriter {
public:
    explicit BackgroundWriter(FrameSink* sink);
    ~BackgroundWriter();  // drains
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // As FrameSink::write, except that false may be the previous frame's
    // failure (with its message); the frame given then is not written.
    bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
               std::int64_t duration, std::string* error);
    bool write_in_place(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
                        std::int64_t duration, std::string* error);
    // Waits for the frame in flight; false with its message if it failed.
    bool drain(std::string* error);

private:
    void run();
    void hand_over(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
                   std::int64_t duration);

    FrameSink* sink_;
    std::vector<PIXEL_YC> copy_;        // write()'s copy of the picture
    const PIXEL_YC* pixels_ = nullptr;  // the picture in flight: copy_ or the caller's
    int stride_ = 0, w_ = 0, h_ = 0;
    std::int64_t pts_ = 0, duration_ = 0;
    bool pending_ = false;  // a frame handed over and not yet written
    bool stop_ = false;
    bool failed_ = false;
    std::string error_;
    std::mutex m_;
    std::condition_variable changed_;
    std::thread thread_;
};
