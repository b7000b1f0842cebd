#include "media/y4m.h"

#include <cstdint>
#include <sstream>

namespace {

// A whole decimal number from 1 to `max`, digits only; false otherwise
// (overflow included).
bool parse_count(const std::string& text, long long max, long long* value) {
    if (text.empty() || text.size() > 12) return false;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < 1 || v > max) return false;
    *value = v;
    return true;
}

struct Layout {
    const char* name;
    int shift_x, shift_y;
    bool mono;
};
const Layout kLayouts[] = {
    {"420", 1, 1, false},      {"420jpeg", 1, 1, false}, {"420paldv", 1, 1, false},
    {"420mpeg2", 1, 1, false}, {"422", 1, 0, false},     {"444", 0, 0, false},
    {"mono", 0, 0, true},
};

// "420p10", "444p16", "mono12": a layout and a depth; plain names are 8-bit.
bool parse_colour(const std::string& tag, Y4mFormat* f) {
    for (const Layout& l : kLayouts) {
        const std::string name = l.name;
        if (tag.compare(0, name.size(), name) != 0) continue;
        std::string depth = tag.substr(name.size());
        int bits = 8;
        if (!depth.empty()) {
            // Deeper formats are written "420p10" (and "mono10" without the p).
            if (!l.mono && depth[0] == 'p') depth = depth.substr(1);
            long long b = 0;
            if (name.size() != 3 && !l.mono) continue;  // "420jpeg10" is no tag
            if (!parse_count(depth, 16, &b) || b < 9) continue;
            bits = static_cast<int>(b);
        }
        f->shift_x = l.shift_x, f->shift_y = l.shift_y, f->mono = l.mono, f->bits = bits;
        return true;
    }
    return false;
}

}  // namespace

std::string Y4mFormat::colour_tag() const {
    std::string tag = mono ? "mono" : shift_x == 0 ? "444" : shift_y == 0 ? "422" : "420";
    if (bits > 8) return tag + (mono ? "" : "p") + std::to_string(bits);
    return tag == "420" ? "420jpeg" : tag;
}

bool parse_y4m_header(const std::string& line, Y4mFormat* f, std::string* error) {
    if (line.rfind("YUV4MPEG2", 0) != 0 || (line.size() > 9 && line[9] != ' ')) {
        *error = "not a Y4M stream (no YUV4MPEG2 header)";
        return false;
    }
    *f = Y4mFormat{};
    bool have_w = false, have_h = false;
    std::istringstream tags(line.substr(9));
    for (std::string tag; tags >> tag;) {
        const std::string value = tag.substr(1);
        long long v = 0;
        switch (tag[0]) {
            case 'W':
                if (!parse_count(value, kMaxY4mSide, &v)) {
                    *error = "bad width \"" + tag + "\" in the Y4M header (1 to " +
                             std::to_string(kMaxY4mSide) + ")";
                    return false;
                }
                f->width = static_cast<int>(v), have_w = true;
                break;
            case 'H':
                if (!parse_count(value, kMaxY4mSide, &v)) {
                    *error = "bad height \"" + tag + "\" in the Y4M header (1 to " +
                             std::to_string(kMaxY4mSide) + ")";
                    return false;
                }
                f->height = static_cast<int>(v), have_h = true;
                break;
            case 'F': {
                const std::size_t colon = value.find(':');
                long long num = 0, den = 0;
                if (colon == std::string::npos ||
                    !parse_count(value.substr(0, colon), INT32_MAX, &num) ||
                    !parse_count(value.substr(colon + 1), INT32_MAX, &den)) {
                    *error = "bad frame rate \"" + tag + "\" in the Y4M header";
                    return false;
                }
                f->rate_num = static_cast<int>(num), f->rate_den = static_cast<int>(den);
                break;
            }
            case 'C':
                if (!parse_colour(value, f)) {
                    *error = "colour space \"" + tag +
                             "\" is not supported (420, 422, 444 or mono, 8 to 16 bits, such as "
                             "C420p10)";
                    return false;
                }
                break;
            case 'X':
                if (value == "COLORRANGE=FULL") f->full_range = true;
                break;
            default:  // interlacing, aspect ratio and unknown tags change nothing here
                break;
        }
    }
    if (!have_w || !have_h) {
        *error = "the Y4M header gives no picture size";
        return false;
    }
    return true;
}

std::string y4m_header(const Y4mFormat& f) {
    return "YUV4MPEG2 W" + std::to_string(f.width) + " H" + std::to_string(f.height) + " F" +
           std::to_string(f.rate_num) + ":" + std::to_string(f.rate_den) + " Ip A1:1 C" +
           f.colour_tag() +
           (f.bits == 8 && !f.mono ? " XYSCSS=" + std::string(f.shift_x == 0   ? "444"
                                                              : f.shift_y == 0 ? "422"
                                                                               : "420JPEG")
                                   : "") +
           "\n";
}
