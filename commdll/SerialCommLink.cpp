#include "commdll/SerialCommLink.h"

#include <QRandomGenerator>

#include <system_error>

SerialCommLink::SerialCommLink(const QString& address, quint16 port)
    : m_connection(address, port, m_stop),
      // A fresh random start per link, so that a device which remembers the last sequence
      // number it answered never mistakes a new link's first request for a resend.
      m_nextSequence(QRandomGenerator::global()->generate()) {}

SerialCommLink::~SerialCommLink() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_worker)
        m_worker->join();
}

bool SerialCommLink::Start(LinkRequest request, int fastPathMs) {
    {
        std::lock_guard lock(m_mutex);
        if (!m_done)
            return false;
        m_done = false;
    }
    commdll::Frame frame;
    frame.kind = commdll::FRAME_KIND_REQUEST;
    frame.sequence = m_nextSequence++;
    frame.code = request.code;
    frame.flagsOrStatus = request.flags;
    frame.payload = std::move(request.payload);
    m_connection.Begin(frame, request.timeoutMs);
    if (auto outcome = m_connection.Advance(QDeadlineTimer(fastPathMs))) {
        Finish(std::move(*outcome));
        return true;
    }
    if (!EnsureWorker()) {
        // No thread to be had: the caller waits for the whole exchange instead.
        Finish(*m_connection.Advance(QDeadlineTimer(QDeadlineTimer::Forever)));
        return true;
    }
    {
        std::lock_guard lock(m_mutex);
        m_handedOver = true;
    }
    m_changed.notify_all();
    return true;
}

bool SerialCommLink::EnsureWorker() {
    if (m_worker)
        return true;
    try {
        m_worker = std::make_unique<std::thread>([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void SerialCommLink::Finish(commdll::LinkOutcome outcome) {
    std::lock_guard lock(m_mutex);
    m_outcome = std::move(outcome);
    m_done = true;
}

bool SerialCommLink::WaitUntilDone(int timeoutMs) {
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

void SerialCommLink::SetEndNotifier(std::function<void()> wake) {
    std::lock_guard lock(m_mutex);
    m_wake = std::move(wake);
}

void SerialCommLink::Run() {
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return m_stop || m_handedOver; });
            if (m_stop)
                return;
        }
        std::optional<commdll::LinkOutcome> outcome;
        while (!outcome)
            outcome = m_connection.Advance(QDeadlineTimer(QDeadlineTimer::Forever));
        {
            std::lock_guard lock(m_mutex);
            m_outcome = std::move(*outcome);
            m_done = true;
            m_handedOver = false;
            if (m_wake)
                m_wake(); // under the lock, so that it never runs once it has been removed
        }
        m_changed.notify_all();
    }
}
