#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

// An event that stays signalled once set, until reset.
class ManualResetEvent {
public:
    void Set();
    void Reset();
    bool IsSet() const;
    // Waits up to `timeout` (negative = forever); returns whether the event is set.
    bool Wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_set = false;
};

} // namespace platform
