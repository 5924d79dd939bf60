#pragma once

#include "platform/ManualResetEvent.h"
#include "platform/WinTypes.h"

inline constexpr DWORD WAIT_OBJECT_0 = 0x0;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
inline constexpr DWORD INFINITE = 0xFFFFFFFF;

// Waits for the event while the calling thread keeps handling its events (on the GUI
// thread: window updates that a worker is waiting for, repaints; input stays queued until
// the wait is over). Returns
// WAIT_OBJECT_0 when the event is set, WAIT_TIMEOUT when the time ran out, WAIT_FAILED
// without an event.
DWORD WaitWithMessages(platform::ManualResetEvent* event, DWORD timeoutMs);
