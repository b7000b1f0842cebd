// One stream through the plug-in: the host library's PluginHost, driven as
// `quorvel run` drives it, fed with the frames a pipeline pushes instead of
// frames it reads.  The script's log is followed after every frame.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/plugin_host.h"
#include "media/pushed_source.h"
#include "run/script_log.h"
#include "settings.h"

class LiveSession {
public:
    struct Shape {
        int width = 0, height = 0;
        int rate_num = 0, rate_den = 1;
    };

    // Loads the plug-in; false with a message.
    bool load(const std::string& plugin_path, std::string* error);
    const FILTER& table() const { return host_.table(); }

    // Where the script's message boxes go (the element answers them).
    void set_desktop(const DesktopServices* desktop) { desktop_ = desktop; }

    // Starts the script afresh on pictures of `shape`: the plug-in's state,
    // its buffers and the kept frames of an earlier start are gone.
    bool start(const Shape& shape, const LiveSettings& settings, std::string* error);
    bool started() const { return started_; }
    const Shape& shape() const { return shape_; }
    // New settings at the next frame: tracks and limits as they are, the
    // script folder, buffer size and sandbox by starting afresh.
    bool update(const LiveSettings& settings, std::string* error);
    // The stream's length in frames (info.frame_n).
    void set_length(int frames) { host_.set_frame_n(frames); }
    // After a flush or a seek the kept frames are no longer the ones before.
    void forget_kept_frames() { host_.forget_kept_frames(); }

    // Runs frame n, whose picture is `in`.  The lines the script logged
    // while it ran are added to *script_errors; *script_us is the time the
    // plug-in took (the script and the display copy).  False when the
    // plug-in failed on it (with *error); the output is then the frame as
    // it stood.
    bool run_frame(int n, const Planes& in, std::int64_t pts,
                   std::vector<std::string>* script_errors, std::int64_t* script_us,
                   std::string* error);
    const PIXEL_YC* output() const { return host_.output(); }
    int output_w() const { return host_.output_w(); }
    int output_h() const { return host_.output_h(); }
    int stride() const { return host_.stride(); }

    // The script file the settings name, and its folder.
    const std::string& script_path() const { return script_; }
    const std::string& folder() const { return dir_; }

    // Ends the script (the plug-in's exit).
    void stop();

private:
    bool apply_limits(const LiveSettings& settings, std::string* error);
    void find_script(const LiveSettings& settings);

    PluginHost host_;
    std::unique_ptr<PushedSource> source_;
    std::unique_ptr<ScriptLog> log_;
    LiveSettings settings_;
    Shape shape_;
    std::string dir_, script_;
    const DesktopServices* desktop_ = nullptr;
    bool started_ = false;
};
