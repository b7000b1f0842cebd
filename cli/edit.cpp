#include "edit.h"

#include <algorithm>
#include <cstdio>

#include "host/host_os.h"
#include "host/plugin_host.h"

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

}  // namespace

int open_input(const Options& options, Edit* edit) {
    std::string error;
    bool usage = false;
    edit->input = options.input == "-" ? "standard input" : options.input;
    edit->generated = is_generated(options.input);
    edit->source = open_source(options.input, &error, &usage);
    if (!edit->source) {
        if (usage) return usage_error(error);
        print_error(error);
        return 1;
    }
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

int choose_frames(const Options& options, Edit* edit) {
    const FrameSource& source = *edit->source;
    edit->start = options.start;
    if (options.end >= 0) edit->cap = options.end + 1;
    if (options.frames >= 0)
        edit->cap =
            static_cast<int>(std::min<long long>(edit->cap, 1LL * edit->start + options.frames));
    const int count = source.frame_count();
    if (count >= 0 && edit->start >= count)
        return usage_error("--start " + std::to_string(edit->start) + " is past the end of " +
                           options.input + " (" + std::to_string(count) + " frames, 0 to " +
                           std::to_string(count - 1) + ")");
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
    std::string dir = options.script_dir;
    if (dir.empty()) dir = edit->generated || options.input == "-" ? "." : folder_of(options.input);
    edit->dir = absolute(dir);
    if (!host_os::folder_can_be_entered(edit->dir))
        return usage_error("script folder " + edit->dir + " cannot be opened");
    const std::string folder = edit->dir + host_os::kSeparator;
    edit->edited_file =
        folder + (edit->generated || options.input == "-" ? "input.y4m" : base_name(options.input));
    edit->script = folder + script_file_for(options.tracks.empty() ? 0 : options.tracks[0]);
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
