// What the element's properties set: the plug-in's tracks, the script
// folder and the limits of what a script may spend.  The element keeps one
// copy that properties write and hands a snapshot to the streaming thread,
// which applies it at the next frame.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LiveSettings {
    std::string script_dir;      // as given; "" for the current folder
    std::vector<int> tracks;     // one value per track of the plug-in's table
    double frame_timeout = 1.0;  // seconds a frame's script may run, 0 for no limit
    std::uint64_t memory_limit = 0;
    bool memory_limit_given = false;  // else half the machine's memory
    bool sandbox = true;              // a live pipeline runs unattended
    int max_w = 0, max_h = 0;         // frame buffers; 0 for the picture's size

    // Whether going from `before` to this needs the script started afresh:
    // the folder, the buffers' size and the sandbox take effect when the
    // script is loaded.
    bool needs_restart_from(const LiveSettings& before) const {
        return script_dir != before.script_dir || max_w != before.max_w || max_h != before.max_h ||
               sandbox != before.sandbox;
    }
};

// "WxH" with both sides from 1 to 16384; false for anything else.
bool parse_frame_size(const std::string& text, int* w, int* h);

// The folder that `script_dir` names: "~" stands for the home folder (a
// shell leaves "script-dir=~/keys" as it is), "" for the current folder;
// made absolute.
std::string resolve_script_dir(const std::string& script_dir);
