#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace platform {

// Starts `body` on a new thread. Returns nullptr when the system cannot create one (too many
// threads, no memory): the caller then goes on without the thread instead of terminating.
std::unique_ptr<std::thread> StartThread(std::function<void()> body);

// For tests: the next `count` starts fail as if the system had no thread left.
void FailNextThreadStarts(int count);

} // namespace platform
