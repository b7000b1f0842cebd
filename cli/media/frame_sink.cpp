#include "media/frame_sink.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "host/host_os.h"
#include "media/pixel_convert.h"
#include "media/y4m.h"

OutputFile::~OutputFile() {
    if (file_ != nullptr) std::fclose(file_);
    if (!temp_.empty()) std::remove(temp_.c_str());
}

bool OutputFile::create(const std::string& path, std::string* error) {
    path_ = path;
    file_ = host_os::create_temporary_beside(path, &temp_, error);
    return file_ != nullptr;
}

bool OutputFile::commit(std::string* error) {
    const bool written = file_ == nullptr || std::fclose(file_) == 0;
    file_ = nullptr;
    if (!written || !host_os::replace_file(temp_, path_)) {
        *error = "cannot write " + path_ + ": " + std::strerror(errno);
        return false;
    }
    temp_.clear();
    return true;
}

namespace {

bool parse_pix_fmt(const std::string& text, Y4mFormat* f) {
    static const struct {
        const char* name;
        int shift_x, shift_y, bits;
    } kFormats[] = {{"420p", 1, 1, 8},    {"422p", 1, 0, 8},    {"444p", 0, 0, 8},
                    {"420p10", 1, 1, 10}, {"422p10", 1, 0, 10}, {"444p10", 0, 0, 10}};
    for (const auto& k : kFormats)
        if (text == k.name) {
            f->shift_x = k.shift_x, f->shift_y = k.shift_y, f->bits = k.bits;
            return true;
        }
    return false;
}

std::string write_error(const std::string& name) {
    return "cannot write " + name + ": " +
           (errno == EPIPE ? "the reader closed the pipe" : std::strerror(errno));
}

// Y4M in the layout --pix-fmt names.  The header takes the size of the first
// frame written.
class Y4mSink : public FrameSink {
public:
    Y4mSink(std::string name, std::FILE* stream, const Y4mFormat& format)
        : name_(std::move(name)), format_(format) {
        stream_ = stream;
    }
    ~Y4mSink() override {
        if (stream_ != nullptr) std::fclose(stream_);
    }

    bool open(std::string* error) {
        if (stream_ != nullptr) return true;
        return file_.create(name_, error);
    }

    bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t, std::int64_t,
               std::string* error) override {
        std::FILE* out = stream_ != nullptr ? stream_ : file_.file();
        if (frames_ == 0) {
            format_.width = w, format_.height = h;
            const std::string header = y4m_header(format_);
            if (std::fwrite(header.data(), 1, header.size(), out) != header.size()) {
                *error = write_error(name_);
                return false;
            }
            data_.resize(format_.frame_bytes());
        }
        convert(pixels, stride, w, h);
        if (std::fwrite("FRAME\n", 1, 6, out) != 6 ||
            std::fwrite(data_.data(), 1, data_.size(), out) != data_.size()) {
            *error = write_error(name_);
            return false;
        }
        ++frames_;
        return true;
    }

    bool finish(std::int64_t, std::string* error) override {
        if (stream_ != nullptr) {
            const bool ok = std::fflush(stream_) == 0;
            std::fclose(stream_);
            stream_ = nullptr;
            if (!ok) *error = write_error(name_);
            return ok;
        }
        if (std::fflush(file_.file()) != 0) {
            *error = write_error(name_);
            return false;
        }
        return file_.commit(error);
    }

private:
    void convert(const PIXEL_YC* pixels, int stride, int w, int h) {
        const Y4mFormat& f = format_;
        const std::size_t sample = f.sample_bytes();
        OutPlanes planes;
        std::uint8_t* luma = data_.data();
        const std::size_t luma_bytes = sample * f.width * f.height;
        const std::size_t chroma_bytes = sample * f.chroma_width() * f.chroma_height();
        planes.data[0] = luma;
        planes.data[1] = luma + luma_bytes;
        planes.data[2] = luma + luma_bytes + chroma_bytes;
        planes.stride[0] = static_cast<std::ptrdiff_t>(sample * f.width);
        planes.stride[1] = planes.stride[2] =
            static_cast<std::ptrdiff_t>(sample * f.chroma_width());
        planes.bits = f.bits;
        planes.shift_x = f.shift_x, planes.shift_y = f.shift_y;
        // A frame of another size than the first: black around what fits.
        if (w < f.width || h < f.height) fill_black(planes, luma_bytes, chroma_bytes);
        yc_to_planes(pixels, stride, std::min(w, f.width), std::min(h, f.height), planes);
    }

