// The mask measurements behind mask_range and mask_center.
#include "mask/mask_query.h"

bool mask_range(const Frame& mask, const Region& area, int threshold, Region* box) {
    // Selection is tracked by a flag rather than by the start values
    // min = x + w + 1, max = x: after clipping a region wholly beyond the
    // right or bottom edge has w = -1, and those start values would then
    // describe a 1 x 1 box although no pixel was scanned.
    bool found = false;
    int min_x = 0, max_x = 0, min_y = 0, max_y = 0;
    for (int i = 0; i < area.h; ++i) {
        const int cy = area.y + i;
        const PIXEL_YC* row = mask.row(cy);
        for (int j = 0; j < area.w; ++j) {
            const int cx = area.x + j;
            if (row[cx].y < threshold) continue;
            if (!found) {
                found = true;
                min_x = max_x = cx;
                min_y = max_y = cy;
                continue;
            }
            if (cx < min_x) min_x = cx;
            if (cx > max_x) max_x = cx;
            max_y = cy;  // rows are scanned downwards
        }
    }
    if (!found) return false;
    *box = {min_x, min_y, max_x - min_x + 1, max_y - min_y + 1};
    return true;
}

bool mask_center(const Frame& mask, const Region& area, int threshold, double* cx, double* cy) {
    long long weight = 0, sum_x = 0, sum_y = 0;
    for (int i = 0; i < area.h; ++i) {
        const int y = area.y + i;
        const PIXEL_YC* row = mask.row(y);
        long long row_weight = 0, row_x = 0;
        for (int j = 0; j < area.w; ++j) {
            const int x = area.x + j;
            const int g = row[x].y;
            if (g < threshold) continue;
            row_weight += g;
            row_x += static_cast<long long>(x) * g;
        }
        weight += row_weight;
        sum_x += row_x;
        sum_y += row_weight * y;
    }
    if (weight <= 0) return false;
    *cx = static_cast<double>(sum_x) / static_cast<double>(weight);
    *cy = static_cast<double>(sum_y) / static_cast<double>(weight);
    return true;
}
