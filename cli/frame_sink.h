// Where processed frames go: a 4:4:4 Y4M file or standard output, or PNG
// images (one per frame for a name with a %-format, else the last frame).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/aviutl.h"

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // Writes one frame: the top-left w x h of a buffer with rows `stride`
    // pixels apart.  False (with a message) on a write error.
    virtual bool write(int n, const PIXEL_YC* pixels, int stride, int w, int h, std::string* error) = 0;
    // Completes the output; false on a write error.
    virtual bool finish(std::string* error) = 0;
};

// Opens DST; null with a message on failure.  For "-" the frames go to
// `stream`, which the sink then owns.
std::unique_ptr<FrameSink> open_sink(const std::string& name, std::FILE* stream, int rate_num,
                                     int rate_den, std::string* error);

// Encodes 8-bit RGB rows (w * 3 bytes each) as PNG and writes it to `path`.
bool write_png(const std::string& path, const unsigned char* rgb, int w, int h, std::string* error);
