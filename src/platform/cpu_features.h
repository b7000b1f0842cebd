// What the processor offers beyond the x86-64 baseline, for the few loops
// that have a faster variant.
//
// The variants are chosen at run time by an ordinary test, not by the
// loader's ifunc resolution (target_clones): resolvers run before the
// sanitizer runtimes are ready and crash the ThreadSanitizer build.
//
//   if (platform::has_avx2()) work_avx2(...); else work(...);
//
// where work_avx2 is marked QUORVEL_TARGET_AVX2 and calls the same inline
// body as work, so the compiler vectorises one loop twice.
#pragma once

namespace platform {

// True when AVX2 code may run (x86-64 processors that have it).
bool has_avx2();

}  // namespace platform

#if defined(__x86_64__) || defined(__i386__)
#define QUORVEL_TARGET_AVX2 __attribute__((target("avx2")))
#else
#define QUORVEL_TARGET_AVX2
#endif
