#include "commdll/SerialCommLink.h"

#include <QRandomGenerator>
#include <QThread>

#include <chrono>
#include <thread>

namespace {

// Both sides of a hand-over first wait by yielding for a short while and only then sleep on
// the condition variable. A reply from the local network comes within microseconds; a
// thread put to sleep for it is often woken on the other, idle processor, and that wake-up
// costs more than the whole exchange.
constexpr std::chrono::microseconds CALLER_SPIN{1000};
constexpr std::chrono::microseconds WORKER_SPIN{2000};

template <typename Ready> bool SpinUntil(Ready ready, std::chrono::microseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace

SerialCommLink::SerialCommLink(const QString& address, quint16 port)
    : m_address(address), m_port(port),
      // A fresh random start per link, so that a device which remembers the last sequence
      // number it answered never mistakes a new link's first request for a resend.
      m_nextSequence(QRandomGenerator::global()->generate()) {
    m_thread.reset(QThread::create([this] { Run(); }));
    m_thread->start();
}

SerialCommLink::~SerialCommLink() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread->wait();
}

bool SerialCommLink::Start(LinkRequest request) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_done)
            return false;
        commdll::Frame frame;
        frame.kind = commdll::FRAME_KIND_REQUEST;
        frame.sequence = m_nextSequence++;
        frame.code = request.code;
        frame.flagsOrStatus = request.flags;
        frame.payload = std::move(request.payload);
        m_pending = std::move(frame);
        m_pendingTimeoutMs = request.timeoutMs;
        m_done = false;
        m_handOver = true;
    }
    m_changed.notify_all();
    return true;
}

bool SerialCommLink::WaitUntilDone(int timeoutMs) {
    SpinUntil([this] { return !m_handOver; }, CALLER_SPIN);
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_done; });
}

bool SerialCommLink::IsDone() {
    std::lock_guard lock(m_mutex);
    return m_done;
}

commdll::LinkOutcome SerialCommLink::TakeOutcome() {
    std::lock_guard lock(m_mutex);
    return std::move(m_outcome);
}

void SerialCommLink::Run() {
    commdll::CDeviceConnection connection(m_address, m_port, m_stop);
    for (;;) {
        commdll::Frame request;
        int timeoutMs = 0;
        SpinUntil([this] { return m_handOver || m_stop; }, WORKER_SPIN);
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_pending.has_value(); });
            if (m_stop)
                return;
            request = std::move(*m_pending);
            timeoutMs = m_pendingTimeoutMs;
            m_pending.reset();
        }
        commdll::LinkOutcome outcome = connection.Exchange(request, timeoutMs);
        {
            std::lock_guard lock(m_mutex);
            m_outcome = std::move(outcome);
            m_done = true;
            m_handOver = false;
        }
        m_changed.notify_all();
    }
}
