#include "media/pushed_source.h"

PushedSource::PushedSource(int w, int h, int rate_num, int rate_den, int frame_count) {
    width_ = w, height_ = h;
    rate_num_ = rate_num, rate_den_ = rate_den;
    frame_count_ = frame_count;
    random_access_ = false;
    format_ = "frames handed over as they come";
}

void PushedSource::hand(const Planes& planes, std::int64_t pts) {
    planes_ = planes;
    pts_ = pts;
    handed_ = true;
}

bool PushedSource::read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) {
    if (!handed_) {
        error->clear();  // nothing handed over: the end, as of a pipe
        return false;
    }
    handed_ = false;
    planes_to_yc(planes_, width_, height_, pixels, stride);
    *pts = pts_;
    ++next_;
    return true;
}

bool PushedSource::seek(int n, std::string* error) {
    // The frames come as they come: there is nothing to skip to.
    if (n == next_) return true;
    *error = "frames handed over as they come cannot be skipped to frame " + std::to_string(n);
    return false;
}
