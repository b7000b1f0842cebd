#include "frame_source.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "color/convert.h"
#include "yuv8.h"

namespace {

bool parse_size(const std::string& text, int* w, int* h) {
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%dx%d%n", w, h, &consumed) != 2) return false;
    return consumed == static_cast<int>(text.size()) && *w >= 1 && *h >= 1 && *w <= 16384 && *h <= 16384;
}

class BlankSource : public FrameSource {
public:
    BlankSource(int w, int h) { width_ = w, height_ = h; }
    bool read(int, PIXEL_YC* pixels, int stride, std::string*) override {
        for (int y = 0; y < height_; ++y) std::memset(pixels + static_cast<std::size_t>(y) * stride, 0, sizeof(PIXEL_YC) * width_);
        return true;
    }
};

// Colour bars over the top half, a grey ramp below them, and a disc that
// moves a little with every frame, so that scripts see motion.
class PatternSource : public FrameSource {
public:
    PatternSource(int w, int h) { width_ = w, height_ = h; }
    bool read(int n, PIXEL_YC* pixels, int stride, std::string*) override {
        static const int bars[8][3] = {{4096, 4096, 4096}, {4096, 4096, 0}, {0, 4096, 4096}, {0, 4096, 0},
                                       {4096, 0, 4096},    {4096, 0, 0},    {0, 0, 4096},    {0, 0, 0}};
        const int bar_h = height_ / 2;
        const double radius = std::max(2, std::min(width_, height_) / 6);
        const double cx = std::fmod(width_ / 4.0 + n * 4.0, static_cast<double>(width_));
        const double cy = height_ * 0.6;
        for (int y = 0; y < height_; ++y) {
            PIXEL_YC* row = pixels + static_cast<std::size_t>(y) * stride;
            for (int x = 0; x < width_; ++x) {
                double r, g, b;
                if (y < bar_h) {
                    const int* c = bars[(x * 8) / width_];
                    r = c[0], g = c[1], b = c[2];
                } else {
                    r = g = b = (width_ > 1 ? (4096.0 * x) / (width_ - 1) : 0);
                }
                const double dx = x - cx, dy = y - cy;
                if (dx * dx + dy * dy <= radius * radius) r = 4096, g = 2048, b = 512;
                const Triple yc = rgb_to_yc(r, g, b);
                row[x] = {to_component(yc.a), to_component(yc.b), to_component(yc.c)};
            }
        }
        return true;
    }
};

class Y4mSource : public FrameSource {
public:
    ~Y4mSource() override {
        if (file_) std::fclose(file_);
    }

    bool open(const std::string& path, std::string* error) {
        file_ = std::fopen(path.c_str(), "rb");
        if (!file_) {
            *error = "cannot open " + path + ": " + std::strerror(errno);
            return false;
        }
        std::string header;
        if (!read_line(&header) || header.rfind("YUV4MPEG2", 0) != 0) {
            *error = path + " is not a Y4M file";
            return false;
        }
        std::string colour = "420jpeg";
        std::size_t at = 9;
        while (at < header.size()) {
            while (at < header.size() && header[at] == ' ') ++at;
            const std::size_t end = std::min(header.find(' ', at), header.size());
            const std::string tag = header.substr(at, end - at);
            at = end;
            if (tag.empty()) continue;
            if (tag[0] == 'W') width_ = std::atoi(tag.c_str() + 1);
            if (tag[0] == 'H') height_ = std::atoi(tag.c_str() + 1);
            if (tag[0] == 'C') colour = tag.substr(1);
            if (tag[0] == 'F') std::sscanf(tag.c_str() + 1, "%d:%d", &rate_num_, &rate_den_);
        }
        if (width_ < 1 || height_ < 1 || width_ > 16384 || height_ > 16384) {
            *error = path + ": bad picture size in the Y4M header";
            return false;
        }
        if (rate_num_ < 1 || rate_den_ < 1) rate_num_ = 30, rate_den_ = 1;
        if (colour.rfind("420", 0) == 0) {
            sub_x_ = sub_y_ = 2;
        } else if (colour == "422") {
            sub_x_ = 2, sub_y_ = 1;
        } else if (colour == "444") {
            sub_x_ = sub_y_ = 1;
        } else if (colour == "mono") {
            mono_ = true;
        } else {
            *error = path + ": colour space C" + colour + " is not supported (8-bit 420, 422, 444 or mono)";
            return false;
        }
        chroma_w_ = mono_ ? 0 : (width_ + sub_x_ - 1) / sub_x_;
        chroma_h_ = mono_ ? 0 : (height_ + sub_y_ - 1) / sub_y_;
        frame_bytes_ = static_cast<long>(width_) * height_ + 2L * chroma_w_ * chroma_h_;
        return index_frames(path, error);
    }

