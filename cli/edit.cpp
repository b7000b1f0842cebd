#include "edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "host/host_os.h"
#include "host/plugin_host.h"
#include "media/frame_grid.h"
#include "media/upright.h"

namespace {

std::string base_name(const std::string& path) { return host_os::base_name(path); }

bool is_generated(const std::string& input) {
    return input.rfind("blank:", 0) == 0 || input.rfind("pattern:", 0) == 0;
}

}  // namespace

std::string script_file_for(int script_no) {
    return script_no == 0 ? "filter.lua" : "filter" + std::to_string(script_no) + ".lua";
}

std::string absolute(const std::string& path) { return host_os::absolute_path(path); }
std::string folder_of(const std::string& path) { return host_os::folder_of(path); }
bool is_file(const std::string& path) { return host_os::is_regular_file(path); }

std::string plugin_path() {
    return host_os::program_folder() + host_os::kSeparator + "quorvel.auf";
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n(quorvel run --help shows the options)\n", message.c_str());
    return 2;
}

void print_error(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n", message.c_str());
}

std::uint64_t physical_memory() { return host_os::physical_memory(); }

namespace {

// Frame buffers alive at once: the editor's two, the filter's slots 2 to 19
// and the frames kept for copyframe.
constexpr int kFrameBuffers = 2 + 18 + 5;

// The frame buffers must fit the editor's 32-bit sizes (a buffer's bytes
// below 2^31) and the machine; 0, or the exit status (2 when --max asked
// for the size, 1 when the input has it).
int check_buffer_size(const Options& options, const Edit& edit) {
    const std::uint64_t bytes = 1ULL * edit.max_w * edit.max_h * sizeof(PIXEL_YC);
    const std::string size = std::to_string(edit.max_w) + "x" + std::to_string(edit.max_h);
    const std::string what =
        options.max_w ? "--max " + size : edit.input + ": a picture of " + size;
    std::string problem;
    if (bytes >= (1ULL << 31)) {
        problem = what + " needs frame buffers of " + std::to_string(bytes >> 20) +
                  " MiB; the editor's limit is 2048 MiB";
    } else if (const std::uint64_t memory = physical_memory();
               memory && bytes * kFrameBuffers > memory) {
        problem = what + " needs about " + std::to_string(bytes * kFrameBuffers >> 20) +
                  " MiB for " + std::to_string(kFrameBuffers) +
                  " frame buffers; this machine has " + std::to_string(memory >> 20) + " MiB";
    }
    if (problem.empty()) return 0;
    if (options.max_w) return usage_error(problem);
    print_error(problem);
    return 1;
}

std::string rate_text(const FrameSource& s) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g fps",
                  s.rate_den() ? static_cast<double>(s.rate_num()) / s.rate_den() : 0.0);
    return text;
}

// Turns a picture stored on its side upright, unless told not to.
void turn_upright(const Options& options, Edit* edit) {
    const int turn = upright_turn(edit->source->display_matrix);
    const std::string degrees = std::to_string(turn) + " degrees clockwise";
    if (turn == 0) {
        edit->rotation = "none";
    } else if (turn < 0) {
        edit->rotation = "a display matrix that mirrors or turns by an odd angle: kept as a tag";
    } else if (!options.autorotate) {
        edit->rotation = "stored on its side (" + degrees +
                         " to show it): kept as stored, with the tag (--no-autorotate)";
    } else {
        std::string note;
        edit->source = upright(std::move(edit->source), &note);
        edit->rotation = "stored on its side: turned " + degrees +
                         " before the script, written upright without the tag";
    }
}

