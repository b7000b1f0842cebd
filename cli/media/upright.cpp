#include "media/upright.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

int upright_turn(const std::string& display_matrix) {
    if (display_matrix.size() != 36) return 0;
    std::int32_t m[9];
    std::memcpy(m, display_matrix.data(), sizeof m);
    // a, b, c, d in 16.16 fixed point: the matrix maps stored to shown.
    const double a = m[0] / 65536.0, b = m[1] / 65536.0, c = m[3] / 65536.0, d = m[4] / 65536.0;
    if (std::hypot(a, c) == 0 || std::hypot(b, d) == 0) return 0;
    if (a * d - b * c < 0) return -1;  // mirrored
    // The matrix's own angle is counterclockwise; the turn that undoes it
    // is clockwise by the same amount.
    const double degrees_per_radian = 180 / 3.14159265358979323846;
    const double angle =
        std::atan2(b / std::hypot(b, d), a / std::hypot(a, c)) * degrees_per_radian;
    const long turn = std::lround(angle);
    if (std::fabs(angle - static_cast<double>(turn)) > 0.5 || turn % 90 != 0) return -1;
    return static_cast<int>(((turn % 360) + 360) % 360);
}

namespace {

class UprightSource : public FrameSource {
public:
    UprightSource(std::unique_ptr<FrameSource> inner, int turn)
        : inner_(std::move(inner)), turn_(turn) {
        const FrameSource& s = *inner_;
        const bool sideways = turn_ == 90 || turn_ == 270;
        width_ = sideways ? s.height() : s.width();
        height_ = sideways ? s.width() : s.height();
        frame_count_ = s.frame_count();
        rate_num_ = s.rate_num(), rate_den_ = s.rate_den();
        tb_num_ = s.tb_num(), tb_den_ = s.tb_den();
        start_time_ = s.start_time(), end_time_ = s.end_time();
        endless_ = s.endless(), random_access_ = s.random_access();
        format_ = s.format();
        color_primaries = s.color_primaries, color_trc = s.color_trc, colorspace = s.colorspace;
        // display_matrix stays empty: the frames are upright now.
    }

    std::string audio_file() const override { return inner_->audio_file(); }
    std::int64_t time_of(int n) const override { return inner_->time_of(n); }
    bool seek(int n, std::string* error) override { return inner_->seek(n, error); }
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        stored_.resize(static_cast<std::size_t>(width_) * height_);
        const int w = inner_->width();
        if (!inner_->read_next(stored_.data(), w, pts, error)) return false;
        turn(pixels, stride);
        return true;
    }
    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        stored_.resize(static_cast<std::size_t>(width_) * height_);
        if (!inner_->read_at(n, stored_.data(), inner_->width(), error)) return false;
        turn(pixels, stride);
        return true;
    }
    std::vector<std::string> damage(int first, int last, bool* cut_short) const override {
        return inner_->damage(first, last, cut_short);
    }

private:
    // The stored picture (w x h, rows of w) turned clockwise into the
    // destination.
    void turn(PIXEL_YC* out, int stride) const {
        const int w = inner_->width(), h = inner_->height();
        const PIXEL_YC* in = stored_.data();
        const auto at = [&](int x, int y) { return in[static_cast<std::size_t>(y) * w + x]; };
        for (int y = 0; y < height_; ++y) {
            PIXEL_YC* row = out + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width_; ++x) {
                switch (turn_) {
                    case 90:
                        row[x] = at(y, h - 1 - x);
                        break;
                    case 180:
                        row[x] = at(w - 1 - x, h - 1 - y);
                        break;
                    default:
                        row[x] = at(w - 1 - y, x);
                        break;  // 270
                }
            }
        }
    }

    std::unique_ptr<FrameSource> inner_;
    int turn_;
    std::vector<PIXEL_YC> stored_;  // the picture as the file stores it
};

}  // namespace

std::unique_ptr<FrameSource> upright(std::unique_ptr<FrameSource> source, std::string* note) {
    note->clear();
    const int turn = upright_turn(source->display_matrix);
    if (turn < 0) {
        *note =
            "its display matrix mirrors the picture or turns it by an odd angle: the picture "
            "is kept as stored, with the matrix";
        return source;
    }
    if (turn == 0) {
        source->display_matrix.clear();  // the identity: nothing to say
        return source;
    }
    return std::make_unique<UprightSource>(std::move(source), turn);
}
