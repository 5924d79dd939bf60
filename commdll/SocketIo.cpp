#include "commdll/SocketIo.h"

#include <limits>

#ifdef Q_OS_WIN
#include <winsock2.h>
#else
#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#endif

namespace commdll {

namespace {

#ifdef Q_OS_WIN
using Descriptor = SOCKET;
constexpr short READABLE = POLLRDNORM;
constexpr short WRITABLE = POLLWRNORM;
constexpr int NO_SIGNAL = 0; // a closed peer raises no signal here
int Poll(WSAPOLLFD* entry, int timeoutMs) {
    return WSAPoll(entry, 1, timeoutMs);
}
bool WouldBlock() {
    return WSAGetLastError() == WSAEWOULDBLOCK;
}
using PollEntry = WSAPOLLFD;
#else
using Descriptor = int;
constexpr short READABLE = POLLIN;
constexpr short WRITABLE = POLLOUT;
constexpr int NO_SIGNAL = MSG_NOSIGNAL;
int Poll(pollfd* entry, int timeoutMs) {
    return ::poll(entry, 1, timeoutMs);
}
bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}
using PollEntry = pollfd;
#endif

// One call moves at most this much, so that the length fits every platform's int.
constexpr qint64 MAX_CALL_BYTES = std::numeric_limits<int>::max();

bool Wait(qintptr descriptor, short events, int timeoutMs) {
    if (descriptor < 0)
        return false;
    PollEntry entry{static_cast<Descriptor>(descriptor), events, 0};
    return Poll(&entry, timeoutMs < 0 ? 0 : timeoutMs) > 0;
}

qint64 Moved(qint64 result) {
    if (result >= 0)
        return result;
    return WouldBlock() ? CSocketIo::WOULD_BLOCK : CSocketIo::FAILED;
}

int CallLength(qint64 size) {
    return static_cast<int>(size < MAX_CALL_BYTES ? size : MAX_CALL_BYTES);
}

} // namespace

bool CSocketIo::HasPendingInput() const {
    return Wait(m_descriptor, READABLE, 0);
}

bool CSocketIo::WaitReadable(int timeoutMs) const {
    return Wait(m_descriptor, READABLE, timeoutMs);
}

bool CSocketIo::WaitWritable(int timeoutMs) const {
    return Wait(m_descriptor, WRITABLE, timeoutMs);
}

qint64 CSocketIo::Receive(char* data, qint64 capacity) const {
    if (m_descriptor < 0 || capacity <= 0)
        return FAILED;
    return Moved(::recv(static_cast<Descriptor>(m_descriptor), data, CallLength(capacity), 0));
}

qint64 CSocketIo::Send(const char* data, qint64 size) const {
    if (m_descriptor < 0 || size < 0)
        return FAILED;
    return Moved(::send(static_cast<Descriptor>(m_descriptor), data, CallLength(size), NO_SIGNAL));
}

} // namespace commdll
