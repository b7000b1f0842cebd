#include "run/run_info.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "host/plugin_host.h"
#include "host/tracks.h"
#include "media/frame_source.h"

namespace {

std::string rate_text(const FrameSource& s) {
    char text[64];
    if (s.rate_den() == 0) return "?";
    std::snprintf(text, sizeof text, "%.6g fps (%d/%d)",
                  static_cast<double>(s.rate_num()) / s.rate_den(), s.rate_num(), s.rate_den());
    return text;
}

}  // namespace

void print_info(const Options& options, const Edit& edit, PluginHost& host) {
    const FrameSource& s = *edit.source;
    std::printf("input    %s\n", options.input.c_str());
    std::printf("format   %s\n", s.format().c_str());
    std::printf("size     %dx%d (frame buffers %dx%d)\n", s.width(), s.height(), edit.max_w,
                edit.max_h);
    if (s.frame_count() >= 0)
        std::printf("frames   %d, %s\n", s.frame_count(), rate_text(s).c_str());
    else
        std::printf("frames   %s, %s\n",
                    s.endless() ? "any number (30 unless told)" : "unknown (a stream)",
                    rate_text(s).c_str());
    if (edit.stop == INT_MAX)
        std::printf("run      frames %d to the end of the input\n", edit.start);
    else
        std::printf("run      frames %d to %d (%d frames)\n", edit.start, edit.stop - 1,
                    edit.stop - edit.start);
    // The warm-up stops at the input's first frame, as the run does.
    const int warmup = std::min(std::max(options.warmup, 0), edit.start);
    if (warmup > 0)
        std::printf("warm-up  frames %d to %d run through the script first, not written\n",
                    edit.start - warmup, edit.start - 1);
    std::printf("rotation %s\n", edit.rotation.c_str());
    std::printf("timeline %s\n", edit.timeline.c_str());
    bool cut_short = false;
    for (const std::string& text : s.damage(0, std::max(0, s.frame_count() - 1), &cut_short))
        std::printf("damage   %s\n", text.c_str());
    std::printf("copyframe  %s\n", s.random_access()
                                       ? "any frame of the input"
                                       : "only the frames still kept (a stream cannot seek)");
    std::printf("audio    %s\n",
                s.audio_file().empty() ? "none" : "passed on to .mp4, .mov and .mkv output");
    std::printf("script   %s%s%s\n", edit.script.c_str(),
                edit.script_note.empty() ? "" : (" (" + edit.script_note + ")").c_str(),
                is_file(edit.script) ? "" : " (missing: frames would pass through unchanged)");
    const MemoryCap cap = script_memory_cap(options, edit);
    if (cap.bytes)
        std::printf("memory   a script may hold %llu MiB: %s\n",
                    static_cast<unsigned long long>(cap.bytes >> 20), cap.source.c_str());
    else
        std::printf("memory   a script may hold any amount (%s)\n", cap.source.c_str());
    const FILTER& t = host.table();
    // What the script's vars hold, and their defaults.
    std::string values, defaults;
    for (int i = 0; i < t.track_n; ++i) {
        const std::string option = track_option(t, i);
        if (option.rfind("--var ", 0) != 0) continue;
        const std::string name = option.substr(6);
        const int value =
            options.tracks.size() > static_cast<std::size_t>(i) ? options.tracks[i] : 0;
        values += name + "=" + std::to_string(value) + " ";
        defaults += name + "=" + std::to_string(t.track_default ? t.track_default[i] : 0) + " ";
    }
    if (!values.empty()) {
        values.pop_back(), defaults.pop_back();
        std::printf("vars     %s (--var NAME=VALUE; the defaults: %s)\n", values.c_str(),
                    defaults.c_str());
    }
    std::printf("info.fps %s\n", rate_text(s).c_str());
    std::printf("tracks   of the plug-in \"%s\":\n", t.name ? t.name : "?");
    for (int i = 0; i < t.track_n; ++i) {
        const std::string option = track_option(t, i);
        std::printf("  %2d  %-12s %5d  (%d..%d, default %d)  %s\n", i, option.c_str(),
                    options.tracks.size() > static_cast<std::size_t>(i) ? options.tracks[i] : 0,
                    t.track_s ? t.track_s[i] : 0, t.track_e ? t.track_e[i] : 0,
                    t.track_default ? t.track_default[i] : 0, t.track_name ? t.track_name[i] : "?");
    }
}
