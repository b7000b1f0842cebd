// The input frames of the preview, decoded once and kept.
//
// Every computation of a frame starts from the very picture the page shows:
// a change of a setting, a click or a saved script computes the frame again
// from the kept picture instead of asking the decoder for it once more (a
// decoder asked twice for one frame need not land on it twice), and costs no
// decoding at all.  While playing, the next frames are decoded ahead on a
// thread of their own, so that the script of one frame and the decoding of
// the next overlap.
//
// It stands between the plug-in host and the real input as a FrameSource of
// its own: the host reads kept pictures without knowing, also for the
// script's copyframe.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "media/frame_source.h"
#include "preview/preview_images.h"

class PreviewFrames : public FrameSource {
public:
    // Keeps decoded pictures of `source` up to `budget_bytes` (at least a
    // few frames, whatever their size).
    PreviewFrames(FrameSource& source, std::size_t budget_bytes);
    ~PreviewFrames() override;
    PreviewFrames(const PreviewFrames&) = delete;
    PreviewFrames& operator=(const PreviewFrames&) = delete;

    // Frame n's picture: the kept one, else decoded now and kept.  Null with
    // a message when the input cannot give it.
    std::shared_ptr<const Picture> picture(int n, std::string* error);
    // Whether frame n is kept (for the tests and the timings).
    bool is_kept(int n) const;

    // While playing: the frames from n on are decoded ahead, a few at a
    // time.  -1 stops reading ahead.
    void read_ahead_from(int n);

    // How many frames the kept pictures' budget holds, and how far ahead
    // playing reads.
    std::size_t capacity() const { return capacity_; }
    int ahead() const { return ahead_; }

    // FrameSource, as the plug-in host reads it.
    bool seek(int n, std::string* error) override;
    bool read_next(PIXEL_YC* pixels, int stride, std::int64_t* pts, std::string* error) override;
    bool read_at(int n, PIXEL_YC* pixels, int stride, std::string* error) override;
    std::string audio_file() const override { return source_.audio_file(); }

private:
    std::shared_ptr<const Picture> find(int n) const;  // under mutex_
    std::shared_ptr<const Picture> decode(int n, std::string* error);
    void keep(const std::shared_ptr<const Picture>& picture);  // under mutex_
    void ahead_loop();

    FrameSource& source_;
    std::size_t capacity_ = 0;
    int ahead_ = 0;

    // One decoder: one decode at a time, from the editor or read-ahead.
    std::mutex source_mutex_;
    int source_next_ = 0;  // the frame source_.read_next gives next (-1: unknown)
    std::uint64_t serial_ = 0;

    mutable std::mutex mutex_;
    std::condition_variable wake_ahead_;
    std::list<std::shared_ptr<const Picture>> kept_;  // most recently used first
    int ahead_from_ = -1;
    bool stopping_ = false;
    std::thread ahead_thread_;
};
