#pragma once

#include <functional>

// Runs work(0) ... work(count - 1) on at most `jobs` threads of its own and returns when all
// have ended. Each index runs exactly once; the order among threads is free.
class CParallelRunner {
public:
    static constexpr int kMaxJobs = 256;

    static void Run(int count, int jobs, const std::function<void(int index)>& work);
};
