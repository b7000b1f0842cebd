#include "run/progress_report.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "media/media_libraries.h"

std::string ProgressReport::block(int frames, std::int64_t out_time_us, double seconds, bool last) {
    char text[512];
    const std::int64_t us = out_time_us < 0 ? 0 : out_time_us;
    const double fps = seconds > 0 ? frames / seconds : 0;
    char speed[32] = "N/A";
    if (seconds > 0 && us > 0) std::snprintf(speed, sizeof speed, "%.3gx", us / 1e6 / seconds);
    std::snprintf(text, sizeof text,
                  "frame=%d\nfps=%.2f\nstream_0_0_q=-1.0\nbitrate=N/A\ntotal_size=N/A\n"
                  "out_time_us=%lld\nout_time_ms=%lld\nout_time=%02lld:%02lld:%02lld.%06lld\n"
                  "dup_frames=0\ndrop_frames=0\nspeed=%s\nprogress=%s\n",
                  frames, fps, static_cast<long long>(us), static_cast<long long>(us),
                  static_cast<long long>(us / 3600000000LL),
                  static_cast<long long>(us / 60000000LL % 60),
                  static_cast<long long>(us / 1000000LL % 60), static_cast<long long>(us % 1000000),
                  speed, last ? "end" : "continue");
    return text;
}

void ProgressReport::frame_done(int frames, std::int64_t out_time_us) {
    const auto now = std::chrono::steady_clock::now();
    if (failed_ || now - last_ < std::chrono::milliseconds(500)) return;
    last_ = now;
    failed_ = !write_(
        block(frames, out_time_us, std::chrono::duration<double>(now - start_).count(), false));
}

void ProgressReport::end(int frames, std::int64_t out_time_us) {
    if (failed_) return;
    const auto now = std::chrono::steady_clock::now();
    failed_ = !write_(
        block(frames, out_time_us, std::chrono::duration<double>(now - start_).count(), true));
}

std::unique_ptr<ProgressReport> ProgressReport::open(const std::string& url, std::string* error) {
    // A stream of ours: written and flushed block by block.
    const auto to_stream = [](std::FILE* f, bool owned) {
        std::shared_ptr<std::FILE> file(f, [owned](std::FILE* g) {
            if (owned) std::fclose(g);
        });
        return [file](const std::string& text) {
            return std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                   std::fflush(file.get()) == 0;
        };
    };
    if (url == "pipe:1" || url == "pipe:")
        return std::make_unique<ProgressReport>(to_stream(stdout, false));
    if (url == "pipe:2") return std::make_unique<ProgressReport>(to_stream(stderr, false));
    if (url.find("://") == std::string::npos) {
        const std::string path = url.rfind("file:", 0) == 0 ? url.substr(5) : url;
        std::FILE* f = std::fopen(path.c_str(), "w");
        if (f == nullptr) {
            *error = "-progress " + url + ": " + std::strerror(errno);
            return nullptr;
        }
        return std::make_unique<ProgressReport>(to_stream(f, true));
    }
    auto write = open_url_writer(url, error);
    if (!write) return nullptr;
    return std::make_unique<ProgressReport>(std::move(write));
}
