#include "run/background_writer.h"

#include <algorithm>
#include <new>

BackgroundWriter::BackgroundWriter(FrameSink* sink) : sink_(sink), thread_([this] { run(); }) {}

BackgroundWriter::~BackgroundWriter() {
    {
        std::unique_lock<std::mutex> hold(m_);
        changed_.wait(hold, [this] { return !pending_; });
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool BackgroundWriter::drain(std::string* error) {
    std::unique_lock<std::mutex> hold(m_);
    changed_.wait(hold, [this] { return !pending_; });
    if (failed_) *error = error_;
    return !failed_;
}

bool BackgroundWriter::write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
                             std::int64_t duration, std::string* error) {
    if (!drain(error)) return false;
    // The writer thread is idle until pending_ is set, so the copy may be
    // filled without the lock.
    try {
        copy_.resize(static_cast<std::size_t>(std::max(w, 0)) * std::max(h, 0));
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
        return false;
    }
    for (int y = 0; y < h; ++y)
        std::copy_n(pixels + static_cast<std::ptrdiff_t>(y) * stride, w,
                    copy_.data() + static_cast<std::ptrdiff_t>(y) * w);
    hand_over(copy_.data(), w, w, h, pts, duration);
    return true;
}

bool BackgroundWriter::write_in_place(const PIXEL_YC* pixels, int stride, int w, int h,
                                      std::int64_t pts, std::int64_t duration,
                                      std::string* error) {
    if (!drain(error)) return false;
    hand_over(pixels, stride, w, h, pts, duration);
    return true;
}

void BackgroundWriter::hand_over(const PIXEL_YC* pixels, int stride, int w, int h,
                                 std::int64_t pts, std::int64_t duration) {
    {
        std::lock_guard<std::mutex> hold(m_);
        pixels_ = pixels, stride_ = stride, w_ = w, h_ = h, pts_ = pts, duration_ = duration;
        pending_ = true;
    }
    changed_.notify_all();
}

void BackgroundWriter::run() {
    std::unique_lock<std::mutex> hold(m_);
    for (;;) {
        changed_.wait(hold, [this] { return pending_ || stop_; });
        if (!pending_) return;
        hold.unlock();
        std::string error;
        bool ok;
        try {
            ok = sink_->write(pixels_, stride_, w_, h_, pts_, duration_, &error);
        } catch (const std::bad_alloc&) {
            ok = false, error = "out of memory";
        }
        hold.lock();
        if (!ok) failed_ = true, error_ = error;
        pending_ = false;
        changed_.notify_all();
    }
}
