#include "script_reports.h"

#include <algorithm>
#include <cctype>

ScriptError parse_script_error(const std::string& text) {
    // The first ":<digits>: " is the place; a file name may hold colons of
    // its own, but not that.
    for (std::size_t colon = text.find(':'); colon != std::string::npos;
         colon = text.find(':', colon + 1)) {
        std::size_t end = colon + 1;
        while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
        if (end == colon + 1 || end + 1 >= text.size() || text[end] != ':' || text[end + 1] != ' ')
            continue;
        ScriptError e;
        e.file = text.substr(0, colon);
        e.line = std::stoi(text.substr(colon + 1, std::min<std::size_t>(end - colon - 1, 9)));
        e.message = text.substr(end + 2);
        return e;
    }
    return {"", 0, text};
}

std::vector<std::string> ErrorNews::news(const std::vector<std::string>& frame_errors) {
    std::vector<std::string> fresh;
    for (const std::string& e : frame_errors)
        if (std::find(last_.begin(), last_.end(), e) == last_.end() &&
            std::find(fresh.begin(), fresh.end(), e) == fresh.end())
            fresh.push_back(e);
    last_ = frame_errors;
    return fresh;
}

void ElementStats::add(std::int64_t us, std::int64_t in_script_us, bool script_error) {
    ++frames;
    script_us += in_script_us;
    if (script_error) ++error_frames;
    total_us += us;
    max_us = std::max(max_us, us);
    last_us = us;
}

GstStructure* ElementStats::to_structure() const {
    const auto mean_of = [&](std::int64_t total) {
        return frames ? static_cast<double>(total) / static_cast<double>(frames) : 0.0;
    };
    const double mean = mean_of(total_us), script_mean = mean_of(script_us);
    return gst_structure_new("quorvel-stats", "frames", G_TYPE_UINT64, guint64{frames}, "dropped",
                             G_TYPE_UINT64, guint64{dropped}, "script-error-frames", G_TYPE_UINT64,
                             guint64{error_frames}, "mean-us", G_TYPE_DOUBLE, mean, "max-us",
                             G_TYPE_INT64, gint64{max_us}, "last-us", G_TYPE_INT64, gint64{last_us},
                             "script-mean-us", G_TYPE_DOUBLE, script_mean, nullptr);
}
