// quorvel run: the script over the input, frame by frame, into the output.
#include "run/run_command.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "edit.h"
#include "host/host_os.h"
#include "media/frame_sink.h"
#include "media/frame_source.h"
#include "run/background_writer.h"
#include "run/progress.h"
#include "run/script_log.h"

namespace {

// How the program answers message boxes, and where it shows them.
struct Desktop {
    std::string answer = "ok";
    bool boxes_to_stdout = false;  // while a --click is dispatched
};
Desktop desktop;

int show_box(void*, const char* text, const char* caption, unsigned kind) {
    const char* end = text[0] && text[std::strlen(text) - 1] == '\n' ? "" : "\n";
    if (desktop.boxes_to_stdout) {
        // A box raised by --click is the click's result: its text alone.
        std::fprintf(stdout, "%s%s", text, end);
        std::fflush(stdout);
    } else {
        std::fprintf(stderr, "[%s]\n%s%s", caption, text, end);
    }
    if ((kind & 0xF) == MB_YESNO) return desktop.answer == "no" ? IDNO : IDYES;
    return IDOK;
}

// Boxes are answered as soon as they are shown, so no window stays open.
void* find_no_window(const char*) { return nullptr; }
void ignore_message(void*, unsigned, std::uintptr_t, std::intptr_t) {}

const DesktopServices desktop_services = {show_box, find_no_window, ignore_message};

std::string rate_text(const FrameSource& s) {
    char text[64];
    if (s.rate_den() == 0) return "?";
    std::snprintf(text, sizeof text, "%.3g fps (%d/%d)",
                  static_cast<double>(s.rate_num()) / s.rate_den(), s.rate_num(), s.rate_den());
    return text;
}

// --info: what a run would do, without running it.
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
    std::printf("copyframe  %s\n", s.random_access()
                                       ? "any frame of the input"
                                       : "only the frames still kept (a stream cannot seek)");
    std::printf("audio    %s\n",
                s.audio_file().empty() ? "none" : "passed on to .mp4, .mov and .mkv output");
    std::printf("script   %s%s\n", edit.script.c_str(),
                is_file(edit.script) ? "" : " (missing: frames would pass through unchanged)");
    const MemoryCap cap = script_memory_cap(options, edit);
    if (cap.bytes)
        std::printf("memory   a script may hold %llu MiB: %s\n",
                    static_cast<unsigned long long>(cap.bytes >> 20), cap.source.c_str());
    else
        std::printf("memory   a script may hold any amount (%s)\n", cap.source.c_str());
    const FILTER& t = host.table();
    std::printf("tracks   of the plug-in \"%s\":\n", t.name ? t.name : "?");
    for (int i = 0; i < t.track_n; ++i) {
        const std::string option = track_option(t, i);
        std::printf("  %2d  %-12s %5d  (%d..%d, default %d)  %s\n", i, option.c_str(),
                    options.tracks.size() > static_cast<std::size_t>(i) ? options.tracks[i] : 0,
                    t.track_s ? t.track_s[i] : 0, t.track_e ? t.track_e[i] : 0,
                    t.track_default ? t.track_default[i] : 0, t.track_name ? t.track_name[i] : "?");
    }
}

// Opens --output, if any; 0, or the exit status.
int open_output(const Options& options, const FrameSource& source,
                std::unique_ptr<FrameSink>* sink) {
    if (options.output.empty()) return 0;
    if (options.output != "-" && is_file(options.input) &&
        absolute(options.output) == absolute(options.input))
        return usage_error("the output " + options.output + " is the input: write to another file");
    SinkSettings settings;
    settings.name = options.output;
    settings.pix_fmt = options.pix_fmt;
    settings.crf = options.crf;
    settings.codec = options.codec;
    settings.rate_num = source.rate_num(), settings.rate_den = source.rate_den();
    settings.tb_num = source.tb_num(), settings.tb_den = source.tb_den();
    settings.audio_file = source.audio_file();
    settings.display_matrix = source.display_matrix;
    settings.color_primaries = source.color_primaries, settings.color_trc = source.color_trc;
    settings.colorspace = source.colorspace;
    if (options.output == "-") {
        // Standard output carries only the video: keep a private handle on
        // it for the frames and send everything else that writes to it (a
        // script's print, say) to standard error.
        settings.stream = host_os::take_standard_output();
        if (settings.stream == nullptr) {
            print_error("cannot set up standard output");
            return 1;
        }
    }
    std::string error;
    bool usage = false;
    *sink = open_sink(settings, &error, &usage);
    if (!*sink) {
        if (usage) return usage_error(error);
        print_error(error);
        return 1;
    }
    return 0;
}

