#include "WallClock.h"

#include <algorithm>
#include <ctime>

namespace platform {

QDateTime LocalWallClock() {
#ifdef _WIN32
    return QDateTime::currentDateTime();
#else
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr)
        return QDateTime::currentDateTime();
    const QDate date(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    // A leap second (60) is shown as the last second of its minute.
    const QTime time(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
    return QDateTime(date, time, Qt::OffsetFromUTC, static_cast<int>(local.tm_gmtoff));
#endif
}

} // namespace platform
