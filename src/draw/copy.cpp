// The keyed and masked copies behind copy.
#include "draw/copy.h"

#include "buffers/rows.h"

void copy_keyed(const Frame& src, const Frame& dst, const PairArea& area, int key) {
    for_each_pair(src, dst, area, [key](const PIXEL_YC& s, PIXEL_YC& d) {
        if (s.y > key) d = s;
    });
}

void copy_masked(const Frame& src, const Frame& dst, const Frame& mask, const MaskedArea& area,
                 int key) {
    for_each_masked(src, dst, mask, area, [key](const PIXEL_YC& s, PIXEL_YC& d, const PIXEL_YC& m) {
        if (m.y > key) d = s;
    });
}
