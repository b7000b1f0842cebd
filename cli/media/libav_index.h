// The index of a file's video stream: every picture's presentation time and
// the key frames, read once from the packets without decoding, and what the
// container said about damage while it was read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "media/libav.h"

struct VideoIndex {
    struct Key {
        std::int64_t pts;  // a key frame is sought by its presentation time
    };
    std::vector<std::int64_t> pts;  // the pictures, in presentation order
    std::vector<Key> keys;          // by presentation time
    bool have_times = true;         // every picture has a timestamp
    // Where the last picture ends (stream time base), or AV_NOPTS_VALUE.
    std::int64_t end = AV_NOPTS_VALUE;
    // Pictures whose packets the container marks corrupt, by time.
    std::vector<std::int64_t> corrupt;
    // The decode time of a last picture the file ends inside of: it is no
    // frame, and the decoder leaves it out.  AV_NOPTS_VALUE when none.
    std::int64_t cut_dts = AV_NOPTS_VALUE;
    // What is missing at the end of the file, as the container said it
    // (bytes of the last picture, a read error, the demuxer's complaint);
    // "" when the file ends cleanly.
    std::string end_damage;

    // Frame n is found by its timestamp: they must be there and differ.
    bool by_time() const;
    // The frame shown at timestamp t: the last one at or before it (0 for a
    // time before the first).
    int frame_at(std::int64_t t) const;
};

// Reads the packets of stream `stream` of the file.  A packet left out of
// the presentation (cut by an edit list) or empty (an AVI's drop frame) is
// no picture.  False with a message when the file has no picture.
bool index_video(const std::string& path, int stream, const LogCapture& complaints,
                 VideoIndex* index, std::string* error);
