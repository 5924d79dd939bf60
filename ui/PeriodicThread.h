#pragma once

#include "platform/ManualResetEvent.h"
#include "platform/WinTypes.h"

#include <atomic>
#include <memory>
#include <thread>

// Calls a function at a fixed period on a worker thread until stopped: at once when
// started, then one period after each completed call. At most one worker exists.
// Start and Stop belong to the GUI thread; the callback may call RequestStop.
class CPeriodicThread {
public:
    using Callback = int (*)(void* context);

    CPeriodicThread() = default;
    ~CPeriodicThread();
    CPeriodicThread(const CPeriodicThread&) = delete;
    CPeriodicThread& operator=(const CPeriodicThread&) = delete;

    // Polls the device status once a second with the main dialog as context.
    bool Start(void* context);
    // The same with another callback and period (the worker machinery on its own). A running
    // worker is stopped first. Returns false, with no worker, while a Stop is waiting or when
    // the system cannot create the thread.
    bool StartWith(Callback callback, void* context, DWORD periodMs);
    // Ends polling and waits for the worker, repainting meanwhile, because the worker may be
    // waiting for the GUI thread to update the dialog. Does nothing when idle. A Stop entered
    // during another one waits for the same worker; called by the worker itself it only asks
    // the loop to end.
    void Stop();

    bool HasWorker() const { return m_worker != nullptr; }
    // A worker exists and has not ended by itself yet.
    bool IsPolling() const { return m_worker != nullptr && !m_worker->ended.IsSet(); }
    // Asks the worker loop to end after the current call (used by the callback itself).
    void RequestStop() { m_bStop = true; }

private:
    // What one worker uses; it outlives every Stop that waits for it.
    struct Worker {
        Callback callback = nullptr;
        void* context = nullptr;
        DWORD period = 0;
        platform::ManualResetEvent stopEvent;
        platform::ManualResetEvent ended;
        std::unique_ptr<std::thread> thread;
    };

    void Run(Worker& worker);

    std::atomic<bool> m_bStop{false};
    std::shared_ptr<Worker> m_worker;
    int m_stopDepth = 0;
};
