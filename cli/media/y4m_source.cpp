// Y4M input: a file, indexed once so that any frame can be read, or a
// stream (standard input, a FIFO), read in order.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/host_os.h"
#include "media/frame_source.h"
#include "media/pixel_convert.h"
#include "media/y4m.h"

namespace {

// "FRAME", possibly with parameters after a space.
bool is_frame_header(const std::string& line) {
    return line == "FRAME" || line.rfind("FRAME ", 0) == 0;
}

class Y4mSource : public FrameSource {
public:
    ~Y4mSource() override {
        if (file_ != nullptr) std::fclose(file_);
    }

    bool open(const std::string& name, std::string* error) {
        name_ = name == "-" ? "standard input" : name;
        // Standard input is taken over by the video, so the script cannot read it.
        file_ = name == "-" ? host_os::take_standard_input() : std::fopen(name.c_str(), "rb");
        if (file_ == nullptr) {
            *error = "cannot open " + name + ": " + std::strerror(errno);
            return false;
        }
        std::string header, why;
        if (!read_line(&header))
            why = header.empty() ? "empty input, not a Y4M stream" : "not a Y4M stream";
        else
            parse_y4m_header(header, &format_y4m_, &why);
        if (!why.empty()) {
            *error = name_ + ": " + why;
            if (name == "-")
                *error += "; standard input takes Y4M, other videos are read from files";
            return false;
        }
        width_ = format_y4m_.width, height_ = format_y4m_.height;
        rate_num_ = format_y4m_.rate_num, rate_den_ = format_y4m_.rate_den;
        tb_num_ = rate_den_, tb_den_ = rate_num_;
        format_ = "Y4M C" + format_y4m_.colour_tag() + " (" + std::to_string(format_y4m_.bits) +
                  "-bit, " + (format_y4m_.full_range ? "full" : "limited") + " range)";
        data_.resize(format_y4m_.frame_bytes());
        // A file is indexed now; a stream is read as it comes.
        const long start = std::ftell(file_);
        random_access_ = start >= 0 && std::fseek(file_, 0, SEEK_END) == 0;
        if (!random_access_) {
            std::clearerr(file_);
            return true;
        }
        file_size_ = std::ftell(file_);
        std::fseek(file_, start, SEEK_SET);
        return index_frames(error);
    }

    bool seek(int n, std::string* error) override {
        if (!random_access_) return FrameSource::seek(n, error);
        if (n >= frame_count_) {
            *error = name_ + " has " + std::to_string(frame_count_) +
                     " frames; cannot start at frame " + std::to_string(n);
            return false;
        }
        next_ = n;
        return true;
    }

    // Y4M has a fixed rate: frame n is at n frame steps.
    std::int64_t time_of(int n) const override { return n; }

    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override {
        error->clear();
        *pts = next_;
        if (random_access_) {
            if (next_ >= frame_count_) return false;
            return read_at(next_++, pixels, stride, error);
        }
        // A stream: the frame header, then the samples.
        std::string line;
        if (!read_line(&line)) {
            if (!line.empty())
                *error = name_ + ": damaged frame header after frame " + std::to_string(next_);
            return false;  // the end of the stream, or a header cut short
        }
        if (!is_frame_header(line)) {
            *error = name_ + ": damaged frame header after frame " + std::to_string(next_);
            return false;
        }
        const std::size_t got = std::fread(data_.data(), 1, data_.size(), file_);
        if (got != data_.size()) {
            *error = name_ + ": frame " + std::to_string(next_) + " is cut short (" +
                     std::to_string(got) + " of " + std::to_string(data_.size()) + " bytes)";
            return false;
        }
        ++next_;
        convert(pixels, stride);
        return true;
    }

    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override {
        if (!random_access_ || n < 0 || n >= static_cast<int>(offsets_.size())) return false;
        if (std::fseek(file_, offsets_[n], SEEK_SET) != 0 ||
            std::fread(data_.data(), 1, data_.size(), file_) != data_.size()) {
            *error = "cannot read frame " + std::to_string(n) + " of " + name_;
            return false;
        }
        convert(pixels, stride);
        return true;
    }

    std::vector<std::string> damage(int, int last, bool* cut_short) const override {
        *cut_short = last + 1 >= frame_count_ && !damage_.empty();
        if (!*cut_short) return {};
        return {damage_};
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

    // Records where each frame's samples start.  Damage (a frame cut short,
    // a broken frame header) ends the index: the frames before it are the
    // file's, and a run that reaches its end says what is missing.
    bool index_frames(std::string* error) {
        std::string line;
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            std::ungetc(c, file_);
            if (!read_line(&line) || !is_frame_header(line)) {
                damage_ =
                    name_ + ": damaged frame header after frame " + std::to_string(offsets_.size());
                break;
            }
            const long start = std::ftell(file_);
            const long size = static_cast<long>(data_.size());
            if (start + size > file_size_) {
                damage_ = name_ + ": frame " + std::to_string(offsets_.size()) + " is cut short (" +
                          std::to_string(file_size_ - start) + " of " + std::to_string(size) +
                          " bytes)";
                break;
            }
            offsets_.push_back(start);
            std::fseek(file_, size, SEEK_CUR);
        }
        frame_count_ = static_cast<int>(offsets_.size());
        end_time_ = frame_count_;
        if (offsets_.empty()) {
            if (!damage_.empty()) {
                *error = damage_;
                return false;
            }
            *error = name_ + ": the Y4M file has a header but no frames";
            return false;
        }
        return true;
    }

    void convert(PIXEL_YC* pixels, int stride) const {
        const Y4mFormat& f = format_y4m_;
        Planes planes;
        const std::size_t sample = f.sample_bytes();
        const std::uint8_t* luma = data_.data();
        planes.data[0] = luma;
        planes.stride[0] = static_cast<std::ptrdiff_t>(sample * f.width);
        if (!f.mono) {
            const std::size_t chroma_plane = sample * f.chroma_width() * f.chroma_height();
            planes.data[1] = luma + sample * f.width * f.height;
            planes.data[2] = static_cast<const std::uint8_t*>(planes.data[1]) + chroma_plane;
            planes.stride[1] = planes.stride[2] =
                static_cast<std::ptrdiff_t>(sample * f.chroma_width());
        }
        planes.bits = f.bits;
        planes.shift_x = f.shift_x, planes.shift_y = f.shift_y;
        planes.full_range = f.full_range;
        planes_to_yc(planes, width_, height_, pixels, stride);
    }

    std::string name_;
    std::FILE* file_ = nullptr;
    Y4mFormat format_y4m_;
    long file_size_ = 0;
    std::vector<long> offsets_;
    std::vector<std::uint8_t> data_;
    std::string damage_;
};

}  // namespace

std::unique_ptr<FrameSource> open_y4m_source(const std::string& name, std::string* error) {
    auto source = std::make_unique<Y4mSource>();
    if (!source->open(name, error)) return nullptr;
    return source;
}
