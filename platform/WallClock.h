#pragma once

#include <QDateTime>

namespace platform {

// The local date and time now, to the second, with the offset from UTC that applies to it.
// The time zone is the one the process read when it first asked. QDateTime::currentDateTime
// asks the file system about the zone file at every reading; a label that shows the time
// once a second does not need that.
QDateTime LocalWallClock();

} // namespace platform
