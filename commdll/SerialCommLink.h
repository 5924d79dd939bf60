#pragma once

#include "commdll/DeviceConnection.h"
#include "platform/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class QThread;

// One request as the link's worker carries it out.
struct LinkRequest {
    BYTE code = 0;
    BYTE flags = 0; // commdll::RequestFlags
    QByteArray payload;
    int timeoutMs = 0;
};

// The transport behind one CSerialComm: a worker thread that owns the socket and runs one
// exchange at a time, handed over and collected through a mutex and a condition variable.
class SerialCommLink {
public:
    SerialCommLink(const QString& address, quint16 port);
    ~SerialCommLink(); // stops the worker; an exchange under way is abandoned
    SerialCommLink(const SerialCommLink&) = delete;
    SerialCommLink& operator=(const SerialCommLink&) = delete;

    // Hands one request to the worker; false while the previous one still runs.
    bool Start(LinkRequest request);
    // Waits at most `timeoutMs` for the running exchange; true when it has ended.
    bool WaitUntilDone(int timeoutMs);
    bool IsDone();
    commdll::LinkOutcome TakeOutcome();

private:
    void Run();

    QString m_address;
    quint16 m_port;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::optional<commdll::Frame> m_pending;
    int m_pendingTimeoutMs = 0;
    bool m_done = true;
    // True from Start until the worker has finished: read without the lock while spinning.
    std::atomic<bool> m_handOver{false};
    commdll::LinkOutcome m_outcome;
    std::uint32_t m_nextSequence;
    std::unique_ptr<QThread> m_thread;
};
