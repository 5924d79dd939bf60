#pragma once

#include <QString>

namespace platform {

// The calling thread's last system error, as the transport recorded it (an errno value;
// 0 = none). Each thread has its own.
int GetLastSystemError();
void SetLastSystemError(int error);

// The operating system's own text for an error code; a fallback text naming the code
// when the system has none.
QString SystemErrorText(int error);

} // namespace platform
