// What the host program asks of the operating system, in one place: paths
// and files, the terminal and standard streams, loading the plug-in.
// host_os_posix.cpp serves Linux, host_os_win32.cpp Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

namespace host_os {

// The character that separates folders in the paths this program makes.
extern const char kSeparator;

// Streams carry bytes as they are (Windows would translate line ends).
void binary_standard_streams();

// The path made absolute (symbolic links resolved where the system has
// them); the path itself when that fails.
std::string absolute_path(const std::string& path);
// The folder of `path` ("." for a bare name) and its last component.
std::string folder_of(const std::string& path);
std::string base_name(const std::string& path);
// The folder this program's file is in, and the file itself.
std::string program_folder();
std::string program_path();

bool is_regular_file(const std::string& path);
// A FIFO or a character device: a stream that can be read only once.
bool is_stream_file(const std::string& path);
bool folder_can_be_entered(const std::string& path);

// Bytes of physical memory this process could use; 0 when unknown.
std::uint64_t physical_memory();

// The default cap on what a script may hold, and where it comes from: the
// smallest of half the physical memory, the process's address-space and
// data limits (ulimit -v, ulimit -d) less what is mapped already, and its
// cgroup's memory.max, each of the last three less `reserved` (what the
// host needs besides, for its frames).  0 when nothing is known.
struct MemoryCeiling {
    std::uint64_t bytes = 0;
    std::string source;  // "half the physical memory (N MiB)", ...
};
MemoryCeiling default_memory_cap(std::uint64_t reserved);

// Standard input belongs to the video (--input -) and never to the script:
// take_standard_input() gives the host a stream of its own on it (once; null
// when that cannot be done), and detach_standard_input() makes the process's
// standard input read nothing from then on, for the plug-in and the
// programs a script starts.  Both may be called in any order.
std::FILE* take_standard_input();
void detach_standard_input();

bool stderr_is_terminal();
bool stdin_is_terminal();
// A reader that closes our output pipe makes writes fail instead of ending
// the program.
void ignore_broken_pipe();
// Keeps standard output for the video alone: a stream on the original
// standard output is returned and later writes to standard output (a
// script's print) go to standard error.  Null when that cannot be done.
std::FILE* take_standard_output();

// A new file for writing in the folder of `path`, under a temporary name
// (given in *temp), with the usual permissions of a new file.  Null with a
// message when it cannot be made.
std::FILE* create_temporary_beside(const std::string& path, std::string* temp, std::string* error);

// Renames `from` to `to`, replacing a file already there.
bool replace_file(const std::string& from, const std::string& to);

// SIGINT and SIGTERM while a command runs: the first asks it to stop at the
// next chance (stop_requested() turns true and `on_stop` runs on a thread
// of its own, to end a call in progress); if the program is still running
// a second later, whatever the script does, the temporary files of
// create_temporary_beside() that were never renamed are removed and the
// program ends at once.  Call it before any other thread starts (the
// signals are taken off every thread but the one that waits for them).
void watch_stop_signals(std::function<void()> on_stop);
bool stop_requested();
// "SIGINT" or "SIGTERM" once one arrived.
const char* stop_signal_name();

// The plug-in: load, look up an export, unload.
void* load_library(const std::string& path, std::string* error);
void* library_symbol(void* library, const char* name);
void unload_library(void* library);

}  // namespace host_os
