#include "positions.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace {

// A non-negative decimal number and nothing else.
bool parse_decimal(const std::string& text, double* value) {
    if (text.empty() || !(std::isdigit(static_cast<unsigned char>(text[0])) || text[0] == '.'))
        return false;
    for (char c : text)
        if (!std::isdigit(static_cast<unsigned char>(c)) && c != '.') return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0' && *value >= 0 && *value < 1e9;
}

bool ends_with(const std::string& text, const char* suffix, std::string* rest) {
    const std::string s = suffix;
    if (text.size() <= s.size() || text.compare(text.size() - s.size(), s.size(), s) != 0)
        return false;
    *rest = text.substr(0, text.size() - s.size());
    return true;
}

// [HH:]MM:SS[.fraction]: minutes and seconds below 60 after the first field.
bool parse_clock(const std::string& text, double* seconds) {
    std::vector<std::string> fields(1);
    for (char c : text) {
        if (c == ':')
            fields.emplace_back();
        else
            fields.back() += c;
    }
    if (fields.size() < 2 || fields.size() > 3) return false;
    double total = 0;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        double v = 0;
        const bool last = i + 1 == fields.size();
        if (!parse_decimal(fields[i], &v)) return false;
        if (!last && fields[i].find('.') != std::string::npos) return false;
        if (i > 0 && v >= 60) return false;
        total = total * 60 + v;
    }
    *seconds = total;
    return true;
}

}  // namespace

bool parse_position(const std::string& text, PlainNumber plain, Position* position) {
    Position p;
    std::string rest;
    if (text.size() > 1 && (text[0] == 'f' || text[0] == 'F')) {
        rest = text.substr(1);
        for (char c : rest)
            if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        if (rest.size() > 10) return false;
        p.frame = std::stoll(rest);
        *position = p;
        return true;
    }
    p.is_time = true;
    double v = 0;
    if (ends_with(text, "ms", &rest) && parse_decimal(rest, &v)) {
        p.seconds = v / 1000;
    } else if (ends_with(text, "us", &rest) && parse_decimal(rest, &v)) {
        p.seconds = v / 1e6;
    } else if (ends_with(text, "s", &rest) && parse_decimal(rest, &v)) {
        p.seconds = v;
    } else if (text.find(':') != std::string::npos) {
        if (!parse_clock(text, &p.seconds)) return false;
    } else if (parse_decimal(text, &v)) {
        const bool whole = text.find('.') == std::string::npos;
        if (plain == PlainNumber::frame && whole) {
            if (text.size() > 10) return false;
            p.is_time = false;
            p.frame = std::stoll(text);
        } else {
            p.seconds = v;
        }
    } else {
        return false;
    }
    *position = p;
    return true;
}
