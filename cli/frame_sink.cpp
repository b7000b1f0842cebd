#include "frame_sink.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "color/convert.h"
#include "yuv8.h"

namespace {

// 4:4:4 Y4M.  The header takes the size of the first frame written; a later
// frame of another size (a script may change the shown size per frame) is
// cut or padded with black to it, since a Y4M stream has one size.
class Y4mSink : public FrameSink {
public:
    Y4mSink(std::FILE* file, bool owned, int num, int den) : file_(file), owned_(owned), num_(num), den_(den) {}
    ~Y4mSink() override {
        if (owned_ && file_) std::fclose(file_);
    }

    bool write(int, const PIXEL_YC* pixels, int stride, int w, int h, std::string* error) override {
        if (width_ == 0) {
            width_ = w, height_ = h;
            std::fprintf(file_, "YUV4MPEG2 W%d H%d F%d:%d Ip A1:1 C444 XYSCSS=444\n", w, h, num_, den_);
        }
        plane_.assign(static_cast<std::size_t>(width_) * height_ * 3, 0);
        std::uint8_t* py = plane_.data();
        std::uint8_t* pcb = py + static_cast<std::size_t>(width_) * height_;
        std::uint8_t* pcr = pcb + static_cast<std::size_t>(width_) * height_;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x) {
                const std::size_t at = static_cast<std::size_t>(y) * width_ + x;
                if (x < w && y < h) {
                    const PIXEL_YC& p = pixels[static_cast<std::size_t>(y) * stride + x];
                    py[at] = luma_to8(p.y), pcb[at] = chroma_to8(p.cb), pcr[at] = chroma_to8(p.cr);
                } else {
                    py[at] = 16, pcb[at] = 128, pcr[at] = 128;
                }
            }
        std::fputs("FRAME\n", file_);
        if (std::fwrite(plane_.data(), 1, plane_.size(), file_) != plane_.size()) {
            *error = std::string("cannot write the output: ") + std::strerror(errno);
            return false;
        }
        return true;
    }

    bool finish(std::string* error) override {
        const bool ok = std::fflush(file_) == 0 && (!owned_ || std::fclose(file_) == 0);
        if (owned_) file_ = nullptr;
        if (!ok) *error = "cannot write the output";
        return ok;
    }

private:
    std::FILE* file_;
    bool owned_;
    int num_, den_;
    int width_ = 0, height_ = 0;
    std::vector<std::uint8_t> plane_;
};

std::uint8_t rgb_to8(double v) {
    const double scaled = std::round(v * 255.0 / 4096.0);
    return static_cast<std::uint8_t>(scaled < 0 ? 0 : (scaled > 255 ? 255 : scaled));
}

class PngSink : public FrameSink {
public:
    explicit PngSink(std::string pattern) : pattern_(std::move(pattern)) {
        per_frame_ = pattern_.find('%') != std::string::npos;
    }

    bool write(int n, const PIXEL_YC* pixels, int stride, int w, int h, std::string* error) override {
        rgb_.resize(static_cast<std::size_t>(w) * h * 3);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const PIXEL_YC& p = pixels[static_cast<std::size_t>(y) * stride + x];
                const Triple c = yc_to_rgb(p.y, p.cb, p.cr);
                std::uint8_t* out = &rgb_[(static_cast<std::size_t>(y) * w + x) * 3];
                out[0] = rgb_to8(c.a), out[1] = rgb_to8(c.b), out[2] = rgb_to8(c.c);
            }
        w_ = w, h_ = h;
        if (!per_frame_) return true;  // only the last frame is kept
        char name[4096];
        std::snprintf(name, sizeof name, pattern_.c_str(), n);
        return write_png(name, rgb_.data(), w, h, error);
    }

    bool finish(std::string* error) override {
        if (per_frame_ || w_ == 0) return true;
        return write_png(pattern_, rgb_.data(), w_, h_, error);
    }

private:
    std::string pattern_;
    bool per_frame_ = false;
    std::vector<std::uint8_t> rgb_;
    int w_ = 0, h_ = 0;
};

bool ends_with(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

// A PNG pattern may hold one integer conversion (%d, %05d, ...) and %%.
bool valid_png_pattern(const std::string& p) {
    int conversions = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (p[i] != '%') continue;
        if (i + 1 < p.size() && p[i + 1] == '%') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < p.size() && (std::isdigit(static_cast<unsigned char>(p[j])) || p[j] == '0')) ++j;
        if (j >= p.size() || (p[j] != 'd' && p[j] != 'i')) return false;
        ++conversions;
        i = j;
    }
    return conversions <= 1;
}

}  // namespace

std::unique_ptr<FrameSink> open_sink(const std::string& name, std::FILE* stream, int rate_num, int rate_den,
                                     std::string* error) {
    if (name == "-") return std::make_unique<Y4mSink>(stream, true, rate_num, rate_den);
    if (ends_with(name, ".png")) {
        if (!valid_png_pattern(name)) {
            *error = "a PNG output name may hold one %d-style number, such as out_%05d.png";
            return nullptr;
        }
        return std::make_unique<PngSink>(name);
    }
    if (ends_with(name, ".y4m")) {
        std::FILE* f = std::fopen(name.c_str(), "wb");
        if (!f) {
            *error = "cannot write " + name + ": " + std::strerror(errno);
            return nullptr;
        }
        return std::make_unique<Y4mSink>(f, true, rate_num, rate_den);
    }
    *error = "the output must be a .y4m file, - for Y4M on standard output, or a .png name";
    return nullptr;
}
