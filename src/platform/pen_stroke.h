// The area a round pen of radius r covers when it traces closed polylines:
// every point within r of them.  It is built as a union of convex pieces, a
// rectangle along each segment and a pie slice on the outer side of each
// corner, all wound the same way, so the non-zero rule of CoverageRaster
// gives exactly their union.  (Offsetting a whole contour instead turns
// inside out where the pen is wider than a curve is round, and leaves holes
// in the outline of dots and small counters.)
#pragma once

#include "platform/coverage_raster.h"
#include "platform/polyline_flattening.h"

namespace platform {

// Adds the pen's area into `raster`.  Pieces that cannot reach the raster are
// left out, and arcs are cut finely only inside it, so the cost is bounded
// by the raster and the number of points, whatever the radius.  Returns
// true, adding nothing, when the pen covers the whole raster.
bool stroke_polylines(const PolylineSet& set, double radius, double tolerance,
                      CoverageRaster& raster);

}  // namespace platform
