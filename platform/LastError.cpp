#include "LastError.h"

#include <cstring>

namespace platform {

namespace {
thread_local int t_lastError = 0;
}

int GetLastSystemError() {
    return t_lastError;
}

void SetLastSystemError(int error) {
    t_lastError = error;
}

QString SystemErrorText(int error) {
    char buffer[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(error, buffer, sizeof buffer);
    if (text == nullptr || *text == '\0')
        return QStringLiteral("System error %1.").arg(error);
    return QString::fromLocal8Bit(text);
}

} // namespace platform
