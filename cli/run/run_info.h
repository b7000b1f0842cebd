// quorvel run --info: what a run would do, without running it.
#pragma once

#include "edit.h"
#include "options.h"

class PluginHost;

void print_info(const Options& options, const Edit& edit, PluginHost& host);
