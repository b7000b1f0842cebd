// Where the host program's frames come from: a blank picture, a generated
// test pattern, a Y4M stream (a file, standard input or a pipe), or any
// video or image sequence FFmpeg's libraries read.
//
// Frames are read in order (read_next) by the main loop; a script's
// copyframe may ask for any other frame (read_at), which a file with an
// index or with key frames can give and a pipe cannot.
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/aviutl.h"

class FrameSource {
public:
    virtual ~FrameSource() = default;
    int width() const { return width_; }
    int height() const { return height_; }
    // Number of frames; -1 while unknown (a pipe) or for a generated source.
    int frame_count() const { return frame_count_; }
    // A generated source has every frame number.
    bool endless() const { return endless_; }
    // Whether read_at can reach frames that were not just read.
    bool random_access() const { return random_access_; }
    int rate_num() const { return rate_num_; }
    int rate_den() const { return rate_den_; }
    // Timestamps of read_next's frames are in units of tb_num / tb_den s.
    int tb_num() const { return tb_num_; }
    int tb_den() const { return tb_den_; }
    // A timestamp that is not known.
    static constexpr std::int64_t kNoTime = INT64_MIN;
    // Frame n's timestamp, when it is known without reading the frame (an
    // index, or a fixed rate); kNoTime otherwise.
    virtual std::int64_t time_of(int n) const;
    // Where the input starts (in tb units): before its first picture when
    // another stream (the audio) starts earlier; kNoTime: at its first frame.
    std::int64_t start_time() const { return start_time_; }
    // Where the last frame ends (in tb units), kNoTime when unknown.
    std::int64_t end_time() const { return end_time_; }
    // What the input is, for --info: "h264, yuv420p (8-bit 4:2:0, limited range)".
    const std::string& format() const { return format_; }
    // The file the audio comes from, or "" when there is none to pass on.
    virtual std::string audio_file() const { return ""; }
    // How the picture is to be shown, for an encoded output to say the same:
    // the display matrix (a phone's portrait clip is stored on its side) and
    // FFmpeg's colour tags (primaries, transfer, matrix; 2 = unspecified).
    std::string display_matrix;  // 36 bytes, or empty
    int color_primaries = 2, color_trc = 2, colorspace = 2;

    // Makes frame n the next one read_next gives (before the first read).
    virtual bool seek(int n, std::string* error);
    // The next frame, into the top-left of a buffer with rows `stride`
    // pixels apart; *pts is its timestamp.  False at the end of the input
    // (with *error empty) or when it cannot be read (with a message).
    virtual bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) = 0;
    // The same into `*buffer` (at least `stride` x height pixels), which a
    // source holding the frame in a buffer of that size may exchange for its
    // own instead of copying: *buffer then owns the source's buffer, and the
    // pixels outside the picture are whatever that buffer held.
    virtual bool read_next_exchanging(std::vector<PIXEL_YC>* buffer, int stride, std::int64_t* pts,
                                      std::string* error) {
        return read_next(buffer->data(), stride, pts, error);
    }
    // Frame n, out of order; false when it cannot be reached.
    virtual bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) = 0;

    // What the input reported about frames first..last once they were read:
    // pictures the container marks corrupt or the decoder could not decode
    // whole, and, when `last` is its final frame, data missing after it
    // (*cut_short: the file is shorter than it says).  One message each;
    // none when the frames are whole.
    virtual std::vector<std::string> damage(int first, int last, bool* cut_short) const;

protected:
    int width_ = 0, height_ = 0, frame_count_ = -1, rate_num_ = 30, rate_den_ = 1;
    int tb_num_ = 1, tb_den_ = 30;
    std::int64_t start_time_ = kNoTime, end_time_ = kNoTime;
    bool endless_ = false, random_access_ = true;
    std::string format_;
    int next_ = 0;  // the frame read_next gives next
};

// Opens SRC as the command line gives it: "blank:WxH", "pattern:WxH", "-"
// (standard input), a .y4m file or FIFO, or anything FFmpeg reads.  Null
// with a message on failure; *usage is set when the name itself is wrong.
// FFmpeg's decoder runs on `codec_threads` threads (0: as many as the
// machine has).
std::unique_ptr<FrameSource> open_source(const std::string& name, std::string* error, bool* usage,
                                         int codec_threads = 0);

// The readers behind open_source.
std::unique_ptr<FrameSource> open_y4m_source(const std::string& name, std::string* error);
std::unique_ptr<FrameSource> open_libav_source(const std::string& name, std::string* error,
                                               int codec_threads);
