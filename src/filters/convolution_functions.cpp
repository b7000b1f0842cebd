// Script functions linear and laplacian:
//   linear(src, dst, sx, sy, w, h, dx, dy, kernel)
//   laplacian(src, dst, sx, sy, w, h, dx, dy)
#include "filters/bindings.h"
#include "filters/convolution.h"

int l_linear(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {9});
    const PairArgs args = read_pair_args(L);
    // The kernel is read, and its faults reported, before the size is tested.
    int rows = 0, cols = 0;
    const double* cells = check_table2d(L, 9, &rows, &cols);
    check_table_rows(L, 9, "kernel");
    FilterJob job;
    if (!resolve_filter_job(L, r, args, job)) return 0;
    guarded(L, "linear", [&] { linear_region(job, cells, rows, cols); });
    return 0;
}

int l_laplacian(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L, {8});
    const PairArgs args = read_pair_args(L);
    FilterJob job;
    if (!resolve_filter_job(L, r, args, job)) return 0;
    guarded(L, "laplacian", [&] { laplacian_region(job); });
    return 0;
}
