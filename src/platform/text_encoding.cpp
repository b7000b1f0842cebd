#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

// Length and value of the UTF-8 sequence at bytes[i], or 0 when it is not a
// well-formed sequence.
int utf8_sequence(std::string_view bytes, std::size_t i, char32_t* value) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        *value = lead;
        return 1;
    }
    int length;
    char32_t c, minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) return 0;
    for (int k = 1; k < length; ++k) {
        const unsigned char b = byte(i + k);
        if ((b & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *value = c;
    return length;
}

std::u32string decode_utf8(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c = 0;
        const int n = utf8_sequence(bytes, i, &c);
        out.push_back(c);
        i += static_cast<std::size_t>(n);
    }
    return out;
}

// Code page 932 through glibc's iconv.  An invalid or cut-off sequence costs
// one byte and decoding goes on after it.
std::u32string decode_cp932(std::string_view bytes) {
    std::u32string out;
    iconv_t cd = iconv_open("UTF-32LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        for (unsigned char b : bytes)
            if (b < 0x80) out.push_back(b);  // no converter: keep what is plain ASCII
        return out;
    }
    out.reserve(bytes.size());
    char* in = const_cast<char*>(bytes.data());
    std::size_t in_left = bytes.size();
    char buffer[256];
    while (in_left > 0) {
        char* dst = buffer;
        std::size_t dst_left = sizeof buffer;
        const std::size_t result = iconv(cd, &in, &in_left, &dst, &dst_left);
        const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
        for (const char* p = buffer; p + 4 <= dst; p += 4) {
            const auto u = [&](int k) {
                return static_cast<char32_t>(static_cast<unsigned char>(p[k]));
            };
            out.push_back(u(0) | u(1) << 8 | u(2) << 16 | u(3) << 24);
        }
        if (error == EILSEQ || error == EINVAL) {
            ++in;
            --in_left;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (error != 0 && error != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

bool is_valid_utf8(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        char32_t c;
        const int n = utf8_sequence(bytes, i, &c);
        if (n == 0) return false;
        i += static_cast<std::size_t>(n);
    }
    return true;
}

std::u32string decode_script_text(std::string_view bytes) {
    return is_valid_utf8(bytes) ? decode_utf8(bytes) : decode_cp932(bytes);
}

std::string script_text_to_utf8(std::string_view bytes) {
    if (is_valid_utf8(bytes)) return std::string(bytes);
    std::string out;
    for (char32_t c : decode_cp932(bytes)) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace platform
