// FFmpeg's part of the host program as main() sees it (libav.cpp; the
// Windows build, which has no FFmpeg, says so instead: media_absent_win32.cpp).
#pragma once

#include <string>

// Sends the libraries' own messages to standard error, errors only.
void quiet_libav_log();

// The libraries and their versions, one line for --version.
std::string media_libraries_text();
