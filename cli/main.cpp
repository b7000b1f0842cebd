// quorvel: runs a Quorvel script over video from the command line.
//
// It loads build/quorvel.auf the way the video editor loads a filter
// plug-in, feeds it frames from a file or a generated picture, and writes the
// filtered frames out.  See --help.
#include <limits.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "frame_sink.h"
#include "frame_source.h"
#include "options.h"
#include "plugin_host.h"

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

std::string base_name(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool is_generated(const std::string& input) {
    return input.rfind("blank:", 0) == 0 || input.rfind("pattern:", 0) == 0;
}

// The plug-in lives beside this program.
std::string plugin_path() {
    char self[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return "./quorvel.auf";
    self[n] = '\0';
    return folder_of(self) + "/quorvel.auf";
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "quorvel: %s\n(quorvel --help shows the options)\n", message.c_str());
    return 2;
}

void print_error(const std::string& message) { std::fprintf(stderr, "quorvel: %s\n", message.c_str()); }

// The input and what follows from it: the frame buffers' size, the script
// folder, the file name the editor reports and the number of frames.
struct Edit {
    std::unique_ptr<FrameSource> source;
    bool generated = false;  // blank: or pattern:, which has any number of frames
    int max_w = 0, max_h = 0;
    std::string dir;  // the script folder, absolute
    std::string edited_file;
    int frames = 0;
};

// Opens the input and sizes the frame buffers; 0, or the exit status.
int open_input(const Options& options, Edit* edit) {
    std::string error;
    edit->generated = is_generated(options.input);
    edit->source = open_source(options.input, &error);
    if (!edit->source) {
        print_error(error);
        return edit->generated ? 2 : 1;
    }
    const FrameSource& source = *edit->source;
    edit->max_w = options.max_w ? options.max_w : source.width();
    edit->max_h = options.max_h ? options.max_h : source.height();
    if (edit->max_w < source.width() || edit->max_h < source.height())
        return usage_error("--max " + std::to_string(edit->max_w) + "x" + std::to_string(edit->max_h) +
                           " is smaller than the input (" + std::to_string(source.width()) + "x" +
                           std::to_string(source.height()) + ")");
    return 0;
}

// Finds the script folder and names the edited file in it; 0, or the exit
// status.  The plug-in looks for its script beside the edited file.
int find_script_folder(const Options& options, Edit* edit) {
    std::string dir = options.script_dir;
    if (dir.empty()) dir = edit->generated ? "." : folder_of(options.input);
    edit->dir = absolute(dir);
    if (access(edit->dir.c_str(), X_OK) != 0) return usage_error("script folder " + edit->dir + " cannot be opened");
    edit->edited_file = edit->dir + "/" + (edit->generated ? "input.y4m" : base_name(options.input));
    return 0;
}

// The number of frames to run: 30 of a generated source, all of a file,
// unless --frames says otherwise (never more than a file has).
int frame_count(const Options& options, const Edit& edit) {
    const int frames = edit.generated ? 30 : edit.source->frame_count();
    if (options.frames < 0) return frames;
    return edit.generated ? options.frames : std::min(options.frames, frames);
}

// Opens --output, if any; 0, or the exit status.
int open_output(const Options& options, const FrameSource& source, std::unique_ptr<FrameSink>* sink) {
    if (options.output.empty()) return 0;
    std::FILE* stream = nullptr;
    if (options.output == "-") {
        // Standard output carries only the video: keep a private handle on
        // it for the frames and send everything else that writes to it (a
        // script's print, say) to standard error.
        const int video_fd = dup(STDOUT_FILENO);
        stream = video_fd >= 0 ? fdopen(video_fd, "wb") : nullptr;
        if (stream == nullptr || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
            print_error("cannot set up standard output");
            return 1;
        }
    }
    std::string error;
    *sink = open_sink(options.output, stream, source.rate_num(), source.rate_den(), &error);
    if (!*sink) {
        print_error(error);
        return 1;
    }
    return 0;
}

// The "frame n/N  fps" line on a terminal, rewritten after every frame.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(std::chrono::steady_clock::now()) {}
    void frame_done(int done, int total) const {
        if (!shown_) return;
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        std::fprintf(stderr, "\rframe %d/%d  %.1f fps ", done, total, seconds > 0 ? done / seconds : 0.0);
    }
    // A message between progress lines starts on a line of its own.
    void error(const std::string& message) const {
        std::fprintf(stderr, "%squorvel: %s\n", shown_ ? "\n" : "", message.c_str());
    }
    void end() const {
        if (shown_) std::fputc('\n', stderr);
    }

private:
    bool shown_;
    std::chrono::steady_clock::time_point start_;
};

