#include "edit.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace {

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_generated(const std::string& input) {
    return input.rfind("blank:", 0) == 0 || input.rfind("pattern:", 0) == 0;
}

}  // namespace

std::string script_file_for(int script_no) {
    return script_no == 0 ? "filter.lua" : "filter" + std::to_string(script_no) + ".lua";
}

std::string absolute(const std::string& path) {
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool is_file(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string plugin_path() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "./quorvel.auf";
    self[n] = '\0';
    return folder_of(self) + "/quorvel.auf";
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n(quorvel run --help shows the options)\n", message.c_str());
    return 2;
}

void print_error(const std::string& message) { std::fprintf(stderr, "quorvel: %s\n", message.c_str()); }

std::uint64_t physical_memory() {
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGE_SIZE);
    return pages > 0 && page > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page) : 0;
}

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
    const std::string what = options.max_w ? "--max " + size : edit.input + ": a picture of " + size;
    std::string problem;
    if (bytes >= (1ULL << 31)) {
        problem = what + " needs frame buffers of " + std::to_string(bytes >> 20) +
                  " MiB; the editor's limit is 2048 MiB";
    } else if (const std::uint64_t memory = physical_memory(); memory && bytes * kFrameBuffers > memory) {
        problem = what + " needs about " + std::to_string(bytes * kFrameBuffers >> 20) + " MiB for " +
                  std::to_string(kFrameBuffers) + " frame buffers; this machine has " + std::to_string(memory >> 20) +
                  " MiB";
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
        return usage_error("--max " + std::to_string(edit->max_w) + "x" + std::to_string(edit->max_h) +
                           " is smaller than the input (" + std::to_string(source.width()) + "x" +
                           std::to_string(source.height()) + ")");
    return check_buffer_size(options, *edit);
}

int choose_frames(const Options& options, Edit* edit) {
    const FrameSource& source = *edit->source;
    edit->start = options.start;
    if (options.end >= 0) edit->cap = options.end + 1;
    if (options.frames >= 0) edit->cap = static_cast<int>(std::min<long long>(edit->cap, 1LL * edit->start + options.frames));
    const int count = source.frame_count();
    if (count >= 0 && edit->start >= count)
        return usage_error("--start " + std::to_string(edit->start) + " is past the end of " + options.input + " (" +
                           std::to_string(count) + " frames, 0 to " + std::to_string(count - 1) + ")");
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
    if (access(edit->dir.c_str(), X_OK) != 0) return usage_error("script folder " + edit->dir + " cannot be opened");
    edit->edited_file =
        edit->dir + "/" + (edit->generated || options.input == "-" ? "input.y4m" : base_name(options.input));
    edit->script = edit->dir + "/" + script_file_for(options.tracks.empty() ? 0 : options.tracks[0]);
    return 0;
}