// Puts the source on its frame grid for --timeline cfr, and says which
// timeline applies.
void choose_timeline(const Options& options, Edit* edit) {
    FrameSource& source = *edit->source;
    const bool cfr = options.timeline == "cfr";
    if (source.endless() || source.frame_count() < 0) {
        edit->timeline = std::string(cfr ? "cfr" : "source") + ": one frame per picture (" +
                         (source.endless() ? "a generated input" : "a stream") + ", " +
                         rate_text(source) + ")";
        return;
    }
    FrameGrid grid;
    std::string why;
    const bool placed = grid.build(source, &why);
    edit->variable_timing = placed && !(grid.steady() && grid.steps() == grid.pictures());
    const std::string counts = placed
                                   ? std::to_string(grid.pictures()) + " pictures over " +
                                         std::to_string(grid.steps()) + " steps of " +
                                         rate_text(source) + ": " + std::to_string(grid.repeats()) +
                                         " repeated, " + std::to_string(grid.drops()) + " dropped"
                                   : "";
    edit->timing = counts;
    if (!cfr) {
        edit->timeline = "source: one frame per picture, timestamps kept";
        if (edit->variable_timing)
            edit->timeline += "; the timing is variable (" + counts + "; --timeline cfr makes " +
                              std::to_string(grid.steps()) + " frames of them)";
        else if (placed)
            edit->timeline += " (a steady " + rate_text(source) + ")";
        return;
    }
    std::string note;
    edit->source = on_frame_grid(std::move(edit->source), &note);
    if (!note.empty()) {
        print_error(edit->input + ": " + note);
        edit->timeline = "cfr impossible (" + why + "): one frame per picture";
    } else if (edit->variable_timing) {
        edit->timeline = "cfr: one frame per step of " + rate_text(source) + " (" + counts + ")";
    } else {
        edit->timeline =
            "cfr: the pictures keep a steady " + rate_text(source) + ", one frame each";
    }
}

}  // namespace

int open_input(const Options& options, Edit* edit) {
    std::string error;
    bool usage = false;
    edit->input = options.input == "-" ? "standard input" : options.input;
    edit->generated = is_generated(options.input);
    edit->source = open_source(options.input, &error, &usage, options.codec_threads);
    if (!edit->source) {
        if (usage) return usage_error(error);
        print_error(error);
        return 1;
    }
    turn_upright(options, edit);
    choose_timeline(options, edit);
    const FrameSource& source = *edit->source;
    edit->max_w = options.max_w ? options.max_w : source.width();
    edit->max_h = options.max_h ? options.max_h : source.height();
    if (edit->max_w < source.width() || edit->max_h < source.height())
        return usage_error("--max " + std::to_string(edit->max_w) + "x" +
                           std::to_string(edit->max_h) + " is smaller than the input (" +
                           std::to_string(source.width()) + "x" + std::to_string(source.height()) +
                           ")");
    return check_buffer_size(options, *edit);
}

