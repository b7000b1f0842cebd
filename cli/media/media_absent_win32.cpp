// The Windows host program has no FFmpeg: it reads Y4M files and streams and
// generated pictures, and writes Y4M.  Other formats are refused by name.
#include "media/frame_sink.h"
#include "media/frame_source.h"
#include "media/media_libraries.h"

namespace {

const char* const kWithoutFfmpeg =
    "this Windows build of quorvel has no FFmpeg: it reads .y4m files, Y4M on standard input, "
    "blank:WxH and "
    "pattern:WxH, and writes .y4m or - (convert other formats with ffmpeg)";

}  // namespace

void quiet_libav_log() {}

std::function<bool(const std::string&)> open_url_writer(const std::string& url,
                                                        std::string* error) {
    *error = "-progress " + url + ": " + kWithoutFfmpeg + " (pipe:1, pipe:2 and files work)";
    return nullptr;
}

std::string media_libraries_text() {
    return "FFmpeg: not in this build (Y4M input and output only)";
}

std::unique_ptr<FrameSource> open_libav_source(const std::string& name, std::string* error, int) {
    *error = name + ": " + kWithoutFfmpeg;
    return nullptr;
}

std::unique_ptr<FrameSink> open_libav_sink(const SinkSettings& settings, std::string* error,
                                           bool* usage) {
    *error = settings.name + ": " + kWithoutFfmpeg;
    *usage = true;
    return nullptr;
}

bool PngEncoder::encode(const std::string& path, const unsigned char*, int, int,
                        std::string* error) {
    *error = path + ": " + kWithoutFfmpeg;
    return false;
}

void PngEncoder::Free::operator()(AVCodecContext*) const {}
void PngEncoder::Free::operator()(AVFrame*) const {}
void PngEncoder::Free::operator()(AVPacket*) const {}
