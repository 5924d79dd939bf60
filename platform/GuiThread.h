#pragma once

#include <functional>

namespace platform {

// Runs `work` on the GUI thread and returns when it has run. Called on the GUI thread it
// runs at once; from a worker it blocks that worker, so the GUI thread must keep handling
// events while it waits for the worker (WaitWithMessages does).
void RunOnGuiThread(const std::function<void()>& work);

bool IsGuiThread();

} // namespace platform
