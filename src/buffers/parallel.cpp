#include "buffers/parallel.h"

#include <omp.h>

void set_parallel_workers(int n) { omp_set_num_threads(n < 1 ? 1 : n); }
