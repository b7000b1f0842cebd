// What the element tells the application about the script: its errors as
// warning messages on the bus (with the script's file and line), and its
// statistics.
#pragma once

#include <gst/gst.h>

#include <cstdint>
#include <string>
#include <vector>

// A line of the script's log, split where Lua put the place of the error:
// "/keys/filter.lua:12: attempt to call a nil value" has file
// "/keys/filter.lua" and line 12; a line without a place has line 0.
struct ScriptError {
    std::string file;
    int line = 0;
    std::string message;
};
ScriptError parse_script_error(const std::string& text);

// Which of a frame's errors are news: an error is said when it appears,
// not again for every frame it repeats in, and again when it comes back
// after a frame without it.
class ErrorNews {
public:
    std::vector<std::string> news(const std::vector<std::string>& frame_errors);
    void forget() { last_.clear(); }

private:
    std::vector<std::string> last_;
};

// The element's own counts, read through its "stats" property and posted
// as an element message at the end of the stream.
struct ElementStats {
    std::uint64_t frames = 0;        // buffers the script ran on
    std::uint64_t dropped = 0;       // buffers dropped as late (QoS) before the script saw them
    std::uint64_t error_frames = 0;  // frames whose script logged an error
    std::int64_t total_us = 0, max_us = 0, last_us = 0;  // time in the element a buffer
    std::int64_t script_us = 0;                          // of which in the plug-in (the script)

    void add(std::int64_t us, std::int64_t in_script_us, bool script_error);
    // "quorvel-stats": frames, dropped, script-error-frames, mean-us, max-us,
    // last-us, script-mean-us.
    GstStructure* to_structure() const;
};
