#include "PeriodicThread.h"

#include "platform/WaitWithMessages.h"
#include "ui/PollDeviceStatus.h"

namespace {
constexpr DWORD kPollPeriodMs = 1000;
}

std::atomic<int> CPeriodicThread::s_liveWorkers{0};

CPeriodicThread::~CPeriodicThread() {
    Stop();
}

void CPeriodicThread::Start(void* context) {
    StartWith(PollDeviceStatus, context, kPollPeriodMs);
}

void CPeriodicThread::StartWith(Callback callback, void* context, DWORD periodMs) {
    if (m_pThread)
        Stop();
    if (m_pThread)
        return; // never more than one worker
    m_dwPeriod = periodMs;
    m_pfnCallback = callback;
    m_pContext = context;
    m_hStopEvent = std::make_unique<platform::ManualResetEvent>();
    m_workerEnded.Reset();
    ++s_liveWorkers;
    m_pThread = std::make_unique<std::thread>(&CPeriodicThread::ThreadProc, this);
}

unsigned CPeriodicThread::ThreadProc(void* param) {
    auto* self = static_cast<CPeriodicThread*>(param);
    if (self != nullptr) {
        self->Run();
        self->m_workerEnded.Set();
    }
    return 0;
}

void CPeriodicThread::Run() {
    m_pfnCallback(m_pContext);
    while (m_dwPeriod != 0 && !m_bStop) {
        if (WaitWithMessages(m_hStopEvent.get(), m_dwPeriod) == WAIT_OBJECT_0)
            break;
        m_pfnCallback(m_pContext);
    }
}

void CPeriodicThread::Stop() {
    if (!m_pThread)
        return;
    m_bStop = true;
    m_hStopEvent->Set();
    WaitWithMessages(&m_workerEnded, INFINITE);
    m_pThread->join(); // the worker has ended: this returns at once
    m_pThread.reset();
    --s_liveWorkers;
    m_hStopEvent.reset();
    m_dwPeriod = 0;
    m_pfnCallback = nullptr;
    m_pContext = nullptr;
    m_bStop = false;
}
