// LUA_FILTER_INFO: the plug-in's own per-frame record, refreshed from the
// host's tracks at the start of every frame and published to library
// functions through the Lua registry.
#pragma once

#include "platform/aviutl.h"

struct LUA_FILTER_INFO {
    PIXEL_YC* (*get_buffer)(int n);  // buffer-number resolver; null for no buffer
    int script_no;                   // track 0: which script file
    int thread_n;                    // track 1: workers of the toolkit filters
    const char* script_path;         // script folder, ending in the path separator
    int a, b, c, d, u, v, x, y, z;   // tracks 3..11: the script's variables
};

// Track indices of the filter table.
enum Track {
    kTrackScriptNo = 0,
    kTrackThreads = 1,
    kTrackDisplay = 2,
    kTrackVarA = 3,  // a b c d u v x y z follow in order
    kTrackCount = 12
};

// Refreshes `lfip` from the host's tracks at the start of a frame: the
// buffer resolver, the script number, the thread count and the nine
// variables.
void fill_filter_info(const FILTER* fp, LUA_FILTER_INFO* lfip);

// The edited video's frame rate as the host reports it in its file
// information (video_rate / video_scale), for the script's info.fps; 0 when
// the host does not say.
double edited_frame_rate(const FILTER* fp, void* editp);
