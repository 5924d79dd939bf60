#include "EventLoopWait.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace bench {
namespace {
constexpr int kCheckIntervalMs = 2;
}

bool WaitUntil(const std::function<bool()>& condition, int timeoutMs) {
    if (condition())
        return true;
    const QDeadlineTimer deadline(timeoutMs);
    QEventLoop loop;
    QTimer check;
    check.setInterval(kCheckIntervalMs);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (condition() || deadline.hasExpired())
            loop.quit();
    });
    check.start();
    loop.exec();
    return condition();
}

void RunEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace bench
