#include "platform/cpu_features.h"

namespace platform {

bool has_avx2() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
#else
    return false;
#endif
}

}  // namespace platform
