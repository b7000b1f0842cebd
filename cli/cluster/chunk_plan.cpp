#include "cluster/chunk_plan.h"

#include <algorithm>

std::vector<Chunk> plan_chunks(int first, int last, int chunks, int chunk_frames,
                               std::string* error) {
    std::vector<Chunk> plan;
    if (last < first) {
        *error = "no frames to run";
        return plan;
    }
    const long long frames = 1LL + last - first;
    if (chunks <= 0 && chunk_frames <= 0) {
        *error = "give --chunks N or --chunk-frames F";
        return plan;
    }
    if (chunks <= 0) {
        for (long long at = first; at <= last; at += chunk_frames)
            plan.push_back({static_cast<int>(at),
                            static_cast<int>(std::min<long long>(last, at + chunk_frames - 1))});
        return plan;
    }
    chunks = static_cast<int>(std::min<long long>(chunks, frames));
    const long long base = frames / chunks, longer = frames % chunks;
    long long at = first;
    for (int k = 0; k < chunks; ++k) {
        const long long length = base + (k < longer ? 1 : 0);
        plan.push_back({static_cast<int>(at), static_cast<int>(at + length - 1)});
        at += length;
    }
    return plan;
}
