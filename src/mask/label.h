// Connected-component labelling of a region's y component, and its uses.
//
// label_region numbers the foreground regions (y > 0) of a region with 4- or
// 8-connectivity, drops those outside size limits, numbers the rest 1..count
// by decreasing area and writes the numbers into the destination's y.
// label_to_mask turns chosen label numbers back into a mask; remove_holes
// fills every background region but the largest.  All of them write only
// the destination region; label_region and remove_holes write only y.
#pragma once

#include <cstdint>

#include "buffers/area_job.h"

// Inclusive limits a component must meet to be kept.
struct ComponentLimits {
    int min_area = 0, max_area = 2147483647;
    int min_width = 0, max_width = 2147483647;
    int min_height = 0, max_height = 2147483647;
};

// One kept component: its label, pixel count and bounding box, the box in
// destination coordinates (work-array position + dx, dy).  x and y are 64-bit
// because a destination position near the int limit plus a column could
// overflow 32 bits.
struct ComponentInfo {
    std::int32_t label, area;
    std::int64_t x, y;
    std::int32_t width, height;
};

// Labels can never exceed 32767 (16-bit cells), nor the region's pixel
// count; `capacity` entries of ComponentInfo always suffice.
std::int32_t component_capacity(int w, int h);

// Labels the job's region; stores the kept components, largest first, in
// out[0 .. count-1] and returns count.  `out` holds component_capacity(w, h)
// entries.  Throws std::bad_alloc or std::length_error when the work arrays
// cannot be held; the destination is then unchanged.
std::int32_t label_region(const AreaJob& job, bool eight_connected, const ComponentLimits& limits,
                          ComponentInfo* out);

// Writes y = 4096 where the source's y is selected, else y = 0, and
// cb = cr = 0 everywhere in the destination region.  `selected` has 65536
// entries indexed by y + 32768.  Source and destination may overlap.
void label_to_mask(const AreaJob& job, const std::uint8_t* selected);

// Fills holes: the largest 4-connected background (y == 0) region of the
// source region stays 0, everything else (foreground of any non-zero y,
// smaller background regions) becomes 4096; only y is written.
void remove_holes(const AreaJob& job);
