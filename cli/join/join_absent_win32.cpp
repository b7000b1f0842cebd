// The Windows build has no FFmpeg, so it cannot join video files.
#include "edit.h"
#include "join/join_command.h"

int join_command(const Options&) {
    print_error(
        "join is not in the Windows build (it needs FFmpeg): run build/quorvel join on Linux");
    return 1;
}
