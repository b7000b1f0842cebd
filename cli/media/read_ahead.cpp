#include "media/read_ahead.h"

#include <algorithm>
#include <exception>
#include <new>
#include <system_error>

namespace {

// What an exception from the wrapped source says; none may leave the thread.
std::string what_failed(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e)) return "out of memory";
    return e.what();
}

}  // namespace

ReadAheadSource::ReadAheadSource(std::unique_ptr<FrameSource> source, int stop)
    : inner_(std::move(source)), slots_(kDepth), stop_at_(stop) {
    const FrameSource& s = *inner_;
    width_ = s.width(), height_ = s.height();
    frame_count_ = s.frame_count();
    rate_num_ = s.rate_num(), rate_den_ = s.rate_den();
    tb_num_ = s.tb_num(), tb_den_ = s.tb_den();
    start_time_ = s.start_time(), end_time_ = s.end_time();
    endless_ = s.endless(), random_access_ = s.random_access();
    format_ = s.format();
    display_matrix = s.display_matrix;
    color_primaries = s.color_primaries, color_trc = s.color_trc, colorspace = s.colorspace;
}

ReadAheadSource::~ReadAheadSource() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard<std::mutex> hold(m_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

bool ReadAheadSource::start() {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void ReadAheadSource::ask(Request& request) const {
    std::unique_lock<std::mutex> hold(m_);
    changed_.wait(hold, [this] { return request_ == nullptr; });  // one request at a time
    request_ = &request;
    changed_.notify_all();
    changed_.wait(hold, [&request] { return request.job == Job::none; });
}

bool ReadAheadSource::seek(int n, std::string* error) {
    // A stream cannot go back: its frames are passed over in order, those
    // already read ahead first.
    if (!random_access_ && !endless_) return FrameSource::seek(n, error);
    Request request;
    request.job = Job::seek, request.n = n, request.error = error;
    ask(request);
    if (request.ok) next_ = n;
    return request.ok;
}

bool ReadAheadSource::read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) {
    Request request;
    request.job = Job::read_at, request.n = n;
    request.pixels = pixels, request.stride = stride, request.error = error;
    ask(request);
    return request.ok;
}

std::vector<std::string> ReadAheadSource::damage(int first, int last, bool* cut_short) const {
    Request request;
    request.job = Job::damage, request.n = first, request.last = last;
    ask(request);
    *cut_short = request.cut_short;
    return std::move(request.texts);
}

ReadAheadSource::Slot* ReadAheadSource::take_head(std::int64_t* pts, std::string* error) {
    std::unique_lock<std::mutex> hold(m_);
    started_ = true;
    wanted_ = true;
    changed_.notify_all();
    changed_.wait(hold, [this] { return filled_ > 0; });
    wanted_ = false;
    // The reader leaves a filled slot alone until it is given back.
    Slot& slot = slots_[static_cast<std::size_t>(head_)];
    *error = slot.error;
    if (!slot.ok) return nullptr;  // stays at the head: the input ends here
    *pts = slot.pts;
    return &slot;
}

void ReadAheadSource::give_back() {
    std::lock_guard<std::mutex> hold(m_);
    head_ = (head_ + 1) % kDepth;
    --filled_;
    ++next_;
    changed_.notify_all();
}

bool ReadAheadSource::read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts,
                                std::string* error) {
    const Slot* slot = take_head(pts, error);
    if (slot == nullptr) return false;
    for (int y = 0; y < height_; ++y)
        std::copy_n(slot->pixels.data() + static_cast<std::size_t>(y) * slot->stride, width_,
                    pixels + static_cast<std::ptrdiff_t>(y) * stride);
    give_back();
    return true;
}

bool ReadAheadSource::read_next_exchanging(std::vector<PIXEL_YC>* buffer, int stride,
                                           std::int64_t* pts, std::string* error) {
    {
        // Slots read from now on take the caller's shape; those read before
        // are copied once.
        std::lock_guard<std::mutex> hold(m_);
        shape_size_ = buffer->size(), shape_stride_ = stride;
    }
    Slot* slot = take_head(pts, error);
    if (slot == nullptr) return false;
    if (slot->stride == stride && slot->pixels.size() == buffer->size())
        slot->pixels.swap(*buffer);
    else
        for (int y = 0; y < height_; ++y)
            std::copy_n(slot->pixels.data() + static_cast<std::size_t>(y) * slot->stride, width_,
                        buffer->data() + static_cast<std::ptrdiff_t>(y) * stride);
    give_back();
    return true;
}

void ReadAheadSource::run() {
    std::unique_lock<std::mutex> hold(m_);
    for (;;) {
        changed_.wait(hold, [this] {
            return quit_ || request_ ||
                   (started_ && !ended_ && filled_ < kDepth &&
                    (read_pos_ < stop_at_ || (wanted_ && filled_ == 0)));
        });
        if (quit_) return;
        if (request_) {
            Request& request = *request_;
            hold.unlock();
            serve(request);
            hold.lock();
            if (request.job == Job::seek && request.ok) {
                head_ = 0, filled_ = 0, ended_ = false;
                read_pos_ = request.n;
            }
            request.job = Job::none;  // served: the caller may read the answer
            request_ = nullptr;
            changed_.notify_all();
            continue;
        }
        Slot& slot = slots_[static_cast<std::size_t>((head_ + filled_) % kDepth)];
        // Once the caller exchanges buffers, slots are read in its shape,
        // so that the slot itself can be handed over.
        const bool shaped = shape_stride_ >= width_ &&
                            shape_size_ >= static_cast<std::size_t>(shape_stride_) * height_;
        slot.stride = shaped ? shape_stride_ : width_;
        const std::size_t size =
            shaped ? shape_size_ : static_cast<std::size_t>(width_) * height_;
        hold.unlock();
        read_into(slot, size);
        hold.lock();
        ++filled_;
        ++read_pos_;
        if (!slot.ok) ended_ = true;
        changed_.notify_all();
    }
}

void ReadAheadSource::read_into(Slot& slot, std::size_t size) {
    slot.error.clear();
    try {
        slot.pixels.resize(size);
        slot.ok = inner_->read_next(slot.pixels.data(), slot.stride, &slot.pts, &slot.error);
    } catch (const std::exception& e) {
        slot.ok = false, slot.error = what_failed(e);
    }
}

void ReadAheadSource::serve(Request& request) {
    try {
        switch (request.job) {
            case Job::seek:
                request.ok = inner_->seek(request.n, request.error);
                break;
            case Job::read_at:
                request.ok =
                    inner_->read_at(request.n, request.pixels, request.stride, request.error);
                break;
            case Job::damage:
                request.texts = inner_->damage(request.n, request.last, &request.cut_short);
                break;
            case Job::none:
                break;
        }
    } catch (const std::exception& e) {
        request.ok = false;
        if (request.error) *request.error = what_failed(e);
    }
}

std::unique_ptr<FrameSource> read_ahead(std::unique_ptr<FrameSource> source, int stop) {
    auto ahead = std::make_unique<ReadAheadSource>(std::move(source), stop);
    if (!ahead->start()) return ahead->release();
    return ahead;
}
