// A phone's portrait clip is stored on its side with a display matrix that
// tells players to turn it.  The script is to see the picture as players
// show it: the source is turned upright (by 90, 180 or 270 degrees, as
// ffmpeg's autorotation does) and carries no matrix on, so the output is
// written upright without one.
#pragma once

#include <memory>
#include <string>

#include "media/frame_source.h"

// The clockwise turn (0, 90, 180, 270) that shows a picture stored with
// this display matrix (36 bytes, as containers store it) upright; -1 for a
// matrix that mirrors or turns by another angle.
int upright_turn(const std::string& display_matrix);

// The source turned upright, or as it is when it needs no turn.  *note says
// why a matrix was kept (a mirror, an odd angle).
std::unique_ptr<FrameSource> upright(std::unique_ptr<FrameSource> source, std::string* note);
