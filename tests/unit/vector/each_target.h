// Runs a check once per instruction set that this build compiled and this
// processor runs, down to the portable one: each time, every dispatched
// kernel takes that set's code.
#pragma once

#include <hwy/targets.h>

#include <cstdint>
#include <string>

// f(name) for each target; the processor's best target is chosen again
// afterwards.
template <class F>
void for_each_target(const F& f) {
    for (std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
        hwy::SetSupportedTargetsForTest(target);
        f(std::string(hwy::TargetName(target)));
    }
    hwy::SetSupportedTargetsForTest(0);
}
