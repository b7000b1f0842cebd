#include "frame_numbers.h"

#include <gst/gst.h>

namespace {

// Frames in `ns` at num/den frames a second, rounded to nearest.
std::int64_t frames_in(std::int64_t ns, int num, int den) {
    return static_cast<std::int64_t>(
        gst_util_uint64_scale_round(static_cast<guint64>(ns), static_cast<guint64>(num),
                                    static_cast<guint64>(den) * GST_SECOND));
}

}  // namespace

void FrameNumbers::decide(bool live, int rate_num, int rate_den, std::int64_t duration_ns) {
    decided_ = true;
    count_ = 0;
    rate_num_ = rate_num, rate_den_ = rate_den;
    counted_ = live || rate_num <= 0 || rate_den <= 0;
    length_ = kUnknownLength;
    if (!live && duration_ns >= 0 && rate_num > 0 && rate_den > 0) {
        const std::int64_t frames = frames_in(duration_ns, rate_num, rate_den);
        if (frames > 0 && frames < kUnknownLength) length_ = static_cast<int>(frames);
    }
}

int FrameNumbers::next(std::int64_t stream_time_ns) {
    std::int64_t n = count_;
    if (!counted_ && stream_time_ns >= 0) n = frames_in(stream_time_ns, rate_num_, rate_den_);
    count_ = n + 1;
    return n < kUnknownLength ? static_cast<int>(n) : kUnknownLength - 1;
}
