// The YUV4MPEG2 stream header: picture size, rate and sample layout.
#pragma once

#include <cstddef>
#include <string>

struct Y4mFormat {
    int width = 0, height = 0;
    int rate_num = 30, rate_den = 1;
    int bits = 8;                  // 8 to 16; deeper samples are little-endian words
    int shift_x = 1, shift_y = 1;  // log2 of the chroma subsampling
    bool mono = false;             // Y plane only
    bool full_range = false;       // XCOLORRANGE=FULL

    int chroma_width() const { return mono ? 0 : (width + (1 << shift_x) - 1) >> shift_x; }
    int chroma_height() const { return mono ? 0 : (height + (1 << shift_y) - 1) >> shift_y; }
    std::size_t sample_bytes() const { return bits > 8 ? 2 : 1; }
    std::size_t frame_bytes() const {
        return sample_bytes() * (static_cast<std::size_t>(width) * height +
                                 2 * static_cast<std::size_t>(chroma_width()) * chroma_height());
    }
    // The C tag's value: "420jpeg", "422", "444p10", "mono", ...
    std::string colour_tag() const;
};

// Largest width or height a header may give.
constexpr int kMaxY4mSide = 32768;

// Parses the header line (without its newline).  False with a message that
// says which tag is wrong.
bool parse_y4m_header(const std::string& line, Y4mFormat* format, std::string* error);

// The header line, with its newline.
std::string y4m_header(const Y4mFormat& format);
