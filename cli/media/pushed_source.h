// Frames handed over one at a time by a caller that has them pushed to it
// (a live pipeline's buffers), read by the plug-in host as from a pipe: a
// frame cannot be read again, so copyframe reaches only the frames the host
// keeps.  The samples become editor pixels by the same conversion as every
// other input.
#pragma once

#include <cstdint>
#include <string>

#include "media/frame_source.h"
#include "media/pixel_convert.h"

class PushedSource : public FrameSource {
public:
    // Pictures of w x h; the frame count is unknown (-1) unless given.
    PushedSource(int w, int h, int rate_num, int rate_den, int frame_count = -1);

    // The picture that the next read_next gives, shown at `pts`.  Its planes
    // must stay valid until then.
    void hand(const Planes& planes, std::int64_t pts);

    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override;
    // Nothing is reached out of order.
    bool read_at(int, PIXEL_YC*, int, std::string*) override { return false; }
    bool seek(int n, std::string* error) override;

private:
    Planes planes_;
    std::int64_t pts_ = 0;
    bool handed_ = false;
};
