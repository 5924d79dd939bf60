#include "ManualResetEvent.h"

namespace platform {

void ManualResetEvent::Set() {
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void ManualResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool ManualResetEvent::IsSet() const {
    std::lock_guard lock(m_mutex);
    return m_set;
}

bool ManualResetEvent::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (timeout.count() < 0) {
        m_changed.wait(lock, [this] { return m_set; });
        return true;
    }
    return m_changed.wait_for(lock, timeout, [this] { return m_set; });
}

} // namespace platform
