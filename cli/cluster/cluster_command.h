// quorvel cluster: renders a run in chunks on a Slurm cluster and joins
// them into one video.  It cuts the frames into chunks, writes the batch
// scripts into a work folder and submits them with sbatch: a job array
// with one task per chunk, the join when all of them succeeded, and a
// report naming the failed chunk's log otherwise.
#pragma once

#include "host/plugin_host.h"
#include "options.h"

// Runs the whole command; the exit status (0, 1, or 2 for a usage error).
int cluster_command(const Options& options, PluginHost& host);
