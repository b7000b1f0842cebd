// Where the host program's frames come from: a blank picture, a generated
// test pattern, or a Y4M file (8-bit 4:2:0, 4:2:2, 4:4:4 or mono).
#pragma once

#include <memory>
#include <string>

#include "platform/aviutl.h"

class FrameSource {
public:
    virtual ~FrameSource() = default;
    int width() const { return width_; }
    int height() const { return height_; }
    // Number of frames, or -1 for a generated source, which has any number.
    int frame_count() const { return frame_count_; }
    int rate_num() const { return rate_num_; }
    int rate_den() const { return rate_den_; }
    // Writes frame n into the top-left of a buffer whose rows are `stride`
    // pixels apart.  False (with a message) when it cannot be read.
    virtual bool read(int n, PIXEL_YC* pixels, int stride, std::string* error) = 0;

protected:
    int width_ = 0, height_ = 0, frame_count_ = -1, rate_num_ = 30, rate_den_ = 1;
};

// Opens SRC as the command line gives it; null with a message on failure.
std::unique_ptr<FrameSource> open_source(const std::string& name, std::string* error);
