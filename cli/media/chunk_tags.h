// What a chunk of a longer run says about itself: the input it came from,
// the input's frames it holds and the input's time where it starts and
// ends.  `quorvel run` writes this as tags of its output file, and
// `quorvel join` reads it back to check that chunks line up and to cut the
// input's audio to the span they cover.
#pragma once

#include <cstdint>
#include <string>

struct AVDictionary;

struct ChunkTags {
    std::string source;          // the input, as an absolute path
    int first = -1, last = -1;   // the input's frame numbers, both included
    std::int64_t start_pts = 0;  // the input's time that is the chunk's 0
    std::int64_t end_pts = 0;    // where the last frame ends, in the input's time
    int tb_num = 1, tb_den = 1;  // the units of start_pts and end_pts, in seconds
};

// Adds the tags to a file's metadata.
void write_chunk_tags(const ChunkTags& tags, AVDictionary** metadata);

// Reads them back: false when any is missing or malformed (a file that no
// chunked run wrote).
bool read_chunk_tags(const AVDictionary* metadata, ChunkTags* tags);
