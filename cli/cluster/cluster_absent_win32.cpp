// The Windows build renders on one machine: its chunks would need FFmpeg to
// be joined, and Slurm's nodes run Linux.
#include "cluster/cluster_command.h"
#include "edit.h"

int cluster_command(const Options&, PluginHost&) {
    print_error("cluster is not in the Windows build: run build/quorvel cluster on Linux");
    return 1;
}
