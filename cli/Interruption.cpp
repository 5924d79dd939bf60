#include "cli/Interruption.h"

#include <QDeadlineTimer>

#include <atomic>
#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
std::atomic<bool> s_requested{false};
// Written once by the handler and never read: a readable end wakes every poll at once.
int s_wakeRead = -1;
int s_wakeWrite = -1;

extern "C" void OnStopSignal(int signal) {
    if (s_requested.exchange(true)) {
        // The second signal, of either kind: its default action, at once.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(s_wakeWrite, &byte, 1);
    errno = savedErrno;
}
} // namespace

void CInterruption::Install() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        s_wakeRead = ends[0];
        s_wakeWrite = ends[1];
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // Interrupted system calls go on.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM})
        ::sigaction(signal, &action, nullptr);
}

bool CInterruption::Requested() {
    return s_requested.load();
}

bool CInterruption::Sleep(int ms) {
    const QDeadlineTimer deadline(ms);
    while (!Requested()) {
        const auto left = static_cast<int>(deadline.remainingTime());
        if (left <= 0)
            return true;
        pollfd wake{s_wakeRead, POLLIN, 0};
        ::poll(&wake, s_wakeRead >= 0 ? 1 : 0, left);
    }
    return false;
}