namespace {

// Seconds from the input's first frame to frame n: by the frames' own
// timestamps where the source knows them, else by its rate.
long double seconds_at(const FrameSource& s, long long n) {
    const std::int64_t t0 = s.time_of(0),
                       t = s.time_of(static_cast<int>(std::min<long long>(n, INT_MAX)));
    if (t0 != FrameSource::kNoTime && t != FrameSource::kNoTime)
        return static_cast<long double>(t - t0) * s.tb_num() / s.tb_den();
    return s.rate_num() > 0 ? static_cast<long double>(n) * s.rate_den() / s.rate_num() : n / 30.0L;
}

// The first frame that starts at or after `seconds` (a microsecond's slack
// for timestamps that round); the frame count when it is past the end.
long long first_frame_from(const FrameSource& s, long double seconds) {
    const long double at = seconds - 1e-6L;
    const int count = s.frame_count();
    if (count < 0 || s.time_of(0) == FrameSource::kNoTime) {
        // By the rate: frame n starts at n / rate.
        const long double rate =
            s.rate_den() > 0 ? static_cast<long double>(s.rate_num()) / s.rate_den() : 30;
        const long double n = std::ceil(at * rate);
        return n <= 0 ? 0 : n >= INT_MAX ? INT_MAX : static_cast<long long>(n);
    }
    long long lo = 0, hi = count;  // the answer lies in [lo, hi]
    while (lo < hi) {
        const long long mid = lo + (hi - lo) / 2;
        if (seconds_at(s, mid) >= at)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

std::string seconds_text(long double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g s", static_cast<double>(seconds));
    return text;
}

}  // namespace

int choose_frames(const Options& options, Edit* edit) {
    const FrameSource& source = *edit->source;
    const Position& start = options.start;
    const long long first = start.is_time ? first_frame_from(source, start.seconds) : start.frame;
    const std::string start_text = start.is_time ? "the start " + seconds_text(start.seconds)
                                                 : "--start " + std::to_string(first);
    const int count = source.frame_count();
    if ((count >= 0 && first >= count) || first >= INT_MAX)
        return usage_error(start_text + " is past the end of " + options.input + " (" +
                           std::to_string(count) + " frames, 0 to " + std::to_string(count - 1) +
                           ")");
    edit->start = static_cast<int>(first);
    // Where the run stops: after --end's frame, at -to's time, -t after the start.
    long long cap = INT_MAX;
    if (options.end_given)
        cap = options.end.is_time ? first_frame_from(source, options.end.seconds)
                                  : options.end.frame + 1;
    if (options.duration_given)
        cap = options.duration.is_time
                  ? first_frame_from(source, seconds_at(source, first) + options.duration.seconds)
                  : first + options.duration.frame;
    if (options.frames >= 0) cap = std::min(cap, first + options.frames);
    if ((options.end_given || options.duration_given) && cap <= first)
        return usage_error("the end is at or before " + start_text + ": no frames to run");
    edit->cap = static_cast<int>(std::min<long long>(cap, INT_MAX));
    if (count >= 0)
        edit->length = count;
    else if (source.endless())
        edit->length = edit->cap != INT_MAX ? edit->cap : edit->start + 30;
    else
        edit->length = edit->cap;  // a pipe: unknown
    edit->stop = std::min(edit->length, edit->cap);
    return 0;
}

int find_script(const Options& options, Edit* edit) {
    const std::string file = script_file_for(options.tracks.empty() ? 0 : options.tracks[0]);
    const bool beside_input =
        options.script_dir.empty() && !edit->generated && options.input != "-";
    std::string dir = !options.script_dir.empty() ? options.script_dir
                      : beside_input              ? folder_of(options.input)
                                                  : ".";
    edit->dir = absolute(dir);
    if (!host_os::folder_can_be_entered(edit->dir))
        return usage_error("script folder " + edit->dir + " cannot be opened");
    // The input's folder has no script, the current folder has one: that
    // one runs (the editor would look only beside the file; a command line
    // is typed where the script is).
    const std::string current = absolute(".");
    if (beside_input && current != edit->dir && !is_file(edit->dir + host_os::kSeparator + file) &&
        is_file(current + host_os::kSeparator + file)) {
        edit->script_note = "the current folder's; there is none beside the input in " + edit->dir;
        edit->dir = current;
    } else if (beside_input && current != edit->dir &&
               !is_file(edit->dir + host_os::kSeparator + file)) {
        edit->script_note = "nor in the current folder";
    }
    const std::string folder = edit->dir + host_os::kSeparator;
    edit->edited_file =
        folder + (edit->generated || options.input == "-" ? "input.y4m" : base_name(options.input));
    edit->script = folder + file;
    return 0;
}

MemoryCap script_memory_cap(const Options& options, const Edit& edit) {
    if (options.memory_limit_given)
        return {options.memory_limit, options.memory_limit ? "--memory-limit" : "--memory-limit 0"};
    // The host's frames, and as much again for the decoder, the encoder and
    // the threads' stacks and heaps.
    const std::uint64_t frames = 1ULL * edit.max_w * edit.max_h * sizeof(PIXEL_YC) * kFrameBuffers;
    const host_os::MemoryCeiling ceiling = host_os::default_memory_cap(2 * frames + (256ULL << 20));
    return {ceiling.bytes, ceiling.bytes ? ceiling.source : "no limit known"};
}

int apply_script_limits(const Options& options, const Edit& edit, PluginHost& host) {
    host_os::detach_standard_input();
    const std::uint64_t memory = script_memory_cap(options, edit).bytes;
    if (!host.set_script_limits(options.frame_timeout, memory, options.sandbox) &&
        options.sandbox) {
        print_error("this plug-in cannot run scripts sandboxed");
        return 1;
    }
    // A script nobody vetted, and every script in the preview (a server
    // that must outlive it), runs in a worker process: the last wall if it
    // crashes the plug-in or escapes its budget.  Where there is no worker
    // (Windows) the plug-in's own guards are the defence.
    std::string why;
    if ((options.sandbox || options.command == Command::preview) &&
        !host.use_worker_process(host.worker_program(), &why) && !why.empty())
        print_error(why + "; the script runs in this process");
    return 0;
}
