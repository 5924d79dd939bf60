#pragma once

#include <functional>

class QObject;

namespace platform {

// Runs `work` on the GUI thread and returns when it has run. Called on the GUI thread it
// runs at once; from a worker it blocks that worker, so the GUI thread must keep handling
// events while it waits for the worker (WaitWithMessages does).
void RunOnGuiThread(const std::function<void()>& work);

// Runs `work` on the GUI thread: at once when called there; from a worker it is queued and
// the worker goes on. Queued work is dropped when `context` is deleted before it runs.
void PostToGuiThread(QObject* context, std::function<void()> work);

bool IsGuiThread();

} // namespace platform
