#pragma once
// Live heap bytes of the whole program, counted by a replaced global
// operator new and delete, for benchmarks that report peak memory.
#include <cstddef>

namespace wardenix::bench {

std::size_t heap_live();
// The highest live count since the last reset.
std::size_t heap_peak();
// Starts a new peak from what is live now; returns that.
std::size_t reset_heap_peak();

}  // namespace wardenix::bench
