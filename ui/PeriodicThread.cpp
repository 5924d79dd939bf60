#include "PeriodicThread.h"

#include "platform/ThreadStart.h"
#include "platform/WaitWithMessages.h"
#include "ui/PollDeviceStatus.h"

#include <QCoreApplication>

namespace {
constexpr DWORD kPollPeriodMs = 1000;
}

CPeriodicThread::~CPeriodicThread() {
    Stop();
}

bool CPeriodicThread::Start(void* context) {
    return StartWith(PollDeviceStatus, context, kPollPeriodMs);
}

bool CPeriodicThread::StartWith(Callback callback, void* context, DWORD periodMs) {
    if (m_stopDepth > 0)
        return false; // a Stop is waiting for the worker: the poller is going, not coming
    if (m_worker)
        Stop();
    if (m_worker)
        return false; // never more than one worker
    auto worker = std::make_shared<Worker>();
    worker->callback = callback;
    worker->context = context;
    worker->period = periodMs;
    m_bStop = false;
    worker->thread = platform::StartThread([this, worker] {
        Run(*worker);
        worker->ended.Set();
    });
    if (!worker->thread)
        return false; // no thread to be had: the program goes on without polling
    m_worker = std::move(worker);
    return true;
}

void CPeriodicThread::Run(Worker& worker) {
    worker.callback(worker.context);
    while (worker.period != 0 && !m_bStop) {
        if (WaitWithMessages(&worker.stopEvent, worker.period) == WAIT_OBJECT_0)
            break;
        worker.callback(worker.context);
    }
}

void CPeriodicThread::Stop() {
    const std::shared_ptr<Worker> worker = m_worker;
    if (!worker)
        return;
    m_bStop = true;
    worker->stopEvent.Set();
    if (worker->thread->get_id() == std::this_thread::get_id())
        return; // the worker cannot wait for itself; its loop ends after this call
    ++m_stopDepth;
    WaitWithMessages(&worker->ended, INFINITE);
    --m_stopDepth;
    if (m_worker != worker)
        return;             // a Stop entered meanwhile has already joined it
    worker->thread->join(); // the worker has ended: this returns at once
    m_worker.reset();
    // What the worker queued for the window before it ended is shown now, not after the
    // caller has moved on (a position of the old device over the new one's, say).
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
}
