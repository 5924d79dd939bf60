// A full settings change ("Set New IP Address" without editing) in the real main dialog
// (offscreen) against the simulator with its default restart time, and where its time goes:
// the set and restart requests, the wait for the device to come back, and the read-out that
// follows. The phases are timed again on a bare link, one after the other, so each shows on
// its own. Goal: on the bare link the device is back at most 50 ms after its restart time.
#include "BenchSimulator.h"
#include "DialogSession.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "res/ResourceIds.h"
#include "sim/EncoderSimulator.h"
#include "ui/DELVOREncoderDlg.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>

#include <cstdio>

namespace {

// Loopback only, on an address no test uses.
const QString kSimulatorAddress = QStringLiteral("127.0.79.20");
constexpr std::array<BYTE, 4> kSimulatorOctets{127, 0, 79, 20};
constexpr int kRounds = 3;
constexpr int kDeviceBackTimeoutMs = 10000;
// What the link may add to the device's own time away: a connection attempt every 25 ms.
constexpr int kDeviceBackGoalMarginMs = 50;

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

struct Phases {
    double setAndRestartMs = 0;
    double deviceBackMs = 0;
    double readOutMs = 0;
};

bool ReadOut(CCommInterface& comm) {
    return comm.GetStatusId() && comm.GetMacId() && comm.GetEthernetParams() &&
           comm.GetEadkParams();
}

// The same requests as a settings change, on a bare link: the pending settings are the
// current ones, so the device restarts at its own address.
bool MeasurePhases(Phases& phases) {
    DeviceData.m_DeviceIp = kSimulatorOctets;
    {
        CCommInterface comm;
        if (!ReadOut(comm))
            return false;
    }
    DeviceData.m_Pending = DeviceData.m_Current;
    CCommInterface comm;
    QElapsedTimer timer;
    timer.start();
    if (!comm.SetNewIpAndRestart())
        return false;
    phases.setAndRestartMs = Ms(timer);
    comm.DropLink();
    timer.restart();
    if (!comm.GetStatusId()) // connection attempts are retried while the device is away
        return false;
    phases.deviceBackMs = Ms(timer);
    timer.restart();
    if (!ReadOut(comm))
        return false;
    phases.readOutMs = Ms(timer);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QApplication app(argc, argv);

    const auto started = bench::StartSimulator(kSimulatorAddress);
    if (!started)
        return 1;
    sim::CEncoderSimulator& simulator = *started;
    const int restartAwayMs = sim::SimulatorConfig{}.restartAwayMs;

    bench::DialogSession session;
    QString error;
    if (!session.Open(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    session.SetTarget(kSimulatorAddress);
    if (!session.ClickConnect()) {
        std::fprintf(stderr, "Connect failed\n");
        return 1;
    }

    std::printf("settings change against the simulator (device away %d ms on restart)\n",
                restartAwayMs);
    auto* setButton = session.Dialog().item<QPushButton>(res::IDC_SET_NEW_IP);
    for (int round = 1; round <= kRounds; ++round) {
        const long sleepsBefore = CCommInterface::BusySleepCount();
        const int messagesBefore = session.Messages();
        QElapsedTimer timer;
        timer.start();
        setButton->click(); // returns after the reconnect and the final message
        const double totalMs = Ms(timer);
        if (session.Messages() != messagesBefore + 1 ||
            !session.Dialog().m_StatusPoller.HasWorker()) {
            std::fprintf(stderr, "the settings change did not end in success\n");
            return 1;
        }
        std::printf("  dialog, round %d: %.0f ms from the click to the final message, %ld busy "
                    "sleeps of 400 ms\n",
                    round, totalMs, CCommInterface::BusySleepCount() - sleepsBefore);
    }

    session.Dialog().m_StatusPoller.Stop();
    session.Dialog().DropMainLink();
    if (!simulator.WaitUntilListening(kDeviceBackTimeoutMs))
        return 1;
    Phases phases;
    const long sleepsBefore = CCommInterface::BusySleepCount();
    if (!MeasurePhases(phases)) {
        std::fprintf(stderr, "bare-link phases failed\n");
        return 1;
    }
    std::printf("  bare link: set + restart requests %.1f ms; device back after %.0f ms "
                "(%ld busy sleeps); read-out %.1f ms\n",
                phases.setAndRestartMs, phases.deviceBackMs,
                CCommInterface::BusySleepCount() - sleepsBefore, phases.readOutMs);
    const double goalMs = restartAwayMs + kDeviceBackGoalMarginMs;
    std::printf("SUMMARY settings change: device back after %.0f ms on a bare link (goal <= %.0f "
                "ms for a restart of %d ms): %s\n",
                phases.deviceBackMs, goalMs, restartAwayMs,
                phases.deviceBackMs <= goalMs ? "met" : "NOT met");
    return session.Messages() == kRounds ? 0 : 1;
}
