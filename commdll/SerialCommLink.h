#pragma once

#include "commdll/DeviceConnection.h"
#include "platform/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// One request as the link carries it out.
struct LinkRequest {
    BYTE code = 0;
    BYTE flags = 0; // commdll::RequestFlags
    QByteArray payload;
    int timeoutMs = 0;
};

// The transport behind one CSerialComm. An exchange runs on the caller's thread for as long
// as the caller waits for it anyway (the fast path); what outlasts that runs on the link's
// worker, which is started with the first such exchange, while the caller goes on. One
// exchange at a time.
class SerialCommLink {
public:
    SerialCommLink(const QString& address, quint16 port);
    ~SerialCommLink(); // stops the worker; an exchange under way is abandoned
    SerialCommLink(const SerialCommLink&) = delete;
    SerialCommLink& operator=(const SerialCommLink&) = delete;

    // Runs the request on this thread for up to `fastPathMs`, then hands what is left to the
    // worker; false while the previous exchange still runs.
    bool Start(LinkRequest request, int fastPathMs);
    // Waits at most `timeoutMs` for the running exchange; true when it has ended.
    bool WaitUntilDone(int timeoutMs);
    bool IsDone();
    commdll::LinkOutcome TakeOutcome();
    // `wake` runs (on the worker's thread) when an exchange the worker carries ends; an
    // empty function removes it. Once this returns, the previous one is no longer running.
    void SetEndNotifier(std::function<void()> wake);

private:
    bool EnsureWorker();
    void Finish(commdll::LinkOutcome outcome);
    void Run();

    std::atomic<bool> m_stop{false};
    // Used by one thread at a time: the caller until it hands the exchange over, then the
    // worker until the exchange is done.
    commdll::CDeviceConnection m_connection;
    std::uint32_t m_nextSequence;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_done = true;
    bool m_handedOver = false; // the worker has an exchange to finish
    commdll::LinkOutcome m_outcome;
    std::function<void()> m_wake;
    std::unique_ptr<std::thread> m_worker; // started with the first slow exchange
};
