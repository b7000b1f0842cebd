// quorvel run: the script over the input, frame by frame, into the output.
#include "run/run_command.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "docs/script_messages.h"
#include "edit.h"
#include "host/host_os.h"
#include "media/chunk_tags.h"
#include "media/frame_sink.h"
#include "media/frame_source.h"
#include "media/read_ahead.h"
#include "run/background_writer.h"
#include "run/progress.h"
#include "run/progress_report.h"
#include "run/run_info.h"
#include "run/run_output.h"
#include "run/script_log.h"
#include "run/timecodes.h"

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

struct RunState {
    int status = 0;
    bool output_failed = false;  // a write failed: the output stops there
    int done = 0;                // frames run and written
    int processed = 0;           // frames the filter ran on
    int last = -1;               // the last frame's number
    std::int64_t origin = 0;     // the input's time that is the output's 0
    std::int64_t end_pts = 0;
    // The input could not be read on, or ended in damage: the output stops
    // where it did.
    bool input_stopped = false;
    // The first frame found no video_filter: the script did not load, and
    // the run ended there.
    bool script_not_loaded = false;
};

// The input's time that becomes the output's 0.  A run from the input's
// first frame keeps what comes before that frame in other streams (audio
// that starts earlier, as players show the file); a run from a later frame
// is a cut, and the cut starts at 0.
std::int64_t output_origin(const FrameSource& source, int first_frame, std::int64_t first_pts) {
    if (first_frame > 0 || source.start_time() == FrameSource::kNoTime) return first_pts;
    return std::min(first_pts, source.start_time());
}

// One step of the input's rate in its time units (at least 1).
std::int64_t frame_ticks(const FrameSource& source) {
    return std::max<std::int64_t>(
        1, (1LL * source.tb_den() * source.rate_den()) /
               std::max<std::int64_t>(1, 1LL * source.tb_num() * source.rate_num()));
}

// Where frame n, shown at `pts`, ends: where the next frame starts, when
// that is known, else one step of the rate later.
std::int64_t frame_end(const FrameSource& source, int n, std::int64_t pts) {
    const std::int64_t next = source.time_of(n + 1);
    return next != FrameSource::kNoTime && next > pts ? next : pts + frame_ticks(source);
}

// A cut (a start, an end, --frames or --warmup) is a chunk of a longer run:
// its output names the input, the input's frames it holds and where the
// last of them ends, for join (the sink adds where its 0 lies).  A run of
// the whole input names nothing; nor does one whose frames' times are not
// known before they are read (a pipe), which no chunk could start in.
ChunkTags chunk_of(const Options& options, const Edit& edit) {
    ChunkTags chunk;
    const bool cut = options.start.is_time || options.start.frame > 0 || options.end_given ||
                     options.duration_given || options.frames >= 0 || options.warmup >= 0;
    if (!cut || edit.stop == INT_MAX || edit.stop <= edit.start) return chunk;
    const std::int64_t last_pts = edit.source->time_of(edit.stop - 1);
    if (last_pts == FrameSource::kNoTime) return chunk;
    chunk.source = is_file(options.input) ? absolute(options.input) : options.input;
    chunk.first = edit.start;
    chunk.last = edit.stop - 1;
    chunk.end_pts = frame_end(*edit.source, chunk.last, last_pts);
    return chunk;
}

// A time in the input's units as microseconds.
std::int64_t output_us(const FrameSource& source, std::int64_t ticks) {
    return static_cast<std::int64_t>(static_cast<long double>(ticks) * source.tb_num() * 1000000 /
                                     source.tb_den());
}

