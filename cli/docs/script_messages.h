// One added line for the script messages a user meets most, saying what
// went wrong in the user's terms: the texts the script sees stay as they
// are, and `run` and the preview show this line under them.
//
//   バッファが存在しません[25]
//     -> buffer 25 does not exist (buffers 0–19, and those made by createbuf)
//   bad argument #8 to 'gaussian' (wrong number of argument)
//     -> gaussian takes 9 arguments, got 8: quorvel help gaussian
#pragma once

#include <string>
#include <vector>

#include "docs/function_listing.h"

// The plug-in's message for a script that defines no video_filter (or did
// not load): the run ends at once when its first frame logs it.
extern const char* const kNoVideoFilter;

// The explanation of a logged message (with or without its "file:line: "),
// or "" for a message it has none for.  Argument counts come from the
// plug-in's table once use_plugin_argument_counts has been given it, else
// from the function reference's forms.
std::string explain_script_message(const std::string& message);

// The plug-in's functions with the argument counts it accepts (as
// plugin_functions reads them), for the explanations.
void use_plugin_argument_counts(std::vector<PluginFunction> functions);

// The message without the position Lua puts before it ("filter.lua:12: ").
std::string without_position(const std::string& message);
