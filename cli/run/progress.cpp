#include "run/progress.h"

#include <cstdio>

namespace {

std::string clock_text(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

Progress::Progress(Mode mode, int total)
    : mode_(mode), total_(total), start_(std::chrono::steady_clock::now()), last_(start_) {}

std::string Progress::line(int done, int frame) const {
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    const double fps = seconds > 0 ? done / seconds : 0.0;
    char text[160];
    if (total_ > 0) {
        const std::string left = fps > 0 ? clock_text((total_ - done) / fps) : "?";
        std::snprintf(text, sizeof text, "frame %d (%d/%d, %d%%)  %.1f fps  %s left", frame, done,
                      total_, static_cast<int>(100.0 * done / total_), fps, left.c_str());
    } else {
        std::snprintf(text, sizeof text, "frame %d (%d done)  %.1f fps  %s", frame, done, fps,
                      clock_text(seconds).c_str());
    }
    return text;
}

void Progress::frame_done(int done, int frame) {
    if (mode_ == Mode::off) return;
    const auto now = std::chrono::steady_clock::now();
    if (mode_ == Mode::terminal) {
        // Rewriting a terminal line costs little, but not every frame.
        if (now - last_ < std::chrono::milliseconds(100) && done != total_) return;
        last_ = now;
        std::fprintf(stderr, "\r%s\033[K", line(done, frame).c_str());
        on_line_ = true;
        return;
    }
    if (now - last_ < std::chrono::seconds(1)) return;
    last_ = now;
    std::fprintf(stderr, "%s\n", line(done, frame).c_str());
}

void Progress::message(const std::string& text) {
    if (on_line_) std::fputc('\n', stderr);
    on_line_ = false;
    std::fprintf(stderr, "quorvel: %s\n", text.c_str());
}

void Progress::end(int done, int frame) {
    if (mode_ == Mode::off) return;
    if (mode_ == Mode::terminal)
        std::fprintf(stderr, "\r%s\033[K\n", line(done, frame).c_str());
    else
        std::fprintf(stderr, "%s\n", line(done, frame).c_str());
    on_line_ = false;
}
