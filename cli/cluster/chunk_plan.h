// How `quorvel cluster` cuts a run's frames into chunks.
#pragma once

#include <string>
#include <vector>

struct Chunk {
    int first = 0, last = 0;  // the input's frame numbers, both included
};

// Frames first..last (included) in `chunks` chunks of nearly equal length
// (the longer ones first), or, when `chunks` is 0, in chunks of
// `chunk_frames` frames (the last one shorter).  Never more chunks than
// frames.  Empty with a message in *error when neither count is usable.
std::vector<Chunk> plan_chunks(int first, int last, int chunks, int chunk_frames,
                               std::string* error);