    bool read(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        if (n < 0 || n >= frame_count_) {
            *error = "frame " + std::to_string(n) + " is not in the input";
            return false;
        }
        data_.resize(static_cast<std::size_t>(frame_bytes_));
        if (std::fseek(file_, offsets_[n], SEEK_SET) != 0 ||
            std::fread(data_.data(), 1, data_.size(), file_) != data_.size()) {
            *error = "cannot read frame " + std::to_string(n) + " of the input";
            return false;
        }
        const std::uint8_t* luma = data_.data();
        const std::uint8_t* cb = luma + static_cast<std::size_t>(width_) * height_;
        const std::uint8_t* cr = cb + static_cast<std::size_t>(chroma_w_) * chroma_h_;
        for (int y = 0; y < height_; ++y) {
            PIXEL_YC* row = pixels + static_cast<std::size_t>(y) * stride;
            const std::size_t crow = mono_ ? 0 : static_cast<std::size_t>(y / sub_y_) * chroma_w_;
            for (int x = 0; x < width_; ++x) {
                row[x].y = luma_from8(luma[static_cast<std::size_t>(y) * width_ + x]);
                row[x].cb = mono_ ? 0 : chroma_from8(cb[crow + x / sub_x_]);
                row[x].cr = mono_ ? 0 : chroma_from8(cr[crow + x / sub_x_]);
            }
        }
        return true;
    }

private:
    bool read_line(std::string* line) {
        line->clear();
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            if (c == '\n') return true;
            if (line->size() > 4096) return false;
            line->push_back(static_cast<char>(c));
        }
        return false;
    }

    // Records where each frame's pixels start, so any frame can be read.
    bool index_frames(const std::string& path, std::string* error) {
        const long size = file_size();
        std::string line;
        while (true) {
            const int c = std::fgetc(file_);
            if (c == EOF) break;
            std::ungetc(c, file_);
            if (!read_line(&line) || line.rfind("FRAME", 0) != 0) {
                *error = path + ": damaged frame header after frame " + std::to_string(offsets_.size());
                return false;
            }
            const long start = std::ftell(file_);
            // A frame cut short at the end of the file is left out.
            if (start + frame_bytes_ > size || std::fseek(file_, frame_bytes_, SEEK_CUR) != 0) break;
            offsets_.push_back(start);
        }
        frame_count_ = static_cast<int>(offsets_.size());
        return true;
    }

    long file_size() {
        const long here = std::ftell(file_);
        std::fseek(file_, 0, SEEK_END);
        const long size = std::ftell(file_);
        std::fseek(file_, here, SEEK_SET);
        return size;
    }

    std::FILE* file_ = nullptr;
    int sub_x_ = 2, sub_y_ = 2, chroma_w_ = 0, chroma_h_ = 0;
    bool mono_ = false;
    long frame_bytes_ = 0;
    std::vector<long> offsets_;
    std::vector<std::uint8_t> data_;
};

}  // namespace

std::unique_ptr<FrameSource> open_source(const std::string& name, std::string* error) {
    int w = 0, h = 0;
    if (name.rfind("blank:", 0) == 0 || name.rfind("pattern:", 0) == 0) {
        const bool blank = name[0] == 'b';
        if (!parse_size(name.substr(blank ? 6 : 8), &w, &h)) {
            *error = "bad size in \"" + name + "\" (use WxH, for example 640x360)";
            return nullptr;
        }
        if (blank) return std::make_unique<BlankSource>(w, h);
        return std::make_unique<PatternSource>(w, h);
    }
    auto source = std::make_unique<Y4mSource>();
    if (!source->open(name, error)) return nullptr;
    return source;
}
