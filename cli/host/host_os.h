// What the host program asks of the operating system, in one place: paths
// and files, the terminal and standard streams, loading the plug-in.
// host_os_posix.cpp serves Linux, host_os_win32.cpp Windows.
#pragma once

#include <cstdint>
#include <cstdio>
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
// The folder this program's file is in.
std::string program_folder();

bool is_regular_file(const std::string& path);
// A FIFO or a character device: a stream that can be read only once.
bool is_stream_file(const std::string& path);
bool folder_can_be_entered(const std::string& path);

// Bytes of physical memory this process could use; 0 when unknown.
std::uint64_t physical_memory();

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

// The plug-in: load, look up an export, unload.
void* load_library(const std::string& path, std::string* error);
void* library_symbol(void* library, const char* name);
void unload_library(void* library);

}  // namespace host_os
