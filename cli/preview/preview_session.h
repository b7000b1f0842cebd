// The editor half of `quorvel preview`: one thread (the "editor thread")
// drives the plug-in exactly as `run` does, through the same PluginHost and
// filter table, while any number of web pages read its state and send it
// settings, frame changes and clicks.
//
// Every call into the plug-in happens on the editor thread, one at a time,
// so pages never race each other or a frame being computed.  Each finished
// frame is published as an immutable PreviewFrame: a page asking while the
// next frame is computed gets the last whole one, never a torn one.
//
// The input pictures come from PreviewFrames, which keeps them: a frame
// computed again (a setting, a click, a saved script) starts from the very
// picture the page shows.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "edit.h"
#include "host/plugin_host.h"
#include "preview/preview_frames.h"
#include "preview/preview_images.h"
#include "run/script_log.h"

// One computed frame, as the page sees it: the output picture (what the
// editor would show) and the input picture it came from.
struct PreviewFrame {
    std::uint64_t version = 0;  // grows with every frame computed
    int number = 0;
    std::shared_ptr<const Picture> output, input;
    std::vector<int> tracks;  // the settings it was computed with
    double script_ms = 0;     // the plug-in's own time for the frame
    double compute_ms = 0;    // from the start of the computation to its publication
};

// A message box the script raised (msgbox), with how it was answered.  The
// same box raised again is counted, not kept again.
struct PreviewMessage {
    int frame = 0;  // the last frame that raised it
    int count = 1;
    std::string caption, text, answer;
};

// Everything a page shows besides the picture.
struct PreviewState {
    std::uint64_t version = 0;  // grows with every change of the state
    std::uint64_t frame_version = 0;
    int frame = 0;
    int frame_n = 0;  // frames the slider reaches
    bool playing = false;
    bool busy = false;  // a frame is being computed
    double rate = 30;   // frames a second while playing
    std::vector<int> tracks, checks;
    std::vector<std::string> errors;  // what the script logged while the last frame ran
    std::vector<PreviewMessage> messages;
    std::string click_text;  // the colour-information box of the last click ("" for none)
    int click_frame = -1;
    std::string status;  // a failure outside the script (the input, the filter)
    std::string script;  // the script file the current settings choose
    bool script_exists = false;
};

// What the session keeps of the script's texts: each cut to this many
// bytes (marked "…(cut)"), at most so many error lines a frame and so many
// distinct boxes.
constexpr std::size_t kPreviewTextLimit = 4096;
constexpr std::size_t kPreviewErrorLines = 50;
constexpr std::size_t kPreviewMessages = 100;

// `text` cut to at most `limit` bytes at a character boundary, with
// "…(cut)" after it when anything was cut.
std::string cut_preview_text(const std::string& text, std::size_t limit = kPreviewTextLimit);

class PreviewSession {
public:
    // `tracks` are the first settings; `answer` says how message boxes are
    // answered ("yes", "no" or "ok").  The host is loaded, not begun.
    PreviewSession(PluginHost& host, Edit& edit, std::vector<int> tracks, std::string answer);
    ~PreviewSession();
    PreviewSession(const PreviewSession&) = delete;
    PreviewSession& operator=(const PreviewSession&) = delete;

    // Starts the editor thread, which begins the edit and computes the
    // first frame; stop() ends the filter and the thread.
    void start();
    void stop();
    // Stopping in two steps, for a shutdown that must not wait on the
    // script: request_stop() releases every page at once and tells the
    // editor to end after its frame; wait_stopped() waits at most `ms` for
    // that.  False when the editor thread is still inside the plug-in (a
    // script no budget ends): the thread is left as it is, and the caller
    // must end the process without unloading the plug-in.
    void request_stop();
    bool wait_stopped(int ms);

    const FILTER& table() const { return host_.table(); }
    PreviewFrames& frames() { return *frames_; }

    // Settings from a page.  False with a message for a value the table
    // does not allow; the frame is computed again soon after.
    bool set_track(int index, int value, std::string* error);
    bool set_check(int index, int value, std::string* error);
    bool set_frame(int frame, std::string* error);
    void set_playing(bool playing);

    // A mouse press on the picture at (x, y), sent to the plug-in after
    // the frame being computed (if any).  True when it was handled within
    // `wait_ms`; *text is the box it raised, "" when none.
    bool click(int x, int y, int wait_ms, std::string* text, std::uint64_t* version);

    PreviewState state() const;
    // Waits until the state's version is past `after`, at most `wait_ms`;
    // returns the state then.
    PreviewState wait_for_change(std::uint64_t after, int wait_ms) const;
    // The last finished frame, or null before the first.
    std::shared_ptr<const PreviewFrame> frame() const;

    // Called by the desktop while the plug-in shows a message box.
    int message_box(const char* text, const char* caption, unsigned kind);

private:
    struct ClickRequest {
        int x, y;
        bool done = false;
        std::string text;
        std::uint64_t version = 0;  // the state's version that shows the text
    };
    struct ScriptStamp {
        bool exists = false;
        std::int64_t mtime_ns = 0;
        std::int64_t size = 0;
        bool operator==(const ScriptStamp&) const = default;
    };
    // What one run of the filter gave.
    struct Filtered {
        std::shared_ptr<const Picture> output;
        std::string status;
        double script_ms = 0;
    };

    void editor_loop();
    void compute_frame(std::unique_lock<std::mutex>& lock);
    void handle_clicks(std::unique_lock<std::mutex>& lock);
    // The calls into the plug-in host, all of them on the editor thread.
    void host_begin(const std::vector<int>& tracks);
    void host_settings(const std::vector<int>& tracks, const std::vector<int>& checks);
    Filtered host_filter(int n, const std::vector<int>& tracks, const std::vector<int>& checks);
    std::string host_press(int x, int y);
    void host_end();
    int frame_limit() const;

    void watch_script(std::int64_t now_ms);
    std::string script_path(const std::vector<int>& tracks) const;
    ScriptStamp stamp_of(const std::string& path) const;
    void changed();  // under the lock: a new state version, pages woken

    PluginHost& host_;
    Edit& edit_;
    const std::string answer_;
    std::unique_ptr<PreviewFrames> frames_;
    int script_no_track_ = -1;
    ScriptLog log_;

    mutable std::mutex mutex_;
    mutable std::condition_variable wake_editor_;
    mutable std::condition_variable wake_pages_;
    bool stopping_ = false;
    bool editor_done_ = false;
    bool dirty_ = true;             // the frame must be computed again
    std::int64_t rerun_at_ms_ = 0;  // a later computation asked for (0: none)
    std::int64_t next_play_ms_ = 0;
    ScriptStamp stamp_;
    bool in_click_ = false;  // editor thread only: a box now is the click's
    std::string click_box_;  // editor thread only: the text of that box
    std::deque<std::shared_ptr<ClickRequest>> clicks_;
    PreviewState state_;
    std::shared_ptr<const PreviewFrame> frame_;
    std::thread editor_;
};
