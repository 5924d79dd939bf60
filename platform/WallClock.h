#pragma once

#include <QDateTime>

namespace platform {

// The local date and time now, to the second, with the offset from UTC that applies to it.
// The time zone is the one the process read when it first asked; unlike
// QDateTime::currentDateTime, a reading does not look at the zone file again (one file-system
// call per reading, for a label that changes once a second).
QDateTime LocalWallClock();

} // namespace platform
