// Runs the host program (build/quorvel) on real Lua scripts in a temporary
// script folder, and reads back what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;  // exit status of quorvel
    std::string out;  // standard output
    std::string err;  // standard error
};

// A fresh temporary folder for one test, removed afterwards.
class ScriptDir {
public:
    ScriptDir();
    ~ScriptDir();
    ScriptDir(const ScriptDir&) = delete;
    ScriptDir& operator=(const ScriptDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    void write(const std::string& name, const std::string& text) const;
    std::string read(const std::string& name) const;  // "" when missing
    bool exists(const std::string& name) const;

private:
    std::string path_;
};

// Runs `quorvel <args...>` and collects its exit status and output; `input`
// is written to its standard input.  A run that writes Y4M and names no
// --pix-fmt gets --pix-fmt 444p, the layout Y4mVideo's pixel accessors read,
// and a run without -n gets -y (tests write their outputs again and again).
RunResult run_quorvel(const std::vector<std::string>& args, const std::string& input = "");

// Runs `quorvel run --input <input> --frames <frames> --script-dir <dir>
// <extra...>` with `script` saved as filter.lua; an empty `script` means no
// script (the frames pass through; an empty filter.lua would be a script
// without video_filter, which ends the run).
RunResult run_script(const ScriptDir& dir, const std::string& script, const std::string& input,
                     int frames, const std::vector<std::string>& extra = {});

// The frames of a Y4M file: each frame's bytes, Y plane, Cb plane, Cr plane.
struct Y4mVideo {
    int w = 0, h = 0;
    std::string colour = "420jpeg";  // the C tag
    int bits = 8, shift_x = 1, shift_y = 1;
    std::vector<std::vector<std::uint8_t>> frames;
    // 4:4:4 8-bit pixels.
    std::uint8_t y(int frame, int x, int yy) const { return frames[frame][yy * w + x]; }
    std::uint8_t cb(int frame, int x, int yy) const { return frames[frame][w * h + yy * w + x]; }
    std::uint8_t cr(int frame, int x, int yy) const {
        return frames[frame][2 * w * h + yy * w + x];
    }
    // A sample of plane p (0 Y, 1 Cb, 2 Cr) at plane coordinates, any layout.
    int sample(int frame, int p, int x, int yy) const;
    int plane_w(int p) const { return p ? (w + (1 << shift_x) - 1) >> shift_x : w; }
    int plane_h(int p) const { return p ? (h + (1 << shift_y) - 1) >> shift_y : h; }
};
Y4mVideo read_y4m(const std::string& path);
Y4mVideo parse_y4m(const std::string& bytes);
