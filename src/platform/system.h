// Clocks, files, paths and the environment, as the plug-in needs them.
//
// This and desktop.h are the only places that know the operating system.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
constexpr char kPathListSeparator = ';';
#else
constexpr char kPathSeparator = '/';
constexpr char kPathListSeparator = ':';
#endif

// Milliseconds since the system started, as a signed 32-bit value: it wraps
// to negative values after about 24.8 days, as scripts have always seen it.
std::int32_t tick_count();

// Wall-clock time in whole seconds.
std::int64_t clock_seconds();

// What file_write_time found at a path.
enum class FileCheck { ok, missing, not_regular };

// Reports the last-write time of the regular file at `path` in nanoseconds,
// after opening it for reading.  A path that names something other than a
// regular file (a folder, a FIFO, a device) is never opened, so a FIFO
// cannot block the caller.  `missing` also covers a file that cannot be
// opened.
FileCheck file_write_time(const std::string& path, std::int64_t* time);

// True when `path` (relative to the working folder, or absolute) names a
// place below `folder`, symbolic links resolved; a path that does not exist
// yet counts by its parent folder.
bool path_is_below(const std::string& path, const std::string& folder);

// How many names (hard links) the file at `path` has: 0 when there is no
// such file, 1 for anything that is not a regular file.
unsigned file_link_count(const std::string& path);

// Bytes of physical memory; 0 when the system does not tell.
std::uint64_t physical_memory();

// Milliseconds of a monotonic clock, for time budgets.
std::int64_t monotonic_ms();

// Deletes a file; a missing file is not an error.
void remove_file(const std::string& path);

// True when the Lua runtime can be called.  The Windows plug-in binds
// "lua.dll" on first use (found beside the plug-in through PATH); a call
// into a missing one would end the editor, so this is asked first.
bool script_runtime_available();

// Full path of the shared library (or program) that contains this code.
std::string module_path();

// "dir/file" -> "dir"; "/file" -> "/"; "file" -> "".  On Windows both
// separators count and a drive's root keeps its own: "C:\\file" -> "C:\\".
std::string remove_file_spec(const std::string& path);

// Appends the separator unless the path already ends with one.
std::string add_separator(const std::string& path);

// Environment variables; get_env gives null for an unset one.
const char* get_env(const char* name);
void set_env(const char* name, const std::string& value);

}  // namespace platform
