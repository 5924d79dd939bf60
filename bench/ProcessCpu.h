#pragma once

#include <QtGlobal>

// Processor time used so far, user and system together, in seconds; -1 where the system
// does not tell.
namespace bench {

// This process, all its threads.
double OwnCpuSeconds();

// Another process of ours, by id (read from /proc on Linux).
double ChildCpuSeconds(qint64 pid);

} // namespace bench
