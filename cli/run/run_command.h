// quorvel run: runs the script over the input and writes the output.
#pragma once

#include "host/plugin_host.h"
#include "options.h"

// Runs the whole command; the exit status (0, 1, or 2 for a usage error).
int run_command(const Options& options, PluginHost& host);
