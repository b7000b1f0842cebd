// The edit the host program works on, shared by `run` and `preview`: the
// input, the frame buffers' size, the script folder and script, and the
// frames the command line asks for.  Each step prints its own message and
// returns 0 or the exit status (2 for a usage error, 1 otherwise).
#pragma once

#include <climits>
#include <cstdint>
#include <memory>
#include <string>

#include "media/frame_source.h"
#include "options.h"

class PluginHost;

struct Edit {
    std::unique_ptr<FrameSource> source;
    bool generated = false;  // blank: or pattern:, which has any number of frames
    int max_w = 0, max_h = 0;
    std::string dir;  // the script folder, absolute
    std::string edited_file;
    std::string input;        // as the command line names it
    std::string script;       // the script file's path
    std::string script_note;  // which folder it was found in, when not the input's
    int start = 0;
    int cap = INT_MAX;  // frames from the command line stop before this number
    int length = 0;     // info.frame_n at the start
    int stop = 0;       // the run stops before this frame, unless the script shortens it
    // Which frames the script sees, for --info; and whether the input's
    // pictures leave the steps of its rate (drop frames, variable timing).
    std::string timeline;
    bool variable_timing = false;
    std::string timing;    // "20 pictures over 47 steps of 25 fps: ...", when known
    std::string rotation;  // what became of the input's display matrix, for --info
};

// Opens the input and sizes the frame buffers.
int open_input(const Options& options, Edit* edit);
// The frames to run: from --start to --end (inclusive), at most --frames of
// them, never beyond a file's end.
int choose_frames(const Options& options, Edit* edit);
// Finds the script folder and the script: --script-dir, else the input's
// folder, else (when that has none) the current folder.  The plug-in looks
// for its script beside the edited file, which is said to be there.
int find_script(const Options& options, Edit* edit);

// The memory cap a script gets: --memory-limit, else the host's default
// (host_os::default_memory_cap, leaving room for the edit's frames), with
// where it came from.
struct MemoryCap {
    std::uint64_t bytes = 0;  // 0: no cap
    std::string source;
};
MemoryCap script_memory_cap(const Options& options, const Edit& edit);

// Gives the plug-in the script limits of the command line: the frame
// timeout, the memory cap and the sandbox, which a plug-in without one must
// refuse.  Standard input is closed to the plug-in from here on.
int apply_script_limits(const Options& options, const Edit& edit, PluginHost& host);

// "filter.lua" for script number 0, else "filterN.lua".
std::string script_file_for(int script_no);

std::string absolute(const std::string& path);
std::string folder_of(const std::string& path);
bool is_file(const std::string& path);
// The plug-in beside this program.
std::string plugin_path();
std::uint64_t physical_memory();

// "quorvel: MESSAGE" on standard error, with the hint to --help; returns 2.
int usage_error(const std::string& message);
void print_error(const std::string& message);
