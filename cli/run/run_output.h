// The files a run writes: --output opened with its settings from the input,
// and the rule that a file already there is not overwritten silently.
#pragma once

#include <memory>
#include <string>

#include "media/frame_sink.h"
#include "media/frame_source.h"
#include "options.h"

// A file that exists already is not overwritten silently (ffmpeg's way):
// -y overwrites it, -n keeps it, and without either the run asks on a
// terminal and keeps it elsewhere.  0 to go on, or the exit status.
int check_overwrite(const Options& options, const std::string& path);

// Opens --output, if any, for frames like the source's; 0, or the exit
// status (2 for a name or setting that cannot work).
int open_output(const Options& options, const FrameSource& source,
                std::unique_ptr<FrameSink>* sink);
