// The frame grid of a source's nominal rate, as the video editor shows a
// file: one frame per step of the rate from the first picture on, each
// showing the picture on screen at that step.  A step without a picture of
// its own repeats the one before (an AVI's drop frame, a gap in a
// variable-rate clip); of two pictures in one step the later is shown.
//
// A picture at time t falls in step round((t - t0) * rate), t0 being the
// first picture's time: rounding to the nearest step keeps the slight
// jitter of a phone's timestamps from making a repeat and a drop.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/frame_source.h"

class FrameGrid {
public:
    // Places the source's pictures on the grid; false when they have no
    // timestamps to go by (a stream, or a file whose pictures have none).
    bool build(const FrameSource& source, std::string* why);

    int steps() const { return steps_; }
    int pictures() const { return static_cast<int>(slots_.size()); }
    // The picture shown at step k (0 <= k < steps()).
    int picture_at(int k) const;
    // Step k's time, in the source's units.
    std::int64_t time_at(int k) const;
    // Steps that repeat the picture before them, and pictures never shown.
    int repeats() const { return repeats_; }
    int drops() const { return drops_; }
    // Whether the pictures keep the rate: one picture for each step.
    bool steady() const { return repeats_ == 0 && drops_ == 0; }

private:
    std::int64_t t0_ = 0;
    long double step_ = 1;             // one step in the source's units
    std::vector<std::int64_t> slots_;  // each picture's step, rising
    int steps_ = 0, repeats_ = 0, drops_ = 0;
};

// The source on its frame grid (--timeline cfr): frame k is the grid's step
// k, its timestamp the step's time.  The source is returned as it is when
// its pictures already keep the rate, or with *note saying why it cannot
// be placed on the grid.
std::unique_ptr<FrameSource> on_frame_grid(std::unique_ptr<FrameSource> source, std::string* note);