struct RunState {
    int status = 0;
    bool output_failed = false;  // a write failed: the output stops there
    int done = 0;                // frames run
    int last = -1;               // the last frame's number
    std::int64_t end_pts = 0;
    bool input_failed = false;
};

// Runs the frames through the filter and writes them out.
RunState filter_frames(PluginHost& host, Edit& edit, FrameSink* sink, ScriptLog& log,
                       Progress& progress) {
    RunState run;
    std::string error;
    const FrameSource& source = *edit.source;
    const std::int64_t frame_ticks = std::max<std::int64_t>(
        1, (1LL * source.tb_den() * source.rate_den()) /
               std::max<std::int64_t>(1, 1LL * source.tb_num() * source.rate_num()));
    const auto show = [&](const std::string& text) { progress.message(text); };
    std::optional<BackgroundWriter> writer;
    if (sink) writer.emplace(sink);
    const auto output_failed = [&] {
        progress.message(error);
        run.status = 1;
        run.output_failed = true;
    };
    for (int n = edit.start; n < std::min(host.frame_n(), edit.cap); ++n) {
        if (host_os::stop_requested()) {
            progress.message(std::string("stopped by ") + host_os::stop_signal_name());
            run.status = 1;
            break;
        }
        std::int64_t pts = 0;
        if (!host.read_next(&pts, &error)) {
            if (!error.empty()) {
                progress.message(error);
                run.status = 1;
                run.input_failed = true;
            }
            break;
        }
        if (!host.process(n, &error)) {
            progress.message(error);
            run.status = 1;
        }
        log.poll(n, show);
        // The frame is written even when the filter failed on it, as the
        // editor would show it, so the output keeps one frame per input frame.
        // It is written while the script works on the next one; a failure
        // shows at the next frame's write (or below, for the last frame).
        if (writer && !writer->write(host.output(), host.stride(), host.output_w(), host.output_h(),
                                     pts, &error)) {
            output_failed();
            break;
        }
        run.end_pts = pts + frame_ticks;
        run.last = n;
        progress.frame_done(++run.done, n);
    }
    if (writer && !run.output_failed && !writer->drain(&error)) output_failed();
    writer.reset();
    progress.end(run.done, run.last);
    // A script that made the video longer than the run could go is told why
    // it stopped.
    if (run.status == 0 && host.frame_n() > edit.length && run.last + 1 < host.frame_n()) {
        const bool input_end = source.frame_count() >= 0 && run.last + 1 >= source.frame_count();
        progress.message(
            "the script asked for " + std::to_string(host.frame_n()) + " frames; " +
            (input_end ? "the input has " + std::to_string(source.frame_count())
                       : "the command line stops the run at " + std::to_string(run.last + 1)));
    }
    if (run.done == 0 && run.status == 0 && !source.endless()) {
        progress.message(edit.input + ": no frames to run");
        run.status = 1;
    }
    return run;
}

// Completes the output, or says what became of it; the exit status.
int finish_output(const Options& options, FrameSink* sink, const RunState& run) {
    if (sink == nullptr) return run.status;
    std::string error;
    if (sink->frames() == 0) {
        if (options.output != "-") print_error("nothing was written to " + options.output);
        return run.status == 0 ? 1 : run.status;
    }
    if (run.output_failed) {
        // A file that could not be written is not kept; a pipe has what
        // its reader took.
        if (options.output == "-")
            print_error("the output is incomplete: " + std::to_string(sink->frames()) +
                        " frames were written");
        else
            print_error(options.output + " was not written");
        return 1;
    }
    if (!sink->finish(run.end_pts, &error)) {
        print_error(error);
        return 1;
    }
    if (run.status != 0)
        print_error("the output " + options.output + " is incomplete: it has " +
                    std::to_string(sink->frames()) + " frame" + (sink->frames() == 1 ? "" : "s"));
    return run.status;
}

