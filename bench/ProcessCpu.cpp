#include "ProcessCpu.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace bench {
namespace {
#ifdef Q_OS_UNIX
double Seconds(const timeval& time) {
    return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}
#endif

// /proc/<pid>/stat holds a line of at most a few hundred bytes.
constexpr qint64 kMaxStatLine = 4096;
// utime and stime are the 14th and 15th fields; after the command name in parentheses
// (which may hold blanks) they are the 12th and 13th.
constexpr int kUserTimeField = 11;
constexpr int kSystemTimeField = 12;
} // namespace

double OwnCpuSeconds() {
#ifdef Q_OS_UNIX
    rusage usage{};
    if (getrusage(RUSAGE_SELF, &usage) != 0)
        return -1;
    return Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
#else
    return -1;
#endif
}

double ChildCpuSeconds(qint64 pid) {
#ifdef Q_OS_LINUX
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.read(kMaxStatLine);
    const qsizetype nameEnd = line.lastIndexOf(')');
    if (nameEnd < 0)
        return -1;
    const QList<QByteArray> fields = line.mid(nameEnd + 2).split(' ');
    if (fields.size() <= kSystemTimeField)
        return -1;
    bool userOk = false;
    bool systemOk = false;
    const double ticks = static_cast<double>(fields[kUserTimeField].toULongLong(&userOk) +
                                             fields[kSystemTimeField].toULongLong(&systemOk));
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (!userOk || !systemOk || ticksPerSecond <= 0)
        return -1;
    return ticks / static_cast<double>(ticksPerSecond);
#else
    Q_UNUSED(pid);
    return -1;
#endif
}

} // namespace bench
