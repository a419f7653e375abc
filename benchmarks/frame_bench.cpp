// Frame overhead of the renderer against the least that any implementation of the pass
// contract pays. Registered once the renderer is part of the library.
#include "bench_support.h"

namespace OrvBench {

void registerFrameBenchmarks() {}

}  // namespace OrvBench
