#include "ThreadStart.h"

#include <atomic>
#include <system_error>

namespace platform {

namespace {
std::atomic<int> s_failuresToSimulate{0};

bool TakeSimulatedFailure() {
    int left = s_failuresToSimulate.load();
    while (left > 0) {
        if (s_failuresToSimulate.compare_exchange_weak(left, left - 1))
            return true;
    }
    return false;
}
} // namespace

std::unique_ptr<std::thread> StartThread(std::function<void()> body) {
    if (TakeSimulatedFailure())
        return nullptr;
    try {
        return std::make_unique<std::thread>(std::move(body));
    } catch (const std::system_error&) {
        return nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void FailNextThreadStarts(int count) {
    s_failuresToSimulate = count;
}

} // namespace platform
