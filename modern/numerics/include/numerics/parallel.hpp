// Work shared over threads in fixed blocks: each block is computed whole
// by one thread, so the result never depends on the number of threads or
// on which thread took which block.  The spectrum and the extraction
// both share their work this way.
#pragma once

#include <cstddef>
#include <functional>

namespace numerics {

// thread_count: the threads a setting asks for (0: the machine's count).
int thread_count(int requested);

// for_each_block: work(b) for every b in 0 .. count - 1, exactly once.
//   Given:    count    number of blocks
//             threads  at most this many threads (1: the calling thread)
//             work     the computation of one block; blocks must not
//                      write to the same memory
//   Notes: 1. Threads take the next block from a shared counter, so an
//             uneven load spreads itself.
//          2. The first exception thrown by a block is rethrown after all
//             threads have finished.
void for_each_block(std::size_t count, int threads, const std::function<void(std::size_t)>& work);

}  // namespace numerics
