#include "numerics/parallel.hpp"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace numerics {

int thread_count(int requested)
{
    if (requested > 0) return requested;
    unsigned machine = std::thread::hardware_concurrency();
    return machine > 0 ? static_cast<int>(machine) : 1;
}

void for_each_block(std::size_t count, int threads, const std::function<void(std::size_t)>& work)
{
    if (count == 0) return;
    std::atomic<std::size_t> next{0};
    std::exception_ptr failure;
    std::mutex failure_lock;
    auto worker = [&] {
        for (std::size_t b = next++; b < count; b = next++) {
            try {
                work(b);
            } catch (...) {
                std::lock_guard lock(failure_lock);
                if (!failure) failure = std::current_exception();
                next = count;  // the other threads take no new block
            }
        }
    };
    std::size_t helpers = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(threads, 1))) - 1;
    std::vector<std::jthread> pool;
    pool.reserve(helpers);
    for (std::size_t i = 0; i < helpers; ++i) pool.emplace_back(worker);
    worker();
    pool.clear();  // joins
    if (failure) std::rethrow_exception(failure);
}

}  // namespace numerics
