#include "media/frame_grid.h"

#include <algorithm>
#include <climits>
#include <cmath>

bool FrameGrid::build(const FrameSource& source, std::string* why) {
    const int pictures = source.frame_count();
    if (pictures <= 0 || source.time_of(0) == FrameSource::kNoTime) {
        *why = "its pictures carry no timestamps to place them by";
        return false;
    }
    if (source.rate_num() <= 0 || source.rate_den() <= 0 || source.tb_num() <= 0 ||
        source.tb_den() <= 0) {
        *why = "it has no frame rate";
        return false;
    }
    t0_ = source.time_of(0);
    step_ = static_cast<long double>(source.tb_den()) * source.rate_den() /
            (static_cast<long double>(source.tb_num()) * source.rate_num());
    slots_.clear();
    slots_.reserve(static_cast<std::size_t>(pictures));
    const auto slot_of = [&](std::int64_t t) {
        return static_cast<std::int64_t>(std::floor((t - t0_) / step_ + 0.5L));
    };
    for (int i = 0; i < pictures; ++i) {
        const std::int64_t t = source.time_of(i);
        if (t == FrameSource::kNoTime) {
            *why = "picture " + std::to_string(i) + " has no timestamp";
            return false;
        }
        slots_.push_back(std::max(slot_of(t), slots_.empty() ? 0 : slots_.back()));
    }
    // The last picture lasts to the end of the stream (an AVI's trailing
    // drop frames), or one step.
    std::int64_t steps = slots_.back() + 1;
    if (source.end_time() != FrameSource::kNoTime)
        steps = std::max(steps, slot_of(source.end_time()));
    if (steps >= INT_MAX) {
        *why = "its timestamps span more than 2^31 frames";
        return false;
    }
    steps_ = static_cast<int>(steps);
    // A picture is shown when the next one falls in a later step.
    int shown = 0;
    for (std::size_t i = 0; i < slots_.size(); ++i)
        if (i + 1 == slots_.size() || slots_[i + 1] > slots_[i]) ++shown;
    drops_ = pictures - shown;
    repeats_ = steps_ - shown;
    return true;
}

int FrameGrid::picture_at(int k) const {
    const auto it = std::upper_bound(slots_.begin(), slots_.end(), static_cast<std::int64_t>(k));
    return it == slots_.begin() ? 0 : static_cast<int>(it - slots_.begin() - 1);
}

std::int64_t FrameGrid::time_at(int k) const {
    return t0_ + static_cast<std::int64_t>(std::llround(k * step_));
}

namespace {

class GridSource : public FrameSource {
public:
    GridSource(std::unique_ptr<FrameSource> inner, FrameGrid grid)
        : inner_(std::move(inner)), grid_(std::move(grid)) {
        const FrameSource& s = *inner_;
        width_ = s.width(), height_ = s.height();
        frame_count_ = grid_.steps();
        rate_num_ = s.rate_num(), rate_den_ = s.rate_den();
        tb_num_ = s.tb_num(), tb_den_ = s.tb_den();
        start_time_ = s.start_time();
        end_time_ = grid_.time_at(grid_.steps());
        random_access_ = s.random_access();
        format_ = s.format();
        display_matrix = s.display_matrix;
        color_primaries = s.color_primaries, color_trc = s.color_trc, colorspace = s.colorspace;
    }

    std::string audio_file() const override { return inner_->audio_file(); }
    std::int64_t time_of(int n) const override {
        return n >= 0 && n < frame_count_ ? grid_.time_at(n) : kNoTime;
    }

    bool seek(int n, std::string* error) override {
        if (n >= frame_count_) {
            *error = "the input has " + std::to_string(frame_count_) +
                     " frames; cannot start at frame " + std::to_string(n);
            return false;
        }
        const int picture = grid_.picture_at(n);
        if (!inner_->seek(picture, error)) return false;
        inner_next_ = picture;
        held_ = -1;
        next_ = n;
        return true;
    }

    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        error->clear();
        if (next_ >= frame_count_) return false;
        const int picture = grid_.picture_at(next_);
        // Pictures before the one shown here were dropped: read and passed over.
        if (held_ != picture) {
            picture_.resize(static_cast<std::size_t>(width_) * height_);
            std::int64_t ignored = 0;
            while (inner_next_ <= picture) {
                if (!inner_->read_next(picture_.data(), width_, &ignored, error)) return false;
                ++inner_next_;
            }
            held_ = picture;
        }
        for (int y = 0; y < height_; ++y)
            std::copy_n(picture_.data() + static_cast<std::size_t>(y) * width_, width_,
                        pixels + static_cast<std::size_t>(y) * stride);
        *pts = grid_.time_at(next_++);
        return true;
    }

    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        if (n < 0 || n >= frame_count_) return false;
        return inner_->read_at(grid_.picture_at(n), pixels, stride, error);
    }

    std::vector<std::string> damage(int first, int last, bool* cut_short) const override {
        return inner_->damage(grid_.picture_at(first), grid_.picture_at(last), cut_short);
    }

private:
    std::unique_ptr<FrameSource> inner_;
    FrameGrid grid_;
    std::vector<PIXEL_YC> picture_;  // the picture last read, width_ x height_
    int held_ = -1;                  // which picture that is
    int inner_next_ = 0;             // the picture the inner source gives next
};

}  // namespace

std::unique_ptr<FrameSource> on_frame_grid(std::unique_ptr<FrameSource> source, std::string* note) {
    note->clear();
    // A generated picture has every step; a Y4M stream has one fixed rate.
    if (source->endless() || (source->frame_count() < 0 && source->time_of(0) == 0)) return source;
    FrameGrid grid;
    std::string why;
    if (!grid.build(*source, &why)) {
        *note = "--timeline cfr: " + why + "; one frame per picture";
        return source;
    }
    if (grid.steady() && grid.steps() == source->frame_count()) return source;
    return std::make_unique<GridSource>(std::move(source), std::move(grid));
}
