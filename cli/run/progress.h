// Progress on standard error: frame, speed and time left.  On a terminal
// one line is rewritten in place; elsewhere (a log file, a pipe) a line is
// written at most once a second, and at the end.
#pragma once

#include <chrono>
#include <string>

class Progress {
public:
    enum class Mode { off, terminal, lines };
    // `total` frames to run, or -1 when unknown.
    Progress(Mode mode, int total);

    // `done` frames have run; `frame` is the number of the last one.
    void frame_done(int done, int frame);
    // A message between progress lines starts on a line of its own.
    void message(const std::string& text);
    // The last progress line.
    void end(int done, int frame);

private:
    std::string line(int done, int frame) const;

    Mode mode_;
    int total_;
    std::chrono::steady_clock::time_point start_, last_;
    bool on_line_ = false;  // the terminal line holds progress text
};
