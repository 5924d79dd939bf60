#pragma once

#include <functional>

// Waits that keep the calling (GUI) thread's event loop running, so that the status
// poller's worker can hand its display updates over while a benchmark waits.
namespace bench {

// True once `condition` holds; false when `timeoutMs` passed first. Checks every few ms.
bool WaitUntil(const std::function<bool()>& condition, int timeoutMs);

// Runs the event loop for `ms` of wall time without spinning: the thread sleeps in the
// loop until an event or the end timer wakes it.
void RunEventLoopFor(int ms);

} // namespace bench
