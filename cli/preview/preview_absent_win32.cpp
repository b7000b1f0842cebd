// The Windows host program has no preview server (it would need a web
// server and a JPEG encoder built for Windows): the command says so.
#include <cstdio>

#include "preview/preview_command.h"

int run_preview(const Options&, PluginHost&) {
    std::fputs(
        "quorvel: preview is not in this Windows build of quorvel; run quorvel preview on Linux, "
        "or quorvel run "
        "here\n",
        stderr);
    return 1;
}
