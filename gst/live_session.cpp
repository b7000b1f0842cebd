#include "live_session.h"

#include <chrono>

#include "edit.h"
#include "host/host_os.h"
#include "host/tracks.h"

namespace {

int script_no_of(const FILTER& table, const std::vector<int>& tracks) {
    for (int i = 0; i < table.track_n && static_cast<std::size_t>(i) < tracks.size(); ++i)
        if (track_option(table, i) == "--script-no") return tracks[static_cast<std::size_t>(i)];
    return 0;
}

}  // namespace

bool LiveSession::load(const std::string& plugin_path, std::string* error) {
    return host_.load(plugin_path, error);
}

void LiveSession::find_script(const LiveSettings& settings) {
    script_ = dir_ + "/" + script_file_for(script_no_of(host_.table(), settings.tracks));
}

bool LiveSession::apply_limits(const LiveSettings& settings, std::string* error) {
    // The same call as `quorvel run` makes for its options.
    Options options;
    options.frame_timeout = settings.frame_timeout;
    options.memory_limit = settings.memory_limit;
    options.memory_limit_given = settings.memory_limit_given;
    options.sandbox = settings.sandbox;
    Edit frames;  // the frame buffers' size, which the default memory cap leaves room for
    frames.max_w = settings.max_w ? settings.max_w : shape_.width;
    frames.max_h = settings.max_h ? settings.max_h : shape_.height;
    if (apply_script_limits(options, frames, host_) != 0) {
        *error = "this plug-in cannot run scripts sandboxed";
        return false;
    }
    return true;
}

bool LiveSession::start(const Shape& shape, const LiveSettings& settings, std::string* error) {
    // Everything is checked first: settings that cannot be taken leave the
    // script that runs running.
    const std::string dir = resolve_script_dir(settings.script_dir);
    if (!host_os::folder_can_be_entered(dir)) {
        *error = "script folder " + dir + " cannot be opened";
        return false;
    }
    const int max_w = settings.max_w ? settings.max_w : shape.width;
    const int max_h = settings.max_h ? settings.max_h : shape.height;
    if (max_w < shape.width || max_h < shape.height) {
        *error = "max-size " + std::to_string(max_w) + "x" + std::to_string(max_h) +
                 " is smaller than the picture (" + std::to_string(shape.width) + "x" +
                 std::to_string(shape.height) + ")";
        return false;
    }
    if (1ULL * max_w * max_h * sizeof(PIXEL_YC) >= (1ULL << 31)) {
        *error = "frame buffers of " + std::to_string(max_w) + "x" + std::to_string(max_h) +
                 " would pass the editor's limit of 2048 MiB";
        return false;
    }
    stop();
    shape_ = shape;
    if (!apply_limits(settings, error)) return false;
    dir_ = dir;
    settings_ = settings;
    find_script(settings);
    log_ = std::make_unique<ScriptLog>(dir_ + "/lua_err.txt");
    log_->skip_existing();
    source_ =
        std::make_unique<PushedSource>(shape.width, shape.height, shape.rate_num, shape.rate_den);
    host_.begin(source_.get(), max_w, max_h, dir_ + "/stream", settings.tracks, desktop_);
    started_ = true;
    return true;
}

bool LiveSession::update(const LiveSettings& settings, std::string* error) {
    if (!started_) {
        settings_ = settings;
        return true;
    }
    if (settings.needs_restart_from(settings_)) return start(shape_, settings, error);
    if (settings.frame_timeout != settings_.frame_timeout ||
        settings.memory_limit != settings_.memory_limit ||
        settings.memory_limit_given != settings_.memory_limit_given) {
        if (!apply_limits(settings, error)) return false;
    }
    if (settings.tracks != settings_.tracks) {
        // As a track bar moved in the editor: the plug-in hears of it at once
        // and the next frame runs with it.
        host_.change_settings(settings.tracks, host_.checks());
        find_script(settings);
    }
    settings_ = settings;
    return true;
}

bool LiveSession::run_frame(int n, const Planes& in, std::int64_t pts,
                            std::vector<std::string>* script_errors, std::int64_t* script_us,
                            std::string* error) {
    source_->hand(in, pts);
    host_.number_next(n);
    std::int64_t read_pts = 0;
    if (!host_.read_next(&read_pts, error)) return false;
    const auto began = std::chrono::steady_clock::now();
    const bool ok = host_.process(n, error);
    *script_us = std::chrono::duration_cast<std::chrono::microseconds>(
                     std::chrono::steady_clock::now() - began)
                     .count();
    for (std::string& line : log_->take_new_lines()) script_errors->push_back(std::move(line));
    return ok;
}

void LiveSession::stop() {
    if (!started_) return;
    host_.end();
    started_ = false;
    log_.reset();
    source_.reset();
}
