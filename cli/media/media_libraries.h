// FFmpeg's part of the host program as main() sees it (libav.cpp; the
// Windows build, which has no FFmpeg, says so instead: media_absent_win32.cpp).
#pragma once

#include <functional>
#include <string>

// Sends the libraries' own messages to standard error, errors only.
void quiet_libav_log();

// The libraries and their versions, one line for --version.
std::string media_libraries_text();

// Writes text to an URL FFmpeg's protocols reach (tcp://, ...), flushed at
// every call; null with a message when it cannot be opened (or, without
// FFmpeg, at all).
std::function<bool(const std::string&)> open_url_writer(const std::string& url, std::string* error);
