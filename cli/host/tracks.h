// The track options of the host program (--script-no, --threads, --display,
// --var NAME=VALUE), set on the tracks of the plug-in's own filter table,
// and the check box that --click turns on.
//
// The program keeps no copy of the tracks: it finds each option's track by
// the caption the plug-in gives it, takes the defaults and the ranges from
// the table, and so follows the plug-in when its tracks change.
#pragma once

#include <string>
#include <vector>

#include "platform/aviutl.h"

// One track option as the command line gives it.
struct TrackSetting {
    std::string option;  // "script-no", "threads", "display", or a variable name for --var
    std::string value;   // the text after the option
    bool is_var = false;
};

// The table's defaults for its tracks (track_n values).
std::vector<int> default_tracks(const FILTER& table);

// Sets the track that `setting` names, in `tracks` (one value per track of
// the table).  False with a usage message when the option names no track of
// the table or its value is not an integer in the track's range.
bool apply_track_setting(const FILTER& table, const TrackSetting& setting, std::vector<int>* tracks,
                         std::string* error);

// "a, b, c, d, u, v, x, y or z (0..4096)": the table's variables for the
// usage text (without the range when they differ); "" when it has none.
std::string variables_help(const FILTER& table);

// The index of the check box that turns on colour information on click
// ("クリックで色情報の表示"), or -1 when the table has none.
int color_info_check_box(const FILTER& table);

// The option that sets track `index`: "--threads", "--var a", ... or "".
std::string track_option(const FILTER& table, int index);

// A decimal int with nothing after it; false for anything else.
bool parse_int(const std::string& text, int* value);
