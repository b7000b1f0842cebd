// Script functions of the frame being filtered: dispsize, copyframe,
// set_frame_n.
#include "buffers/copy_frame.h"
#include "script/binding.h"
#include "script/library.h"

namespace {

// dispsize(w, h): shows the top-left w x h of the frame (16..max each).
int l_dispsize(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const int w = check_int(L, 1);
    const int h = check_int(L, 2);
    if (w >= 16 && w <= r.fpip->max_w && h >= 16 && h <= r.fpip->max_h) {
        r.fpip->w = w;
        r.fpip->h = h;
    }
    return 0;
}

// set_frame_n(n): asks the host to set the number of frames of the video.
int l_set_frame_n(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    check_arg_count(L);
    const int n = check_int(L, 1);
    EXFUNC* ex = r.fp->exfunc;
    if (ex != nullptr && ex->set_frame_n != nullptr) ex->set_frame_n(r.fpip->editp, n);
    return 0;
}

// copyframe(buf, frame [, fx, fy, w, h, bx, by]): copies part of another
// frame of the video, as the host renders it before this filter, into buf.
int l_copyframe(lua_State* L) {
    const HostRecords r = fetch_host_records(L);
    const int n = check_arg_count(L);
    const int buf = check_int(L, 1);
    const int frame = check_int(L, 2);
    int fx = 0, fy = 0, w = r.fpip->w, h = r.fpip->h, bx = 0, by = 0;
    if (n == 8) {
        int v[6];
        check_ints(L, 3, 6, v);
        fx = v[0], fy = v[1], w = v[2], h = v[3], bx = v[4], by = v[5];
    }
    if (w < 1 || h < 1) return 0;

    EXFUNC* ex = r.fp->exfunc;
    if (ex == nullptr || ex->get_ycp_filtering_cache_ex == nullptr) return 0;
    if (ex->set_ycp_filtering_cache_size != nullptr)
        ex->set_ycp_filtering_cache_size(r.fp, r.fpip->max_w, r.fpip->max_h, 5, 0);
    auto* picture = static_cast<PIXEL_YC*>(
        ex->get_ycp_filtering_cache_ex(r.fp, r.fpip->editp, frame, nullptr, nullptr));
    if (picture == nullptr) return 0;

    const Frame to = require_frame(L, r, buf);
    const int W = r.fpip->max_w, H = r.fpip->max_h;
    clip_region_pair(fx, fy, bx, by, w, h, W, H, W, H);
    copy_area(r.frame(picture), fx, fy, to, bx, by, w, h);
    return 0;
}

}  // namespace

const LibraryFunction frame_functions[] = {
    {"dispsize", l_dispsize, {2}},
    {"copyframe", l_copyframe, {2, 8}},
    {"set_frame_n", l_set_frame_n, {1}},
    {},
};
