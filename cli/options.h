// The host program's command line.
#pragma once

#include <string>
#include <vector>

#include "tracks.h"

struct Options {
    std::string input = "pattern:640x360";
    std::string output;       // empty: frames are processed and discarded
    std::string script_dir;   // empty: the input file's folder, else the current folder
    int frames = -1;          // -1: all frames of a file, 30 for a generated source
    int max_w = 0, max_h = 0; // 0: the input's size
    std::vector<int> tracks;  // one value per track of the plug-in's filter table
    std::string answer = "ok";  // how message boxes are answered: yes, no or ok
    bool strict = false;
    std::vector<std::pair<int, int>> clicks;  // --click X,Y, in order
};

// Parses argv (after the program name).  On a usage error returns false and
// puts the message in *error; "--help" sets *help.  `table` is the plug-in's
// filter table, whose tracks the track options set (tracks.h); when it is
// null (the plug-in could not be loaded) they are not checked or kept.
bool parse_options(int argc, char** argv, const FILTER* table, Options* options, std::string* error,
                   bool* help);

// The usage text; the variables and their range come from `table` when
// there is one.
std::string usage_text(const FILTER* table);

// A decimal int with nothing after it; false for anything else.
bool parse_int(const std::string& text, int* value);
