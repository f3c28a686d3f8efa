// Work shared among threads without changing results: the work is cut into
// a fixed number of tasks whatever the number of threads, each task writes
// only its own output, and callers combine the tasks' outputs in index order.
#pragma once

#include <cstddef>
#include <functional>

namespace extraction {

// The threads to use for a setting of 0 (all the machine has) or more.
int thread_count(int requested);

// run_tasks: task(i) for every i in [0, count), on at most `threads`
// threads (the calling thread among them).  Returns when all are done; the
// first exception a task throws is rethrown here.
void run_tasks(std::size_t count, int threads, const std::function<void(std::size_t)>& task);

}  // namespace extraction
