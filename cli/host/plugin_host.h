// Loads the filter plug-in and drives it as the video editor does: the
// filter table, its tracks and check box, the per-frame call, the update and
// exit callbacks, the window-message callback, and the editor services the
// plug-in asks for (file information, frame count, other frames).
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/frame_source.h"
#include "platform/aviutl.h"
#include "platform/desktop.h"

class PluginWorker;

class PluginHost {
public:
    PluginHost();
    // Loads `plugin_path` and fetches its filter table; false with a message.
    bool load(const std::string& plugin_path, std::string* error);
    ~PluginHost();

    // From the next begin() on, the plug-in runs in a worker process of
    // `program` (this host program) with the frames in shared memory
    // (host/plugin_worker.h); false with a message where that cannot be.
    // A worker that crashes or overruns its budget is ended; its frame's
    // error ("the script's process ended: ...") goes to the script's log,
    // the frame passes through unchanged and the next call starts a new
    // worker.
    bool use_worker_process(const std::string& program, std::string* error);
    // The host program beside the loaded plug-in, which serves as its worker
    // for any program that loads it (quorvel itself, a GStreamer element).
    std::string worker_program() const;
    bool in_worker_process() const { return worker_ != nullptr; }
    // From any thread: ends the plug-in's call in progress, when it runs in
    // a worker (nothing can end a call in this process).  Later calls return
    // at once.
    void interrupt();

    // The filter table the plug-in returned: its tracks and check boxes.
    const FILTER& table() const { return filter_; }

    // The edit: the input, the frame buffers' size and the file name the
    // editor reports (its folder is where the plug-in finds its script),
    // and the value of each of the table's tracks.
    void begin(FrameSource* source, int max_w, int max_h, const std::string& edited_file,
               const std::vector<int>& tracks, const DesktopServices* desktop);

    // Current number of frames of the edit (the script's set_frame_n may
    // change it).
    int frame_n() const { return frame_n_; }
    void set_frame_n(int n) { frame_n_ = n; }

    // Moves the source to frame n, the first to run: a seek where the source
    // can, else the frames before are read (and kept for copyframe).
    bool seek(int n, std::string* error);
    // Reads the source's next frame into the editor's buffer.  False at the
    // end of the input (error empty) or when it cannot be read.
    bool read_next(std::int64_t* pts, std::string* error);
    // For frames pushed as they come (a live stream): the number that the
    // next frame read gets, which may skip numbers (frames the stream left
    // out); and forgetting the frames kept for copyframe (after a flush or a
    // seek, when they are no longer the frames before the next one).
    void number_next(int n) { next_frame_ = n; }
    void forget_kept_frames() { cache_.clear(); }
    // Runs the filter on frame n, the one just read.  On return `output()`
    // is the frame the editor shows.  False when the plug-in reported failure.
    bool process(int n, std::string* error);
    const PIXEL_YC* output() const { return fpip_.ycp_edit; }
    // From the next begin() on, each frame is read into the other of two
    // edit buffers (in this process), so that a frame's output stays as it
    // is while the next frame is read and run: a writer on another thread
    // can then read it in place instead of copying it.
    void alternate_edit_buffers(bool on) { alternate_ = on; }
    // Whether output() stays untouched until the frame after next is read:
    // edit buffers alternate and the output is the edit buffer (the script
    // did not swap it with the temporary one, which the next frame uses).
    bool output_kept_for_next_frame() const {
        return alternate_ && !worker_ && fpip_.ycp_edit == edit_;
    }
    // The frame's error when the worker process ended during the last call.
    const std::string& worker_error() const { return worker_error_; }
    // Where the lines a plug-in in a worker logs go, when it lets a host
    // listen to its log (in this process the plug-in calls the listener
    // itself); null for nowhere.
    void set_worker_log_listener(void (*listener)(const char* text)) {
        worker_log_listener_ = listener;
    }
    void heard_log_line(const char* text) {
        if (worker_log_listener_ != nullptr) worker_log_listener_(text);
    }
    int output_w() const { return fpip_.w; }
    int output_h() const { return fpip_.h; }
    int stride() const { return fpip_.max_w; }

    // Tells the plug-in what a script may spend (0: no limit) and whether it
    // runs sandboxed; false when the plug-in has no such setting.
    bool set_script_limits(double frame_timeout_seconds, std::uint64_t memory_bytes, bool sandbox);

    // Tells the plug-in that the frames it processes now only build the
    // script's state (info.warmup); false when it has no such setting.
    bool set_warmup(bool on);

    // Lets `listener` hear every message the plug-in logs (null: no more);
    // false when the plug-in has no such ear.
    bool set_log_listener(void (*listener)(const char* text));

    // A mouse press on the preview at (x, y), with the click check box on.
    void click(int x, int y);
    // A mouse press on the preview at (x, y) as the editor sends it: what
    // the plug-in does with it is up to its check box.
    void press(int x, int y);

    // The settings window's tracks and check boxes (one value per entry of
    // the table); changing them tells the plug-in, as the editor does.
    const std::vector<int>& tracks() const { return tracks_; }
    const std::vector<int>& checks() const { return checks_; }
    void change_settings(const std::vector<int>& tracks, const std::vector<int>& checks);

    // Ends the filter (func_exit).
    void end();

    // Editor services, reached through the service table.
    bool file_info(FILE_INFO* fi);
    void set_cache_size(int frames);
    // The most frames the filter asked the editor to keep for it since
    // begin() (0 when it never asked): how far back it reaches by copyframe.
    int cache_asked() const { return cache_asked_; }
    // Frame n of the source, as the filter sees other frames: from the
    // cache of recent frames, else read from the source when it can reach
    // the frame; null when it cannot.
    PIXEL_YC* cached_frame(int n);

private:
    void worker_ended(const std::string& why);
    void pass_through(int frame);

    void* library_ = nullptr;
    std::string plugin_path_;
    std::unique_ptr<PluginWorker> worker_;
    std::mutex worker_m_;  // interrupt() comes from another thread
    std::string worker_error_;
    void (*worker_log_listener_)(const char* text) = nullptr;
    const DesktopServices* desktop_ = nullptr;
    struct {
        double frame_timeout_seconds = 0;
        std::uint64_t memory_bytes = 0;
        bool sandbox = false;
    } limits_;
    FILTER filter_{};
    EXFUNC exfunc_{};
    FILTER_PROC_INFO fpip_{};
    std::vector<int> tracks_;  // one value per track of the table
    std::vector<int> checks_;  // one value per check box of the table
    FrameSource* source_ = nullptr;
    int frame_n_ = 0;
    std::string edited_file_;
    // The editor's two buffers: in this process, or in the worker's shared
    // memory.
    std::vector<PIXEL_YC> edit_storage_, temp_storage_;
    std::vector<PIXEL_YC> other_edit_storage_;  // the second edit buffer, when they alternate
    bool alternate_ = false;
    PIXEL_YC* edit_ = nullptr;
    PIXEL_YC* temp_ = nullptr;
    std::size_t buffer_pixels_ = 0;
    int next_frame_ = 0;  // the number of the frame read_next gives next
    struct CachedFrame {
        int number;
        std::vector<PIXEL_YC> pixels;  // max_w x max_h, the picture top-left
    };
    CachedFrame& cache_slot(int n);
    PIXEL_YC* find_frame(int n);
    std::list<CachedFrame> cache_;  // most recently used first
    std::size_t cache_limit_ = 0;   // 0 until a script asks for other frames
    int cache_asked_ = 0;
    bool ended_ = true;
};