// Runs the frames through the filter and writes them out.
RunState filter_frames(const Options& options, PluginHost& host, Edit& edit, FrameSink* sink,
                       Timecodes* timecodes, ProgressReport* report, ScriptLog& log,
                       Progress& progress) {
    RunState run;
    std::string error;
    const FrameSource& source = *edit.source;
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
                run.input_stopped = true;
            }
            break;
        }
        if (run.done == 0) {
            run.origin = output_origin(source, edit.start, pts);
            if (sink) sink->set_origin(run.origin);
        }
        if (!host.process(n, &error)) {
            progress.message(error);
            run.status = 1;
        }
        ++run.processed;
        const std::vector<std::string> messages = log.poll(n, show);
        // A script that never loads filters nothing: the run ends with its
        // message instead of writing the input out unchanged.
        if (n == edit.start && !options.keep_going &&
            std::find(messages.begin(), messages.end(), kNoVideoFilter) != messages.end()) {
            progress.message(
                "the script did not load, or defines no video_filter: the run ends here "
                "(--keep-going passes the frames through)");
            run.status = 1;
            run.script_not_loaded = true;
            break;
        }
        // The frame is written even when the filter failed on it, as the
        // editor would show it, so the output keeps one frame per input frame.
        // It is written while the script works on the next one; a failure
        // shows at the next frame's write (or below, for the last frame).
        // The frame lasts until the next one starts, where that is known.
        const std::int64_t end = frame_end(source, n, pts);
        // The output is read in place when the next frame goes to the other
        // edit buffer, and copied when the script made the temporary buffer
        // its output (the next frame runs with that one).
        const auto write = host.output_kept_for_next_frame() ? &BackgroundWriter::write_in_place
                                                             : &BackgroundWriter::write;
        if (writer && !((*writer).*write)(host.output(), host.stride(), host.output_w(),
                                          host.output_h(), pts, end - pts, &error)) {
            output_failed();
            break;
        }
        if (timecodes) timecodes->add(pts - run.origin);
        run.end_pts = end;
        run.last = n;
        progress.frame_done(++run.done, n);
        if (report) report->frame_done(run.done, output_us(source, end - run.origin));
    }
    if (writer && !run.output_failed && !writer->drain(&error)) output_failed();
    writer.reset();
    progress.end(run.done, run.last);
    if (report) report->end(run.done, output_us(source, run.end_pts - run.origin));
    // What the input reported about the frames run: damage is an error,
    // the frames before it are written.
    if (!run.input_stopped && run.done > 0) {
        bool cut_short = false;
        for (const std::string& text : source.damage(edit.start, run.last, &cut_short)) {
            progress.message(text);
            run.status = 1;
        }
        run.input_stopped = cut_short;
    }
    // A script that made the video longer than the run could go is told why
    // it stopped.
    if (run.status == 0 && host.frame_n() > edit.length && run.last + 1 < host.frame_n()) {
        const bool input_end = source.frame_count() >= 0 && run.last + 1 >= source.frame_count();
        progress.message(
            "the script asked for " + std::to_string(host.frame_n()) + " frames; " +
            (input_end ? "the input has " + std::to_string(source.frame_count())
                       : "the command line stops the run at " + std::to_string(run.last + 1)));
    }
    if (run.done == 0 && run.status == 0 && !source.endless() && !run.script_not_loaded) {
        progress.message(edit.input + ": no frames to run");
        run.status = 1;
    }
    return run;
}

