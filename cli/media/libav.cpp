#include "media/libav.h"

#include <cstdio>

#include "media/media_libraries.h"

std::string av_error_text(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

namespace {

int log_lines_left = 8;
LogCapture* capture = nullptr;

}  // namespace

void capture_line(const char* line) {
    if (!capture->first_.empty()) return;
    capture->first_ = line;
    while (!capture->first_.empty() && capture->first_.back() == '\n') capture->first_.pop_back();
}

LogCapture::LogCapture() { capture = this; }
LogCapture::~LogCapture() { capture = nullptr; }

namespace {

void log_callback(void* object, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[1024];
    int print_prefix = capture != nullptr ? 0 : 1;
    av_log_format_line2(capture != nullptr ? nullptr : object, level, format, args, line,
                        sizeof line, &print_prefix);
    if (line[0] == '\0') return;
    if (capture != nullptr) {
        capture_line(line);
        return;
    }
    if (log_lines_left <= 0) return;
    std::fprintf(stderr, "quorvel: (ffmpeg) %s", line);
    if (--log_lines_left == 0)
        std::fprintf(stderr, "quorvel: (ffmpeg) further messages are not shown\n");
}

}  // namespace

void quiet_libav_log() { av_log_set_callback(log_callback); }

std::string media_libraries_text() {
    const unsigned f = avformat_version(), c = avcodec_version(), s = swscale_version();
    char libs[160];
    std::snprintf(libs, sizeof libs,
                  "FFmpeg: libavformat %u.%u.%u, libavcodec %u.%u.%u, libswscale %u.%u.%u", f >> 16,
                  f >> 8 & 0xFF, f & 0xFF, c >> 16, c >> 8 & 0xFF, c & 0xFF, s >> 16, s >> 8 & 0xFF,
                  s & 0xFF);
    return libs;
}

std::function<bool(const std::string&)> open_url_writer(const std::string& url,
                                                        std::string* error) {
    AVIOContext* raw = nullptr;
    const int ret = avio_open2(&raw, url.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr);
    if (ret < 0) {
        *error = "-progress " + url + ": " + av_error_text(ret);
        return nullptr;
    }
    std::shared_ptr<AVIOContext> io(raw, [](AVIOContext* c) { avio_closep(&c); });
    return [io](const std::string& text) {
        avio_write(io.get(), reinterpret_cast<const unsigned char*>(text.data()),
                   static_cast<int>(text.size()));
        avio_flush(io.get());
        return io->error == 0;
    };
}

std::string describe_pixel_format(AVPixelFormat format) {
    const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
    if (d == nullptr) return "unknown";
    const int bits = d->comp[0].depth;
    std::string text = std::to_string(bits) + "-bit ";
    if (d->flags & AV_PIX_FMT_FLAG_RGB) return text + "RGB";
    if (d->nb_components < 3) return text + "grey";
    const int sx = d->log2_chroma_w, sy = d->log2_chroma_h;
    if (sx == 0 && sy == 0) return text + "4:4:4";
    if (sx == 1 && sy == 0) return text + "4:2:2";
    if (sx == 1 && sy == 1) return text + "4:2:0";
    return text + "YUV";
}
