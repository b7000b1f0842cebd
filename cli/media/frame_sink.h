// Where processed frames go: Y4M (a file or standard output), PNG images
// (one per frame, or the last frame), or a video file encoded through
// FFmpeg's libraries (H.264 in .mp4/.mov/.mkv, FFV1 in .mkv).
//
// Files are written under a temporary name beside the final one and renamed
// when the output is complete, so a failed run leaves no half-written file
// under the name asked for.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "media/chunk_tags.h"
#include "platform/aviutl.h"

struct SinkSettings {
    std::string name;              // as --output gives it
    std::FILE* stream = nullptr;   // for "-": where the video goes (the sink owns it)
    std::string pix_fmt = "420p";  // 420p, 422p, 444p, and 420p10, 422p10, 444p10
    int crf = 18;                  // H.264 quality
    std::string codec;             // "" (by extension), "h264" or "ffv1"
    int codec_threads = 0;         // the encoder's threads, 0: as many as the machine has
    int rate_num = 30, rate_den = 1;
    int tb_num = 1, tb_den = 30;  // the units of the frames' timestamps
    std::string audio_file;       // audio to pass through, "" for none
    std::string display_matrix;   // the input's rotation, for encoded output
    int color_primaries = 2, color_trc = 2, colorspace = 2;
    // A .mkv says in its tags which of the input's frames it holds (first
    // >= 0) and where the last of them ends, so that quorvel join can put
    // chunks of a run together; the sink fills in the input's time at its 0
    // (its origin) and the units.
    ChunkTags chunk;
};

class FrameSink {
public:
    virtual ~FrameSink() = default;
    // The input's time (in the frames' units) that becomes the output's
    // 0: video and audio are cut there and shifted by it, so that a run
    // from the middle of a clip starts at 0 with its audio in step.  Set
    // before the first frame is written.
    void set_origin(std::int64_t pts) { origin_ = pts; }
    // Writes one frame: the top-left w x h of a buffer with rows `stride`
    // pixels apart, shown at `pts` for `duration` (until the next frame).
    // The first frame sets the output's size; later frames of another size
    // are cut, or padded with black.  False (with a message) on a write
    // error.
    virtual bool write(const PIXEL_YC* pixels, int stride, int w, int h, std::int64_t pts,
                       std::int64_t duration, std::string* error) = 0;
    // Completes the output and gives it its name.  `end_pts` is where the
    // last frame ends (for the audio).  False on a write error.
    virtual bool finish(std::int64_t end_pts, std::string* error) = 0;
    // Frames written so far.
    int frames() const { return frames_; }

protected:
    int frames_ = 0;
    std::int64_t origin_ = 0;
};

// Opens --output; null with a message (and *usage for a name or option that
// cannot work) on failure.
std::unique_ptr<FrameSink> open_sink(const SinkSettings& settings, std::string* error, bool* usage);

// The sinks behind open_sink.
std::unique_ptr<FrameSink> open_libav_sink(const SinkSettings& settings, std::string* error,
                                           bool* usage);

// A file written under a temporary name in the folder of `path` and renamed
// to `path` by commit(); removed if never committed.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    // Creates the temporary file; false with a message.
    bool create(const std::string& path, std::string* error);
    const std::string& temp_path() const { return temp_; }
    // The open file for writing (closed by commit).
    std::FILE* file() const { return file_; }
    bool commit(std::string* error);

private:
    std::string path_, temp_;
    std::FILE* file_ = nullptr;
};

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// Encodes 8-bit RGB rows (w * 3 bytes each) as PNG files, one encoder for
// a whole sequence.
class PngEncoder {
public:
    bool encode(const std::string& path, const unsigned char* rgb, int w, int h,
                std::string* error);
    // The PNG file's bytes into *png.
    bool encode(std::string* png, const unsigned char* rgb, int w, int h, std::string* error);

private:
    struct Free {
        void operator()(AVCodecContext* c) const;
        void operator()(AVFrame* f) const;
        void operator()(AVPacket* p) const;
    };
    std::unique_ptr<AVCodecContext, Free> codec_;
    std::unique_ptr<AVFrame, Free> frame_;
    std::unique_ptr<AVPacket, Free> packet_;
};
