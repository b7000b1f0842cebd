// Script functions linear and laplacian:
//   linear(src, dst, sx, sy, w, h, dx, dy, kernel)
//   laplacian(src, dst, sx, sy, w, h, dx, dy)
#include "filters/convolution.h"
#include "script/area_args.h"
#include "script/library.h"

namespace {

// About 4 G multiply-adds per channel: a few seconds on one core; a
// 45 x 45 kernel over a whole 1920 x 1080 frame.
constexpr double kLinearWorkLimit = 4294967296.0;

int l_linear(lua_State* L) {
    const PairCall call = begin_pair_call(L);
    // The kernel is read, and its faults reported, before the size is tested.
    int rows = 0, cols = 0;
    const double* cells = check_table2d(L, 9, &rows, &cols);
    check_table_rows(L, 9, "kernel");
    AreaJob job;
    if (!resolve_area_job(L, call, job)) return 0;
    // A native call cannot be stopped by the script's time budget, so the
    // work of one call is capped: kernel cells times region pixels.
    const double work = static_cast<double>(rows) * cols * job.w * job.h;
    if (work > kLinearWorkLimit)
        return luaL_argerror(L, 9, "kernel too large for the region (cells x pixels above 2^32)");
    guarded(L, "linear", [&] { linear_region(job, cells, rows, cols); });
    return 0;
}

int l_laplacian(lua_State* L) { return area_function(L, "laplacian", laplacian_region); }

}  // namespace

const LibraryFunction convolution_functions[] = {
    {"linear", l_linear, {9}},
    {"laplacian", l_laplacian, {8}},
    {},
};
