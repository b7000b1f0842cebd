// The C runtime's pseudo-random generator as diffuse uses it: 15-bit results
// (0..32767), one state per thread, starting from 1 and never reseeded.
//
// On Windows this is the runtime's own rand(), whose state is per thread.
// Elsewhere rand() shares one state between threads, so the same generator
// (the Windows runtime's linear congruence) is kept per thread here; both
// give the same sequence on each thread.
#pragma once

namespace platform {

int crt_rand();

}  // namespace platform
