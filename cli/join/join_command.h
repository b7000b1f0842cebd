// quorvel join: the chunks of one run put together into one video without
// re-encoding, with the input's audio cut to the frames they cover.
#pragma once

#include "options.h"

// Runs the whole command; the exit status (0, 1, or 2 for a usage error).
int join_command(const Options& options);
