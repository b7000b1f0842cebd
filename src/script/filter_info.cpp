#include "script/filter_info.h"

#include "buffers/store.h"

void fill_filter_info(const FILTER* fp, LUA_FILTER_INFO* lfip) {
    const int* track = fp->track;
    lfip->get_buffer = get_buffer;
    lfip->script_no = track[kTrackScriptNo];
    lfip->thread_n = track[kTrackThreads];
    int* vars[] = {&lfip->a, &lfip->b, &lfip->c, &lfip->d, &lfip->u,
                   &lfip->v, &lfip->x, &lfip->y, &lfip->z};
    for (int k = 0; k < 9; ++k) *vars[k] = track[kTrackVarA + k];
}

double edited_frame_rate(const FILTER* fp, void* editp) {
    if (fp->exfunc == nullptr || fp->exfunc->get_file_info == nullptr) return 0;
    FILE_INFO fi{};
    if (!fp->exfunc->get_file_info(editp, &fi) || fi.video_rate <= 0 || fi.video_scale <= 0)
        return 0;
    return static_cast<double>(fi.video_rate) / fi.video_scale;
}
