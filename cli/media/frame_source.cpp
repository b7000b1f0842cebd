#include "media/frame_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "color/convert.h"
#include "host/host_os.h"

std::int64_t FrameSource::time_of(int) const { return kNoTime; }

std::vector<std::string> FrameSource::damage(int, int, bool* cut_short) const {
    *cut_short = false;
    return {};
}

bool FrameSource::seek(int n, std::string* error) {
    // Without an index the frames before n are read and dropped.
    std::vector<PIXEL_YC> scratch(static_cast<std::size_t>(width_) * height_);
    std::int64_t pts = 0;
    while (next_ < n) {
        if (!read_next(scratch.data(), width_, &pts, error)) {
            if (error->empty())
                *error = "the input has only " + std::to_string(next_) +
                         " frames; cannot start at frame " + std::to_string(n);
            return false;
        }
    }
    return true;
}

namespace {

bool parse_size(const std::string& text, int* w, int* h) {
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", w, h, &consumed) != 2) return false;
    return consumed == static_cast<int>(text.size()) && *w >= 1 && *h >= 1 && *w <= 16384 &&
           *h <= 16384;
}

// A picture made from its frame number alone.
class GeneratedSource : public FrameSource {
public:
    GeneratedSource(int w, int h) {
        width_ = w, height_ = h;
        endless_ = true;
        format_ = "generated";
    }
    bool seek(int n, std::string*) override {
        next_ = n;
        return true;
    }
    std::int64_t time_of(int n) const override { return n; }
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        *pts = next_;
        return read_at(next_++, pixels, stride, error);
    }
};

class BlankSource : public GeneratedSource {
public:
    using GeneratedSource::GeneratedSource;
    bool read_at(int, PIXEL_YC* pixels, int stride, std::string*) override {
        for (int y = 0; y < height_; ++y)
            std::memset(pixels + static_cast<std::size_t>(y) * stride, 0,
                        sizeof(PIXEL_YC) * width_);
        return true;
    }
};

// Colour bars over the top half, a grey ramp below them, and a disc that
// moves a little with every frame, so that scripts see motion.  The bars
// and the ramp are made once and copied into every frame; only the disc's
// bounding box is worked out per frame.
class PatternSource : public GeneratedSource {
public:
    using GeneratedSource::GeneratedSource;
    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string*) override {
        if (background_.empty()) make_background();
        const std::size_t w = static_cast<std::size_t>(width_);
        for (int y = 0; y < height_; ++y)
            std::memcpy(pixels + static_cast<std::size_t>(y) * stride, background_.data() + y * w,
                        sizeof(PIXEL_YC) * w);
        const double radius = std::max(2, std::min(width_, height_) / 6);
        const double cx = std::fmod(width_ / 4.0 + n * 4.0, static_cast<double>(width_));
        const double cy = height_ * 0.6;
        const Triple yc = rgb_to_yc(4096, 2048, 512);
        const PIXEL_YC disc{to_component(yc.a), to_component(yc.b), to_component(yc.c)};
        // Every pixel the disc test can pass lies within radius of the
        // centre; the test itself is the one each pixel always had.
        const int y0 = std::max(0, static_cast<int>(std::floor(cy - radius)));
        const int y1 = std::min(height_ - 1, static_cast<int>(std::ceil(cy + radius)));
        const int x0 = std::max(0, static_cast<int>(std::floor(cx - radius)));
        const int x1 = std::min(width_ - 1, static_cast<int>(std::ceil(cx + radius)));
        for (int y = y0; y <= y1; ++y) {
            PIXEL_YC* row = pixels + static_cast<std::size_t>(y) * stride;
            for (int x = x0; x <= x1; ++x) {
                const double dx = x - cx, dy = y - cy;
                if (dx * dx + dy * dy <= radius * radius) row[x] = disc;
            }
        }
        return true;
    }

private:
    void make_background() {
        static const int bars[8][3] = {{4096, 4096, 4096}, {4096, 4096, 0}, {0, 4096, 4096},
                                       {0, 4096, 0},       {4096, 0, 4096}, {4096, 0, 0},
                                       {0, 0, 4096},       {0, 0, 0}};
        background_.resize(static_cast<std::size_t>(width_) * height_);
        const int bar_h = height_ / 2;
        for (int y = 0; y < height_; ++y) {
            PIXEL_YC* row = background_.data() + static_cast<std::size_t>(y) * width_;
            for (int x = 0; x < width_; ++x) {
                double r, g, b;
                if (y < bar_h) {
                    const int* c = bars[(x * 8) / width_];
                    r = c[0], g = c[1], b = c[2];
                } else {
                    r = g = b = (width_ > 1 ? (4096.0 * x) / (width_ - 1) : 0);
                }
                const Triple yc = rgb_to_yc(r, g, b);
                row[x] = {to_component(yc.a), to_component(yc.b), to_component(yc.c)};
            }
        }
    }

    std::vector<PIXEL_YC> background_;
};

bool ends_with(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// Standard input, a FIFO or a character device: a stream that is read once.
bool is_stream(const std::string& name) {
    if (name == "-") return true;
    return host_os::is_stream_file(name);
}

}  // namespace

std::unique_ptr<FrameSource> open_source(const std::string& name, std::string* error, bool* usage,
                                         int codec_threads) {
    *usage = false;
    int w = 0, h = 0;
    if (name.rfind("blank:", 0) == 0 || name.rfind("pattern:", 0) == 0) {
        const bool blank = name[0] == 'b';
        if (!parse_size(name.substr(blank ? 6 : 8), &w, &h)) {
            *error = "bad size in \"" + name + "\" (use WxH, for example 640x360)";
            *usage = true;
            return nullptr;
        }
        if (blank) return std::make_unique<BlankSource>(w, h);
        return std::make_unique<PatternSource>(w, h);
    }
    if (is_stream(name) || ends_with(name, ".y4m")) return open_y4m_source(name, error);
    return open_libav_source(name, error, codec_threads);
}
