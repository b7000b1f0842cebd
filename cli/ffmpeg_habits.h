// ffmpeg's options as its users type them by habit.  -ss, -to, -t and
// -progress work as in ffmpeg (they become --ss, --to, --duration and
// --progress-url, which CLI11 can read); options that have no place here
// (-vf, -c:v, -pix_fmt, -r, ...) are refused with a message that names what
// to use instead.  -y and -n are options of their own (options.cpp).
#pragma once

#include <string>
#include <vector>

// Rewrites the arguments of `run` and `preview` (after the program name);
// false with the message when one of them is an ffmpeg option without a
// place here.
bool translate_ffmpeg_habits(std::vector<std::string>* args, std::string* error);
