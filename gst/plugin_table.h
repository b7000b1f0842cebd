// The plug-in that the element drives: quorvel.auf beside the element's own
// library, loaded once when GStreamer loads the element.  Its filter table
// gives the element's track properties (names from the captions, ranges and
// defaults from the table), as it gives `quorvel run` its track options.
#pragma once

#include <string>

#include "platform/aviutl.h"

// Loads the plug-in beside `element_library` (the path of libgstquorvel.so);
// false with a message.
bool load_plugin_table(const std::string& element_library, std::string* error);
// Valid after load_plugin_table succeeded.
const FILTER& plugin_table();
const std::string& plugin_file();

// The plug-in keeps its script, buffers and log as state of which a process
// has one: one element at a time runs it.  False when another one does.
bool claim_plugin(const void* element);
void release_plugin(const void* element);
