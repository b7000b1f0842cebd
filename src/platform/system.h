// Clocks, files, paths and the environment, as the plug-in needs them.
//
// This and desktop.h are the only places that know the operating system.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

constexpr char kPathSeparator = '/';
constexpr char kPathListSeparator = ':';

// Milliseconds since the system started, as a signed 32-bit value: it wraps
// to negative values after about 24.8 days, as scripts have always seen it.
std::int32_t tick_count();

// Wall-clock time in whole seconds.
std::int64_t clock_seconds();

// Opens `path` for reading and reports its last-write time in nanoseconds.
// False when the file cannot be opened (missing, unreadable, a folder).
bool file_write_time(const std::string& path, std::int64_t* time);

// Deletes a file; a missing file is not an error.
void remove_file(const std::string& path);

// Full path of the shared library (or program) that contains this code.
std::string module_path();

// "dir/file" -> "dir"; "/file" -> "/"; "file" -> "".
std::string remove_file_spec(const std::string& path);

// Appends the separator unless the path already ends with one.
std::string add_separator(const std::string& path);

// Environment variables; get_env gives null for an unset one.
const char* get_env(const char* name);
void set_env(const char* name, const std::string& value);

}  // namespace platform
