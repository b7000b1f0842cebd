// The host program's command line.
#pragma once

#include <string>
#include <vector>

struct Options {
    std::string input = "pattern:640x360";
    std::string output;       // empty: frames are processed and discarded
    std::string script_dir;   // empty: the input file's folder, else the current folder
    int frames = -1;          // -1: all frames of a file, 30 for a generated source
    int max_w = 0, max_h = 0; // 0: the input's size
    int tracks[12] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    std::string answer = "ok";  // how message boxes are answered: yes, no or ok
    bool strict = false;
    std::vector<std::pair<int, int>> clicks;  // --click X,Y, in order
};

// Parses argv (after the program name).  On a usage error returns false and
// puts the message in *error; "--help" sets *help.
bool parse_options(int argc, char** argv, Options* options, std::string* error, bool* help);

extern const char* const kUsage;
