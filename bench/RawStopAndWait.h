#pragma once

#include <QString>
#include <QtGlobal>

// The plainest stop-and-wait request/reply over loopback TCP: our own echo device in a
// thread of its own and a client in the calling thread, frames of fixed sizes. Benchmarks
// measure it in the same run as the path they time, so that their ratios do not depend on
// the machine or its load.
namespace bench {

// Frame sizes of a status exchange: header 10 + checksum 2, the reply with 32 bytes.
constexpr int kStatusRequestSize = 12;
constexpr int kStatusReplySize = 12 + 32;

struct StopAndWaitConfig {
    QString address; // must lie in 127.0.0.0/8
    quint16 port = 49999;
    int roundTrips = 2000;
    int requestSize = kStatusRequestSize;
    int replySize = kStatusReplySize;
};

// Milliseconds for all round trips, connection set-up included; -1 when any step failed.
double RawStopAndWaitMilliseconds(const StopAndWaitConfig& config);

} // namespace bench
