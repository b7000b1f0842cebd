// Follows the script's error log (lua_err.txt) while frames run: each new
// error is shown on standard error the first time it happens, the frames
// with errors are counted, and every line is kept, also when a reload of
// the script deletes the file.
#pragma once

#include <string>
#include <vector>

class ScriptLog {
public:
    explicit ScriptLog(std::string path) : path_(std::move(path)) {}
    ~ScriptLog();
    ScriptLog(const ScriptLog&) = delete;
    ScriptLog& operator=(const ScriptLog&) = delete;

    // Reads what the plug-in logged while frame `frame` ran (-1: outside a
    // frame) and shows what is new.  `show` prints through the caller.
    template <class Show>
    void poll(int frame, Show&& show) {
        std::vector<std::string> lines = read_new_lines();
        if (lines.empty()) return;
        if (frame >= 0) ++frames_with_errors_;
        for (std::string& line : lines) {
            const std::string text = note(line, frame);
            if (!text.empty()) show(text);
            lines_.push_back(std::move(line));
        }
    }

    // The lines logged since the last read, neither shown nor kept: the
    // preview shows each frame's errors as they are, and a session that
    // runs for hours must not hold every line it ever saw.
    std::vector<std::string> take_new_lines() { return read_new_lines(); }

    // What the log already holds (from an earlier run) is not this run's.
    void skip_existing();

    int frames_with_errors() const { return frames_with_errors_; }
    const std::vector<std::string>& lines() const { return lines_; }
    const std::string& path() const { return path_; }

private:
    std::vector<std::string> read_new_lines();
    // The text to show for a logged line, or "" when it was shown before.
    std::string note(const std::string& line, int frame);

    std::string path_;
    int fd_ = -1;          // the log as last opened
    std::string partial_;  // a line not yet ended
    std::vector<std::string> lines_, shown_;
    int frames_with_errors_ = 0;
    bool said_more_ = false;
};