// --click: presses on the last frame; their boxes go to standard output,
// unless that carries the video.
void click_preview(PluginHost& host, const Options& options) {
    desktop.boxes_to_stdout = options.output != "-";
    for (const auto& [x, y] : options.clicks) host.click(x, y);
    desktop.boxes_to_stdout = false;
}

// The script's errors over the run: how many frames had one, and each
// different error with how often it was logged.
bool summarise_script_errors(const ScriptLog& log, int frames) {
    if (log.lines().empty()) return false;
    std::vector<std::pair<std::string, int>> counts;
    for (const std::string& line : log.lines()) {
        auto it = std::find_if(counts.begin(), counts.end(),
                               [&](const auto& c) { return c.first == line; });
        if (it == counts.end())
            counts.emplace_back(line, 1);
        else
            ++it->second;
    }
    std::fprintf(stderr, "quorvel: script errors in %d of %d frame%s (the log is %s):\n",
                 log.frames_with_errors(), frames, frames == 1 ? "" : "s", log.path().c_str());
    const std::size_t shown = std::min<std::size_t>(counts.size(), 10);
    for (std::size_t i = 0; i < shown; ++i)
        std::fprintf(stderr, "  %dx %s\n", counts[i].second, counts[i].first.c_str());
    if (counts.size() > shown)
        std::fprintf(stderr, "  and %zu other errors\n", counts.size() - shown);
    return true;
}

Progress::Mode progress_mode(const Options& options) {
    const bool terminal = host_os::stderr_is_terminal();
    if (options.progress) return terminal ? Progress::Mode::terminal : Progress::Mode::lines;
    // Unasked, progress shows on a terminal, unless the video goes to a
    // program that writes to the same terminal.
    return terminal && options.output != "-" ? Progress::Mode::terminal : Progress::Mode::off;
}

}  // namespace

int run_command(const Options& options, PluginHost& host) {
    // Ctrl+C or SIGTERM stops the run after the frame (a frame in a worker
    // is ended at once), within a second whatever the script does.
    host_os::watch_stop_signals([&host] { host.interrupt(); });
    // A reader that closes the pipe makes writes fail, said as an error,
    // instead of ending the program with SIGPIPE.
    host_os::ignore_broken_pipe();
    Edit edit;
    if (const int status = open_input(options, &edit)) return status;
    if (const int status = choose_frames(options, &edit)) return status;
    if (const int status = find_script(options, &edit)) return status;
    const bool have_script = is_file(edit.script);
    if (options.info) {
        print_info(options, edit, host);
        return 0;
    }
    if (!have_script) {
        print_error("no script " + edit.script + ": frames pass through unchanged" +
                    (options.strict ? " (an error with --strict)" : ""));
        if (options.strict) return 1;
    } else {
        print_error("script " + edit.script);
    }
    std::unique_ptr<FrameSink> sink;
    if (const int status = open_output(options, *edit.source, &sink)) return status;
    if (const int status = apply_script_limits(options, edit, host)) return status;

    ScriptLog log(edit.dir + host_os::kSeparator + "lua_err.txt");
    log.skip_existing();
    desktop.answer = options.answer;
    host.set_frame_n(edit.length);
    host.begin(edit.source.get(), edit.max_w, edit.max_h, edit.edited_file, options.tracks,
               &desktop_services);
    std::string error;
    if (edit.start > 0 && !host.seek(edit.start, &error)) {
        print_error(error);
        host.end();
        return 1;
    }
    Progress progress(progress_mode(options), edit.stop == INT_MAX ? -1 : edit.stop - edit.start);
    RunState state = filter_frames(host, edit, sink.get(), log, progress);
    int status = finish_output(options, sink.get(), state);
    click_preview(host, options);
    host.end();
    log.poll(-1, [](const std::string& text) { print_error(text); });

    if (summarise_script_errors(log, state.done) && options.strict) status = std::max(status, 1);
    return status;
}
