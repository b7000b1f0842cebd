// An input file's audio, copied packet by packet into an output file and
// cut to a span of the input's time, whose start becomes the output's 0.
// A container that takes negative timestamps (an edit list trims them)
// keeps the packet that covers the start; in others the audio begins with
// the first packet after it, less than one packet late, still in step.
#pragma once

#include <cstdint>
#include <string>

#include "media/libav.h"

class AudioCopy {
public:
    // Adds the file's audio stream to `output`, before its header is
    // written; `start_pts` (in units of `tb` seconds) is the input's time
    // that becomes the output's 0.  A file without audio, or with audio the
    // container cannot hold (which it says on standard error), adds
    // nothing; false only when the output cannot go on (out of memory).
    bool open(const std::string& file, AVFormatContext* output, const std::string& output_name,
              std::int64_t start_pts, AVRational tb, std::string* error);
    bool active() const { return index_ >= 0; }
    // Writes the packets that start before `until` (microseconds of the
    // output), interleaved with what else the output has.
    bool copy_until(std::int64_t until, std::string* error);

private:
    InputPtr input_;
    AVFormatContext* output_ = nullptr;
    std::string output_name_;
    int index_ = -1;
    AVStream* stream_ = nullptr;
    PacketPtr packet_;
    bool before_start(const AVPacket& packet) const;

    std::int64_t start_ = 0;  // in the input stream's units
    bool keep_covering_ = false;
    bool pending_ = false, done_ = false;
};
