// Decoding that runs ahead: a reader thread of its own reads the next few
// frames of another source while the script works on the current one.
//
// The wrapped source is only ever called from that one thread.  Requests
// out of order (a copyframe's read_at, a seek, the damage report) are handed
// to the reader, which serves them before it reads on, and the caller waits
// for the answer.  Frames, the end of the input and read errors come out of
// read_next in the order and at the frame they happened, as the wrapped
// source would have given them.
#pragma once

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media/frame_source.h"

class ReadAheadSource : public FrameSource {
public:
    // Frames buffered ahead of the one the caller reads.
    static constexpr int kDepth = 3;

    // Reads `source` no further than frame `stop` (the end of the cut)
    // unless asked for more.  The thread starts with start().
    ReadAheadSource(std::unique_ptr<FrameSource> source, int stop);
    ~ReadAheadSource() override;  // ends the reader after the frame it is on
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    // Starts the reader thread; false if the system has no thread to give.
    bool start();
    // The wrapped source back, when start() failed.
    std::unique_ptr<FrameSource> release() { return std::move(inner_); }

    std::string audio_file() const override { return inner_->audio_file(); }
    // Timestamps come from the source's index or rate, never from reading.
    std::int64_t time_of(int n) const override { return inner_->time_of(n); }
    bool seek(int n, std::string* error) override;
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override;
    // Hands over the slot itself when it has the buffer's size and stride:
    // from the first call on, frames are read in that shape.
    bool read_next_exchanging(std::vector<PIXEL_YC>* buffer, int stride, std::int64_t* pts,
                              std::string* error) override;
    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override;
    std::vector<std::string> damage(int first, int last, bool* cut_short) const override;

private:
    // One frame read ahead, or the read that failed or found the end.
    struct Slot {
        std::vector<PIXEL_YC> pixels;  // the picture top-left, rows `stride` apart
        int stride = 0;
        std::int64_t pts = 0;
        bool ok = false;
        std::string error;
    };
    // What the caller asks of the reader besides the next frames.
    enum class Job { none, seek, read_at, damage };
    struct Request {
        Job job = Job::none;
        int n = 0, last = 0;
        PIXEL_YC* pixels = nullptr;
        int stride = 0;
        bool ok = false, cut_short = false;
        std::string* error = nullptr;
        std::vector<std::string> texts;
    };

    // The next slot in order; false (and no slot) at a failed read, which
    // stays at the head.  Then give_back() once its picture is taken.
    Slot* take_head(std::int64_t* pts, std::string* error);
    void give_back();
    void run();
    void serve(Request& request);
    void read_into(Slot& slot, std::size_t size);
    // Hands a request to the reader and waits until it is served.
    void ask(Request& request) const;

    std::unique_ptr<FrameSource> inner_;
    std::vector<Slot> slots_;
    int head_ = 0;      // the slot read_next gives next
    int filled_ = 0;    // slots from head_ on that hold a read
    int read_pos_ = 0;  // the frame the reader reads next
    int stop_at_ = INT_MAX;
    // The shape slots are read in: the caller's buffers once it exchanges.
    std::size_t shape_size_ = 0;
    int shape_stride_ = 0;
    bool started_ = false;  // the caller has asked for a frame in order
    bool wanted_ = false;   // the caller waits for a frame past stop_at_
    bool ended_ = false;    // the last read failed or found the end
    bool quit_ = false;
    mutable Request* request_ = nullptr;
    mutable std::mutex m_;
    mutable std::condition_variable changed_;
    std::thread thread_;
};

// The source with a reader running ahead of it, or the source itself when
// no thread can be had.  `stop`: the frame the run ends before.
std::unique_ptr<FrameSource> read_ahead(std::unique_ptr<FrameSource> source, int stop);
