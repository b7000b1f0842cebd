#include <cstdlib>

#include "platform/crt_random.h"

namespace platform {

// The runtime keeps rand's state per thread, starting from 1.
int crt_rand() { return std::rand(); }

}  // namespace platform
