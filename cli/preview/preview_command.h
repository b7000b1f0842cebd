// quorvel preview: the filter's result live in a web browser.
#pragma once

#include "host/plugin_host.h"
#include "options.h"

// Serves the page until the program is interrupted (SIGINT or SIGTERM);
// the exit status.
int run_preview(const Options& options, PluginHost& host);
