#include "run/timecodes.h"

#include <cstdio>

#include "media/frame_sink.h"

std::string milliseconds_text(std::int64_t ticks, int tb_num, int tb_den) {
    // To the nanosecond: timestamps in 1/1000 s print as they are, those in
    // 1/90000 s within a nanosecond.
    const long double ms = static_cast<long double>(ticks) * tb_num * 1000 / tb_den;
    char text[64];
    std::snprintf(text, sizeof text, "%.6Lf", ms);
    std::string s = text;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string Timecodes::text() const {
    std::string s = "# timecode format v2\n";
    for (std::int64_t t : ticks_) s += milliseconds_text(t, tb_num_, tb_den_) + "\n";
    return s;
}

bool Timecodes::write(const std::string& path, std::string* error) const {
    OutputFile file;
    if (!file.create(path, error)) return false;
    const std::string s = text();
    if (std::fwrite(s.data(), 1, s.size(), file.file()) != s.size()) {
        *error = "cannot write " + path;
        return false;
    }
    return file.commit(error);
}
