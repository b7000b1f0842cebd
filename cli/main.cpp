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

int run(const Options& options, PluginHost& host) {
    std::string error;
    auto source = open_source(options.input, &error);
    if (!source) {
        std::fprintf(stderr, "quorvel: %s\n", error.c_str());
        return is_generated(options.input) ? 2 : 1;
    }
    const int max_w = options.max_w ? options.max_w : source->width();
    const int max_h = options.max_h ? options.max_h : source->height();
    if (max_w < source->width() || max_h < source->height())
        return usage_error("--max " + std::to_string(max_w) + "x" + std::to_string(max_h) +
                           " is smaller than the input (" + std::to_string(source->width()) + "x" +
                           std::to_string(source->height()) + ")");

    const bool generated = is_generated(options.input);
    std::string dir = options.script_dir;
    if (dir.empty()) dir = generated ? "." : folder_of(options.input);
    dir = absolute(dir);
    if (access(dir.c_str(), X_OK) != 0) return usage_error("script folder " + dir + " cannot be opened");
    const std::string edited_file = dir + "/" + (generated ? "input.y4m" : base_name(options.input));

    int frames = generated ? 30 : source->frame_count();
    if (options.frames >= 0) frames = generated ? options.frames : std::min(options.frames, frames);

    std::unique_ptr<FrameSink> sink;
    if (!options.output.empty()) {
        std::FILE* stream = nullptr;
        if (options.output == "-") {
            // Standard output carries only the video: keep a private handle
            // on it for the frames and send everything else that writes to
            // it (a script's print, say) to standard error.
            const int video_fd = dup(STDOUT_FILENO);
            stream = video_fd >= 0 ? fdopen(video_fd, "wb") : nullptr;
            if (stream == nullptr || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
                std::fprintf(stderr, "quorvel: cannot set up standard output\n");
                return 1;
            }
        }
        sink = open_sink(options.output, stream, source->rate_num(), source->rate_den(), &error);
        if (!sink) {
            std::fprintf(stderr, "quorvel: %s\n", error.c_str());
            return 1;
        }
    }

    desktop.answer = options.answer;
    host.set_frame_n(frames);
    host.begin(source.get(), max_w, max_h, edited_file, options.tracks, &desktop_services);

    const bool progress = isatty(STDERR_FILENO) && options.output != "-";
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    int n = 0;
    for (; n < host.frame_n(); ++n) {
        // A file has only its own frames, however many the script asks for.
        if (!generated && n >= source->frame_count()) break;
        if (!host.process(n, &error)) {
            std::fprintf(stderr, "%squorvel: %s\n", progress ? "\n" : "", error.c_str());
            status = 1;
        }
        // The frame is written even when the filter failed on it, as the
        // editor would show it, so the output keeps one frame per input frame.
        if (sink && !sink->write(n, host.output(), host.stride(), host.output_w(), host.output_h(), &error)) {
            std::fprintf(stderr, "%squorvel: %s\n", progress ? "\n" : "", error.c_str());
            status = 1;
            break;
        }
        if (progress) {
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            std::fprintf(stderr, "\rframe %d/%d  %.1f fps ", n + 1, host.frame_n(),
                         seconds > 0 ? (n + 1) / seconds : 0.0);
        }
    }
    if (progress) std::fputc('\n', stderr);
    if (!generated && host.frame_n() > n && status == 0 && n == source->frame_count())
        std::fprintf(stderr, "quorvel: the script asked for %d frames; the input has %d\n", host.frame_n(), n);
    if (sink && !sink->finish(&error)) {
        std::fprintf(stderr, "quorvel: %s\n", error.c_str());
        status = 1;
    }

    desktop.boxes_to_stdout = options.output != "-";
    for (const auto& [x, y] : options.clicks) host.click(x, y);
    desktop.boxes_to_stdout = false;
    host.end();

    const std::string log = read_file(dir + "/lua_err.txt");
    if (!log.empty()) {
        std::fprintf(stderr, "quorvel: the script reported errors (%s/lua_err.txt):\n%s", dir.c_str(), log.c_str());
        if (log.back() != '\n') std::fputc('\n', stderr);
        if (options.strict) status = 1;
    }
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
        std::fprintf(stderr, "quorvel: %s\n", load_error.c_str());
        return 1;
    }
    return run(options, host);
}
