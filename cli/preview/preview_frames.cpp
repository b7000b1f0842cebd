#include "preview/preview_frames.h"

#include <algorithm>

namespace {

constexpr std::size_t kFewestKept = 4;  // kept whatever the budget says
constexpr int kMostAhead = 8;           // frames decoded ahead while playing

void copy_rows(const Picture& picture, PIXEL_YC* pixels, int stride) {
    for (int y = 0; y < picture.h; ++y)
        std::copy_n(picture.pixels.data() + static_cast<std::size_t>(y) * picture.w, picture.w,
                    pixels + static_cast<std::size_t>(y) * stride);
}

}  // namespace

PreviewFrames::PreviewFrames(FrameSource& source, std::size_t budget_bytes) : source_(source) {
    width_ = source.width(), height_ = source.height();
    frame_count_ = source.frame_count();
    rate_num_ = source.rate_num(), rate_den_ = source.rate_den();
    tb_num_ = source.tb_num(), tb_den_ = source.tb_den();
    endless_ = source.endless();
    random_access_ = source.random_access();
    format_ = source.format();
    display_matrix = source.display_matrix;
    color_primaries = source.color_primaries, color_trc = source.color_trc;
    colorspace = source.colorspace;
    const std::size_t frame_bytes =
        std::max<std::size_t>(static_cast<std::size_t>(width_) * height_ * sizeof(PIXEL_YC), 1);
    capacity_ = std::max(kFewestKept, budget_bytes / frame_bytes);
    // Half the kept frames at most, so that reading ahead never pushes out
    // the frame being shown or the ones the script looks back at.
    ahead_ = static_cast<int>(std::min<std::size_t>(kMostAhead, capacity_ / 2));
    ahead_thread_ = std::thread([this] { ahead_loop(); });
}

PreviewFrames::~PreviewFrames() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_ahead_.notify_all();
    ahead_thread_.join();
}

std::shared_ptr<const Picture> PreviewFrames::find(int n) const {
    for (const auto& picture : kept_)
        if (picture->number == n) return picture;
    return nullptr;
}

bool PreviewFrames::is_kept(int n) const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return find(n) != nullptr;
}

void PreviewFrames::keep(const std::shared_ptr<const Picture>& picture) {
    kept_.remove_if([&](const auto& p) { return p->number == picture->number; });
    kept_.push_front(picture);
    while (kept_.size() > capacity_) kept_.pop_back();
}

std::shared_ptr<const Picture> PreviewFrames::picture(int n, std::string* error) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = find(n)) {
            keep(found);  // now the most recently used
            return found;
        }
    }
    return decode(n, error);
}

std::shared_ptr<const Picture> PreviewFrames::decode(int n, std::string* error) {
    const std::lock_guard<std::mutex> decoding(source_mutex_);
    {
        // Read ahead may have decoded it while this waited for the decoder.
        const std::lock_guard<std::mutex> lock(mutex_);
        if (auto found = find(n)) {
            keep(found);
            return found;
        }
    }
    error->clear();
    if (n < 0 || (frame_count_ >= 0 && n >= frame_count_)) {
        *error = "frame " + std::to_string(n) + " is outside the input";
        return nullptr;
    }
    // The source seeks (or decodes on to n when that is sooner) unless n is
    // the frame it gives next anyway.
    if (source_next_ != n && !source_.seek(n, error)) {
        source_next_ = -1;
        return nullptr;
    }
    std::vector<PIXEL_YC> pixels(static_cast<std::size_t>(width_) * height_);
    std::int64_t pts = 0;
    if (!source_.read_next(pixels.data(), width_, &pts, error)) {
        source_next_ = -1;
        if (error->empty()) *error = "the input ends before frame " + std::to_string(n);
        return nullptr;
    }
    source_next_ = n + 1;
    auto picture = std::make_shared<Picture>(width_, height_, std::move(pixels));
    picture->number = n;
    picture->pts = pts;
    picture->serial = ++serial_;
    const std::lock_guard<std::mutex> lock(mutex_);
    keep(picture);
    return picture;
}

void PreviewFrames::read_ahead_from(int n) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (ahead_from_ == n) return;
        ahead_from_ = n;
    }
    wake_ahead_.notify_all();
}

void PreviewFrames::ahead_loop() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        // The first frame of the window ahead that is not kept yet.
        int wanted = -1;
        for (int k = 0; ahead_from_ >= 0 && k < ahead_; ++k) {
            const int n = ahead_from_ + k;
            if (frame_count_ >= 0 && n >= frame_count_) break;
            if (find(n) == nullptr) {
                wanted = n;
                break;
            }
        }
        if (wanted < 0) {
            wake_ahead_.wait(lock);
            continue;
        }
        const int from = ahead_from_;
        lock.unlock();
        std::string error;
        const bool ok = decode(wanted, &error) != nullptr;
        lock.lock();
        // A frame that cannot be read stops reading ahead until playing
        // moves on: it would only be tried again and again.
        if (!ok && ahead_from_ == from) ahead_from_ = -1;
    }
}

bool PreviewFrames::seek(int n, std::string* error) {
    if (n < 0 || (frame_count_ >= 0 && n >= frame_count_)) {
        *error = "frame " + std::to_string(n) + " is outside the input";
        return false;
    }
    next_ = n;
    return true;
}

bool PreviewFrames::read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts,
                              std::string* error) {
    const std::shared_ptr<const Picture> found = picture(next_, error);
    if (found == nullptr) return false;
    ++next_;
    copy_rows(*found, pixels, stride);
    *pts = found->pts;
    return true;
}

bool PreviewFrames::read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) {
    const std::shared_ptr<const Picture> found = picture(n, error);
    if (found == nullptr) return false;
    copy_rows(*found, pixels, stride);
    return true;
}
