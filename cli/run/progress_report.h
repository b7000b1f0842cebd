// ffmpeg's -progress: blocks of key=value lines for a program that watches
// the run (a front-end's progress bar), written about twice a second and
// once at the end:
//
//   frame=120
//   fps=59.81
//   out_time_us=4800000
//   out_time_ms=4800000      (microseconds too, as ffmpeg writes it)
//   out_time=00:00:04.800000
//   dup_frames=0
//   drop_frames=0
//   speed=2.39x
//   progress=continue        (progress=end in the last block)
//
// ffmpeg's bitrate, total_size and stream_0_0_q say N/A: the run does not
// know them while it writes.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class ProgressReport {
public:
    // Where the blocks go: pipe:1 (standard output), pipe:2 (standard
    // error), file:PATH or a path, or any other URL FFmpeg can write to
    // (tcp://, ...).  Null with a message when it cannot be opened.
    static std::unique_ptr<ProgressReport> open(const std::string& url, std::string* error);

    // `frames` written, the output's time up to the end of the last one.
    void frame_done(int frames, std::int64_t out_time_us);
    void end(int frames, std::int64_t out_time_us);

    explicit ProgressReport(std::function<bool(const std::string&)> write)
        : write_(std::move(write)), start_(std::chrono::steady_clock::now()), last_(start_) {}

    // One block's text.
    static std::string block(int frames, std::int64_t out_time_us, double seconds, bool last);

private:
    std::function<bool(const std::string&)> write_;
    std::chrono::steady_clock::time_point start_, last_;
    bool failed_ = false;
};
