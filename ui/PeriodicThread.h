#pragma once

#include "platform/ManualResetEvent.h"
#include "platform/WinTypes.h"

#include <atomic>
#include <memory>
#include <thread>

// Calls a function at a fixed period on a worker thread until stopped: at once when
// started, then one period after each completed call. At most one worker exists.
class CPeriodicThread {
public:
    using Callback = int (*)(void* context);

    CPeriodicThread() = default;
    ~CPeriodicThread();
    CPeriodicThread(const CPeriodicThread&) = delete;
    CPeriodicThread& operator=(const CPeriodicThread&) = delete;

    // Polls the device status once a second with the main dialog as context.
    void Start(void* context);
    // The same with another callback and period (the worker machinery on its own).
    void StartWith(Callback callback, void* context, DWORD periodMs);
    // Ends polling and waits for the worker, handling the GUI thread's events meanwhile,
    // because the worker may be updating the dialog at that moment. Does nothing when idle.
    void Stop();

    bool HasWorker() const { return m_pThread != nullptr; }
    // A worker exists and has not ended by itself yet.
    bool IsPolling() const { return m_pThread != nullptr && !m_workerEnded.IsSet(); }
    // Worker threads of all pollers that have not been joined yet.
    static int LiveWorkers() { return s_liveWorkers; }
    // Asks the worker loop to end after the current call (used by the callback itself).
    void RequestStop() { m_bStop = true; }

    static unsigned ThreadProc(void* param);
    void Run();

private:
    std::atomic<bool> m_bStop{false};
    std::unique_ptr<std::thread> m_pThread;
    std::unique_ptr<platform::ManualResetEvent> m_hStopEvent;
    platform::ManualResetEvent m_workerEnded;
    std::atomic<DWORD> m_dwPeriod{0};
    Callback m_pfnCallback = nullptr;
    void* m_pContext = nullptr;

    static std::atomic<int> s_liveWorkers;
};
