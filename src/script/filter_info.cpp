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
