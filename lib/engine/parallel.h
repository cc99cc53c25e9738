// Work spread over threads, for the library's own use.
#ifndef STEINER_PARALLEL_H
#define STEINER_PARALLEL_H

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace steiner::internal {

// Runs work(k) for k in 0..count-1, each k exactly once, on the calling
// thread and up to threads - 1 more, never more than count in all. A thread
// that cannot be started (no memory, no thread left) leaves its share to the
// others. An exception thrown by any task is passed on once all have stopped.
template <typename Work> void run_parallel(size_t count, int threads, Work work) {
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    std::mutex error_lock;
    auto worker = [&]() {
        try {
            for (;;) {
                const size_t k = next.fetch_add(1);
                if (k >= count || failed.load())
                    return;
                work(k);
            }
        } catch (...) {
            const std::lock_guard<std::mutex> hold(error_lock);
            if (!failed.exchange(true))
                error = std::current_exception();
        }
    };
    const size_t helpers = std::min(count, static_cast<size_t>(std::max(threads, 1))) - (count > 0);
    std::vector<std::thread> pool;
    try {
        // Room first, so that starting a thread is the only step that can fail.
        pool.reserve(helpers);
        for (size_t k = 0; k < helpers; k++)
            pool.emplace_back(worker);
    } catch (...) {
        // Fewer threads only take longer.
    }
    worker();
    for (std::thread &thread : pool)
        thread.join();
    if (error)
        std::rethrow_exception(error);
}

} // namespace steiner::internal

#endif
