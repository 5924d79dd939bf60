#pragma once

#include <QtGlobal>

namespace commdll {

// Reads, writes and waits on a connected, non-blocking stream socket by asking the system
// directly, one call per step. A Qt socket takes three to four system calls where one does
// (a wait, a size query, the read; a write that waits for a notifier), and a timed-out zero
// wait records an error text each time: on a loopback exchange that costs more than the
// exchange itself. The descriptor stays owned by whoever opened it.
class CSocketIo {
public:
    // What a read or write did besides moving bytes.
    static constexpr qint64 WOULD_BLOCK = -1;
    static constexpr qint64 FAILED = -2;

    explicit CSocketIo(qintptr descriptor = -1) : m_descriptor(descriptor) {}

    // Bytes, the peer's close or an error wait for the reader (without waiting).
    bool HasPendingInput() const;
    // Waits up to `timeoutMs` for the same; false when the time ran out.
    bool WaitReadable(int timeoutMs) const;
    bool WaitWritable(int timeoutMs) const;

    // Bytes read (> 0), 0 when the peer closed, WOULD_BLOCK or FAILED.
    qint64 Receive(char* data, qint64 capacity) const;
    // Bytes written (>= 0), WOULD_BLOCK or FAILED. Never raises a signal for a closed peer.
    qint64 Send(const char* data, qint64 size) const;

private:
    qintptr m_descriptor;
};

} // namespace commdll