    void fill_black(const OutPlanes& planes, std::size_t luma_bytes, std::size_t chroma_bytes) {
        const int y = luma_to_sample(0, format_.bits), c = chroma_to_sample(0, format_.bits);
        if (format_.bits == 8) {
            std::memset(planes.data[0], y, luma_bytes);
            std::memset(planes.data[1], c, 2 * chroma_bytes);
            return;
        }
        auto* words = static_cast<std::uint16_t*>(planes.data[0]);
        std::fill(words, words + luma_bytes / 2, static_cast<std::uint16_t>(y));
        std::fill(words + luma_bytes / 2, words + (luma_bytes + 2 * chroma_bytes) / 2,
                  static_cast<std::uint16_t>(c));
    }

    std::string name_;
    std::FILE* stream_ = nullptr;
    OutputFile file_;
    Y4mFormat format_;
    std::vector<std::uint8_t> data_;
};

class PngSink : public FrameSink {
public:
    explicit PngSink(std::string pattern) : pattern_(std::move(pattern)) {
        per_frame_ = pattern_.find('%') != std::string::npos;
    }

    bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t, std::int64_t,
               std::string* error) override {
        rgb_.resize(static_cast<std::size_t>(w) * h * 3);
        yc_to_rgb24(pixels, stride, w, h, rgb_.data(), static_cast<std::ptrdiff_t>(w) * 3);
        w_ = w, h_ = h;
        const int n = frames_++;
        if (!per_frame_) return true;  // only the last frame is kept
        char name[4096];
        std::snprintf(name, sizeof name, pattern_.c_str(), n);
        return save(name, error);
    }

    bool finish(std::int64_t, std::string* error) override {
        if (per_frame_ || w_ == 0) return true;
        return save(pattern_, error);
    }

private:
    bool save(const std::string& name, std::string* error) {
        OutputFile file;
        if (!file.create(name, error)) return false;
        return encoder_.encode(file.temp_path(), rgb_.data(), w_, h_, error) && file.commit(error);
    }

    std::string pattern_;
    bool per_frame_ = false;
    PngEncoder encoder_;
    std::vector<std::uint8_t> rgb_;
    int w_ = 0, h_ = 0;
};

bool ends_with(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (s.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != suffix[i])
            return false;
    return true;
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
        while (j < p.size() && std::isdigit(static_cast<unsigned char>(p[j]))) ++j;
        if (j >= p.size() || (p[j] != 'd' && p[j] != 'i')) return false;
        ++conversions;
        i = j;
    }
    return conversions <= 1;
}

}  // namespace

std::unique_ptr<FrameSink> open_sink(const SinkSettings& s, std::string* error, bool* usage) {
    *usage = false;
    Y4mFormat format;
    if (!parse_pix_fmt(s.pix_fmt, &format)) {
        *error = "--pix-fmt must be 420p, 422p, 444p, 420p10, 422p10 or 444p10 (got \"" +
                 s.pix_fmt + "\")";
        *usage = true;
        return nullptr;
    }
    format.rate_num = s.rate_num, format.rate_den = s.rate_den;
    if (s.name == "-" || ends_with(s.name, ".y4m")) {
        auto sink = std::make_unique<Y4mSink>(s.name, s.name == "-" ? s.stream : nullptr, format);
        if (!sink->open(error)) return nullptr;
        return sink;
    }
    if (ends_with(s.name, ".png")) {
        if (!valid_png_pattern(s.name)) {
            *error = "a PNG output name may hold one %d-style number, such as out_%05d.png";
            *usage = true;
            return nullptr;
        }
        return std::make_unique<PngSink>(s.name);
    }
    if (ends_with(s.name, ".mp4") || ends_with(s.name, ".mkv") || ends_with(s.name, ".mov"))
        return open_libav_sink(s, error, usage);
    *error =
        "the output must be .y4m, - (Y4M on standard output), .png, NAME_%05d.png, .mp4, .mkv or "
        ".mov (got \"" +
        s.name + "\")";
    *usage = true;
    return nullptr;
}