// Runs every frame through the filter and writes it out; the exit status.
int filter_frames(PluginHost& host, const Edit& edit, FrameSink* sink, const Progress& progress) {
    std::string error;
    int status = 0;
    int n = 0;
    for (; n < host.frame_n(); ++n) {
        // A file has only its own frames, however many the script asks for.
        if (!edit.generated && n >= edit.source->frame_count()) break;
        if (!host.process(n, &error)) {
            progress.error(error);
            status = 1;
        }
        // The frame is written even when the filter failed on it, as the
        // editor would show it, so the output keeps one frame per input frame.
        if (sink && !sink->write(n, host.output(), host.stride(), host.output_w(), host.output_h(), &error)) {
            progress.error(error);
            status = 1;
            break;
        }
        progress.frame_done(n + 1, host.frame_n());
    }
    progress.end();
    if (!edit.generated && host.frame_n() > n && status == 0 && n == edit.source->frame_count())
        std::fprintf(stderr, "quorvel: the script asked for %d frames; the input has %d\n", host.frame_n(), n);
    return status;
}

// Completes the output; the exit status.
int finish_output(FrameSink* sink) {
    std::string error;
    if (sink == nullptr || sink->finish(&error)) return 0;
    print_error(error);
    return 1;
}

// --click: presses on the last frame; their boxes go to standard output,
// unless that carries the video.
void click_preview(PluginHost& host, const Options& options) {
    desktop.boxes_to_stdout = options.output != "-";
    for (const auto& [x, y] : options.clicks) host.click(x, y);
    desktop.boxes_to_stdout = false;
}

// Shows the script's error log after the run; true when it had errors.
bool show_script_errors(const std::string& dir) {
    const std::string log = read_file(dir + "/lua_err.txt");
    if (log.empty()) return false;
    std::fprintf(stderr, "quorvel: the script reported errors (%s/lua_err.txt):\n%s", dir.c_str(), log.c_str());
    if (log.back() != '\n') std::fputc('\n', stderr);
    return true;
}

int run(const Options& options, PluginHost& host) {
    Edit edit;
    if (const int status = open_input(options, &edit)) return status;
    if (const int status = find_script_folder(options, &edit)) return status;
    edit.frames = frame_count(options, edit);
    std::unique_ptr<FrameSink> sink;
    if (const int status = open_output(options, *edit.source, &sink)) return status;

    desktop.answer = options.answer;
    host.set_frame_n(edit.frames);
    host.begin(edit.source.get(), edit.max_w, edit.max_h, edit.edited_file, options.tracks, &desktop_services);
    const Progress progress(isatty(STDERR_FILENO) && options.output != "-");
    int status = filter_frames(host, edit, sink.get(), progress);
    if (finish_output(sink.get()) != 0) status = 1;
    click_preview(host, options);
    host.end();

    if (show_script_errors(edit.dir) && options.strict) status = 1;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // The plug-in's filter table says which tracks there are, with their
    // ranges and defaults, so it is loaded before the options are read.
    PluginHost host;
    std::string load_error;
    const bool loaded = host.load(plugin_path(), &load_error);

    Options options;
    std::string error;
    bool help = false;
    if (!parse_options(argc - 1, argv + 1, loaded ? &host.table() : nullptr, &options, &error, &help))
        return usage_error(error);
    if (help) {
        std::fputs(usage_text(loaded ? &host.table() : nullptr).c_str(), stdout);
        return 0;
    }
    if (!loaded) {
        print_error(load_error);
        return 1;
    }
    return run(options, host);
}
