// The output frames' times as a v2 timecodes file: "# timecode format v2",
// then one line per frame with its time in milliseconds.  Muxers read it
// (mkvmerge --timestamps, mp4fpsmod) to give a Y4M stream, which has one
// fixed rate, the times of a variable-rate input back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Timecodes {
public:
    // Times are counted in units of tb_num / tb_den seconds.
    Timecodes(int tb_num, int tb_den) : tb_num_(tb_num), tb_den_(tb_den) {}

    // The next frame, `ticks` after the output's start.
    void add(std::int64_t ticks) { ticks_.push_back(ticks); }
    std::size_t size() const { return ticks_.size(); }

    std::string text() const;
    // Writes the file (under a temporary name, then renamed); false with a
    // message.
    bool write(const std::string& path, std::string* error) const;

private:
    int tb_num_, tb_den_;
    std::vector<std::int64_t> ticks_;
};

// Milliseconds as a timecodes line: up to six decimals, no trailing zeros.
std::string milliseconds_text(std::int64_t ticks, int tb_num, int tb_den);
