// Status requests through the command layer against the encoder simulator, against the
// plainest stop-and-wait request/reply over loopback TCP measured in the same run (our own
// echo server and client, frames of the same sizes). Prints both, their ratio (goal: at most
// 1.2x) and the number of 400 ms busy sleeps the command layer took (goal: none).
#include "BenchSimulator.h"
#include "RawStopAndWait.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "platform/MessageBox.h"
#include "sim/EncoderSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

constexpr int kCalls = 2000;
// Runs of each side, taken in turn, best of each: the machine is shared, and the best run
// shows what each path costs rather than what other load cost it.
constexpr int kRuns = 7;
constexpr double kTargetRatio = 1.2;
// Both ends stay on loopback, on addresses no test uses.
const QString kSimulatorAddress = QStringLiteral("127.0.78.1");
const QString kReferenceAddress = QStringLiteral("127.0.78.2");

double ReferenceMilliseconds() {
    bench::StopAndWaitConfig config;
    config.address = kReferenceAddress;
    config.roundTrips = kCalls;
    return bench::RawStopAndWaitMilliseconds(config);
}

double StatusRequestsMilliseconds() {
    CCommInterface comm; // one link for all calls, as the status poller uses it
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCalls; ++i)
        if (!comm.GetStatusId() || !DeviceData.IsValidDevice())
            return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QCoreApplication app(argc, argv);
    int messages = 0;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        ++messages;
    });

    const auto simulator = bench::StartSimulator(kSimulatorAddress);
    if (!simulator)
        return 1;
    DeviceData.m_DeviceIp = {127, 0, 78, 1};

    double reference = std::numeric_limits<double>::max();
    double status = std::numeric_limits<double>::max();
    const long sleepsBefore = CCommInterface::BusySleepCount();
    for (int run = 0; run < kRuns && reference >= 0 && status >= 0; ++run) {
        const double referenceRun = ReferenceMilliseconds();
        const double statusRun = StatusRequestsMilliseconds();
        reference = referenceRun < 0 ? -1 : std::min(reference, referenceRun);
        status = statusRun < 0 ? -1 : std::min(status, statusRun);
    }
    const long sleeps = CCommInterface::BusySleepCount() - sleepsBefore;
    if (reference < 0 || status < 0 || messages != 0) {
        std::fprintf(stderr, "a run failed (reference %.1f ms, status %.1f ms, %d messages)\n",
                     reference, status, messages);
        return 1;
    }
    const double ratio = status / reference;
    std::printf("best of %d runs each\n", kRuns);
    std::printf("raw loopback stop-and-wait: %d round trips in %.1f ms (%.1f us each)\n", kCalls,
                reference, reference * 1000.0 / kCalls);
    std::printf("GetStatusId via CCommInterface: %d calls in %.1f ms (%.1f us each); the "
                "simulator answered %d status requests over %d connections\n",
                kCalls, status, status * 1000.0 / kCalls, simulator->RequestCount(0x12),
                simulator->ConnectionCount());
    const bool met = ratio <= kTargetRatio && sleeps == 0;
    std::printf("ratio %.2f (goal <= %.1f), 400 ms busy sleeps: %ld (goal 0): %s\n", ratio,
                kTargetRatio, sleeps, met ? "met" : "NOT met");
    return met ? 0 : 2;
}
