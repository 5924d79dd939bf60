#include "WaitWithMessages.h"

#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

namespace {
QDeadlineTimer DeadlineFor(DWORD timeoutMs) {
    if (timeoutMs == INFINITE)
        return QDeadlineTimer(QDeadlineTimer::Forever);
    return QDeadlineTimer(static_cast<qint64>(timeoutMs));
}
} // namespace

DWORD WaitWithMessages(platform::ManualResetEvent* event, DWORD timeoutMs) {
    if (event == nullptr)
        return WAIT_FAILED;
    const QDeadlineTimer deadline = DeadlineFor(timeoutMs);
    if (!platform::IsGuiThread()) {
        // A worker has no window messages to handle: a plain wait.
        const auto remaining = deadline.isForever()
                                   ? std::chrono::milliseconds(-1)
                                   : std::chrono::milliseconds(deadline.remainingTime());
        return event->Wait(remaining) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
    }
    // Handle what is pending, then give the event a short moment: the window repaints, a
    // worker's update runs, and a set event is noticed within a couple of milliseconds. Input
    // waits until the wait is over: a click handled here would run in the middle of the
    // caller's own handler.
    constexpr auto kSlice = std::chrono::milliseconds(2);
    constexpr auto kNoInput = QEventLoop::ExcludeUserInputEvents;
    QCoreApplication::processEvents(kNoInput);
    while (!event->Wait(kSlice)) {
        if (deadline.hasExpired())
            return WAIT_TIMEOUT;
        QCoreApplication::processEvents(kNoInput);
    }
    return WAIT_OBJECT_0;
}
