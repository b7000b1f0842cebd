// The chunks `quorvel join` puts together: what each file holds, and
// whether they line up into one video.
#pragma once

#include <string>
#include <vector>

#include "media/chunk_tags.h"
#include "media/libav.h"

struct Segment {
    std::string path;
    ChunkTags tags;
    // The video stream: segments join without re-encoding only when all of
    // them are coded alike.
    std::string codec;    // "ffv1", "h264", ...
    std::string pix_fmt;  // "yuv420p", ...
    int w = 0, h = 0;
    int rate_num = 0, rate_den = 1;
    std::string extradata;  // the decoder's set-up bytes, "" when none
    // How the video stream is written, for the output's stream.
    int tb_num = 1, tb_den = 1;
};

// Opens a segment for its video alone: *index is its video stream, the
// others are discarded.  False with a message naming the file.
bool open_segment_video(const std::string& path, InputPtr* input, int* index, std::string* error);

// Reads a segment's header: its video stream and its chunk tags.  False
// with a message naming the file.
bool probe_segment(const std::string& path, Segment* segment, std::string* error);

// Checks that the segments follow one another: one input, the same coding
// and size, and each starting at the frame after the last one of the one
// before (no gap, no overlap).  "" when they do, else a message that names
// the first segment that does not fit.
std::string check_line_up(const std::vector<Segment>& segments);

// "frames 120 to 179" and the like.
std::string frame_range_text(int first, int last);
