// Runs the host program (build/quorvel) on real Lua scripts in a temporary
// script folder, and reads back what it wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct RunResult {
    int status = -1;   // exit status of quorvel
    std::string out;   // standard output
    std::string err;   // standard error
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

// Runs `quorvel <args...>` and collects its exit status and output.
RunResult run_quorvel(const std::vector<std::string>& args);

// Runs `quorvel run --input <input> --frames <frames> --script-dir <dir>
// <extra...>` with `script` saved as filter.lua.
RunResult run_script(const ScriptDir& dir, const std::string& script, const std::string& input,
                     int frames, const std::vector<std::string>& extra = {});

// The frames of a 4:4:4 8-bit Y4M file as written by quorvel.
struct Y4mVideo {
    int w = 0, h = 0;
    std::vector<std::vector<std::uint8_t>> frames;  // Y plane, Cb plane, Cr plane
    std::uint8_t y(int frame, int x, int yy) const { return frames[frame][yy * w + x]; }
    std::uint8_t cb(int frame, int x, int yy) const { return frames[frame][w * h + yy * w + x]; }
    std::uint8_t cr(int frame, int x, int yy) const { return frames[frame][2 * w * h + yy * w + x]; }
};
Y4mVideo read_y4m(const std::string& path);
Y4mVideo parse_y4m(const std::string& bytes);
