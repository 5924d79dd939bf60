#include "cli/ParallelRunner.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

void CParallelRunner::Run(int count, int jobs, const std::function<void(int index)>& work) {
    if (count <= 0)
        return;
    const int threads = std::clamp(jobs, 1, std::min(count, kMaxJobs));
    std::atomic<int> next{0};
    const auto worker = [&] {
        for (int index = next++; index < count; index = next++)
            work(index);
    };
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i)
        pool.emplace_back(worker);
    for (std::thread& thread : pool)
        thread.join();
}
