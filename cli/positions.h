// Places in the input as the command line gives them: a frame number or a
// time, in the forms ffmpeg users type.
//
//   f120                  frame 120, in every option
//   5s  2.5s  500ms       seconds, milliseconds
//   1:05  00:00:05.2      [HH:]MM:SS[.fraction]
//   5  5.2                -ss, -to and -t: seconds, as in ffmpeg
//   120                   --start and --end: frame 120 (a whole number is a
//                         frame, as it always was), 5.2: seconds
#pragma once

#include <string>

struct Position {
    bool is_time = false;
    long long frame = 0;
    double seconds = 0;
};

// What a plain number means: a frame (a whole number) or seconds.
enum class PlainNumber { frame, seconds };

// False for text that is no position (negative ones included).
bool parse_position(const std::string& text, PlainNumber plain, Position* position);
