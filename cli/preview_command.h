// quorvel preview: the filter's result live in a web browser.
#pragma once

#include "options.h"
#include "plugin_host.h"

// Serves the page until the program is interrupted (SIGINT or SIGTERM);
// the exit status.
int run_preview(const Options& options, PluginHost& host);