// --warmup: frames first..start-1 run through the script and are not
// written, so that what the script keeps from earlier frames (buffers 2 to
// 19, Lua globals) is in place when the output begins.  The script sees
// info.warmup.  Its errors there are shown and fail the run as any script
// error does (they count as outside the run's frames); so does a frame the
// filter fails on (*failed).  False with a message when the frames cannot
// be read or the run is stopped.
bool warm_up(PluginHost& host, const Edit& edit, int first, ScriptLog& log, bool* failed,
             std::string* error) {
    if (!host.set_warmup(true)) {
        *error = "this plug-in cannot warm a script up (--warmup)";
        return false;
    }
    bool ok = true;
    for (int n = first; ok && n < edit.start; ++n) {
        if (host_os::stop_requested()) {
            *error = std::string("stopped by ") + host_os::stop_signal_name() + " in the warm-up";
            ok = false;
            break;
        }
        std::int64_t pts = 0;
        if (!host.read_next(&pts, error)) {
            if (error->empty()) *error = edit.input + " ends at frame " + std::to_string(n);
            ok = false;
        } else if (!host.process(n, error)) {
            print_error(*error + " (in the warm-up)");
            error->clear();
            *failed = true;
        }
        log.poll(-1, [](const std::string& text) { print_error(text); });
    }
    host.set_warmup(false);
    return ok;
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
    if (run.input_stopped)
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

// The script's messages over the run: how many frames had one, and each
// different message (whole, however many lines it has) with how often.
bool summarise_script_errors(const ScriptLog& log, int frames) {
    const auto& counts = log.counts();
    if (counts.empty()) return false;
    if (log.frames_with_errors() == 0)
        std::fprintf(stderr, "quorvel: script errors outside the frames (the log is %s):\n",
                     log.path().c_str());
    else
        std::fprintf(stderr, "quorvel: script errors in %d of %d frame%s (the log is %s):\n",
                     log.frames_with_errors(), frames, frames == 1 ? "" : "s", log.path().c_str());
    for (const auto& [message, times] : counts) {
        const std::string count = std::to_string(times) + "x ";
        std::fprintf(stderr, "  %s%s\n", count.c_str(),
                     indented(message, "  " + std::string(count.size(), ' ')).c_str());
    }
    if (log.other_messages() > 0)
        std::fprintf(stderr, "  and %zu other errors\n", log.other_messages());
    return true;
}

bool writes_y4m(std::string output) {
    for (char& c : output) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return output == "-" ||
           (output.size() > 4 && output.compare(output.size() - 4, 4, ".y4m") == 0);
}

// Y4M carries one fixed rate: the times of a variable-rate input are lost
// unless they go to a timecodes file (or the frames onto the rate's grid).
void note_lost_timing(const Options& options, const Edit& edit) {
    if (!edit.variable_timing || options.timeline == "cfr" || !options.timecodes.empty() ||
        !writes_y4m(options.output))
        return;
    print_error("note: " + edit.input + " has variable timing (" + edit.timing +
                "), and Y4M keeps only its rate: --timecodes FILE writes the frames' times, "
                "--timeline cfr puts the frames on the rate's grid");
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
    const std::string note = edit.script_note.empty() ? "" : " (" + edit.script_note + ")";
    if (!have_script) {
        print_error("no script " + edit.script + note + ": frames pass through unchanged" +
                    (options.strict ? " (an error with --strict)" : ""));
        if (options.strict) return 1;
    } else {
        print_error("script " + edit.script + note);
    }
    if (!options.timecodes.empty())
        if (const int status = check_overwrite(options, options.timecodes)) return status;
    std::unique_ptr<FrameSink> sink;
    if (const int status = open_output(options, *edit.source, chunk_of(options, edit), &sink))
        return status;
    if (const int status = apply_script_limits(options, edit, host)) return status;

    ScriptLog log(edit.dir + host_os::kSeparator + "lua_err.txt");
    log.skip_existing();
    log.set_script(edit.script);
    const bool heard = log.listen(host);
    std::error_code no_such_path;
    if (std::filesystem::exists(log.path(), no_such_path) && !is_file(log.path()))
        print_error("the script's log " + log.path() + " is no file that can be written: " +
                    (heard ? "its messages are shown here only" : "its messages are lost"));
    desktop.answer = options.answer;
    host.set_frame_n(edit.length);
    // The next frames are decoded while the script works on this one.
    if (options.read_ahead) edit.source = read_ahead(std::move(edit.source), edit.cap);
    // The frames are written while the next one runs, from where they are.
    host.alternate_edit_buffers(sink != nullptr);
    host.begin(edit.source.get(), edit.max_w, edit.max_h, edit.edited_file, options.tracks,
               &desktop_services);
    std::string error;
    const int first = edit.start - std::min(std::max(options.warmup, 0), edit.start);
    bool warmup_failed = false;
    if ((first > 0 && !host.seek(first, &error)) ||
        (first < edit.start && !warm_up(host, edit, first, log, &warmup_failed, &error))) {
        print_error(error);
        host.end();
        return 1;
    }
    note_lost_timing(options, edit);
    std::optional<Timecodes> timecodes;
    if (!options.timecodes.empty()) timecodes.emplace(edit.source->tb_num(), edit.source->tb_den());
    Progress progress(progress_mode(options), edit.stop == INT_MAX ? -1 : edit.stop - edit.start);
    std::unique_ptr<ProgressReport> report;
    if (!options.progress_url.empty() &&
        !(report = ProgressReport::open(options.progress_url, &error))) {
        print_error(error);
        host.end();
        return 1;
    }
    RunState state = filter_frames(options, host, edit, sink.get(),
                                   timecodes ? &*timecodes : nullptr, report.get(), log, progress);
    if (warmup_failed) state.status = std::max(state.status, 1);
    int status = finish_output(options, sink.get(), state);
    if (timecodes && timecodes->size() > 0 && !timecodes->write(options.timecodes, &error)) {
        print_error(error);
        status = std::max(status, 1);
    }
    click_preview(host, options);
    host.end();
    log.poll(-1, [](const std::string& text) { print_error(text); });

    // A run in which the script failed has written every frame, and fails.
    // (A script that never loaded said all it had to at the first frame.)
    if (!state.script_not_loaded && summarise_script_errors(log, state.processed) &&
        !options.keep_going)
        status = std::max(status, 1);
    return status;
}
