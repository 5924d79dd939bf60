// Connect in the real main dialog (offscreen) against the encoder simulator in this process:
// the time from a click on "Connect" to the started status poller, over many clicks, and the
// 400 ms busy sleeps taken meanwhile (goal: none). Beside it, the plainest stop-and-wait
// round trip over loopback measured in the same run; a read-out is four requests, so the
// ratio printed is click / (4 x raw round trip). Goal: the 95th percentile of the clicks at
// most 10 times four raw round trips. Then where a click's time goes: each part of it done
// on its own as often as the clicks (the requests, the progress window, the stored-address
// write, filling the fields).
#include "BenchSimulator.h"
#include "DialogSession.h"
#include "RawStopAndWait.h"
#include "comm/CommInterface.h"
#include "platform/RegistrySettings.h"
#include "res/Texts.h"
#include "sim/EncoderSimulator.h"
#include "ui/DELVOREncoderDlg.h"
#include "ui/QxProgressDlg.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// Both ends stay on loopback, on addresses no test uses.
const QString kSimulatorAddress = QStringLiteral("127.0.79.1");
const QString kReferenceAddress = QStringLiteral("127.0.79.2");
constexpr int kDefaultClicks = 50;
constexpr int kMaxClicks = 10000;
// Clicks before the measured ones: the first read-out also lays out and paints panels and
// loads fonts, which a user pays once.
constexpr int kWarmUpClicks = 2;
constexpr int kReferenceRoundTrips = 2000;
constexpr int kReferenceRuns = 5;
constexpr int kFirstPollTimeoutMs = 5000;
constexpr double kGoalRoundTrips = 10.0; // p95 of a click in units of four raw round trips

struct Figures {
    double firstMs = 0;
    std::vector<double> clicksMs;   // sorted
    std::vector<double> bareLinkMs; // sorted
    std::vector<double> progressMs; // sorted, each part as often as the clicks
    std::vector<double> storeMs;
    std::vector<double> fillMs;
    long busySleeps = 0;
    int statusRequests = 0;
};

double Median(const std::vector<double>& sorted) {
    const std::size_t n = sorted.size();
    return n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
}

double Percentile95(const std::vector<double>& sorted) {
    return sorted[std::min(sorted.size() - 1, (sorted.size() * 95 + 99) / 100 - 1)];
}

template <typename Part> std::vector<double> TimeEach(int count, Part part) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer timer;
        timer.start();
        part();
        ms.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    return ms;
}

// The parts of a click besides the requests, each on its own, with the poller stopped: the
// progress window as a read-out drives it, the stored-address write, filling the fields.
void MeasureParts(bench::DialogSession& session, int count, Figures& figures) {
    CDELVOREncoderDlg& dialog = session.Dialog();
    dialog.m_StatusPoller.Stop();
    const QString address = dialog.m_ipTargetDevice->GetWindowText();
    const QString other = QStringLiteral("127.0.79.3");
    int writes = 0;
    figures.progressMs = TimeEach(count, [&] {
        CQxProgressDlg progress(&dialog, QString(res::text::ProgressGettingStatusId), false);
        progress.PrepareStepBar(0, 4, 1);
        for (int step = 0; step < 4; ++step)
            progress.StepProgress();
    });
    // A click stores the address only when it differs from the one stored last: this is the
    // cost when it does, with the value changing every time.
    figures.storeMs = TimeEach(count, [&] {
        WriteRegistryString(QString(res::text::DeviceIpValueName), ++writes % 2 ? other : address);
    });
    figures.fillMs = TimeEach(count, [&] { dialog.ShowDeviceInfo(); });
}

// Best of several runs: the machine is shared, and the best run shows what the round trip
// costs rather than what other load cost it.
double RawRoundTripMicroseconds() {
    bench::StopAndWaitConfig config;
    config.address = kReferenceAddress;
    config.roundTrips = kReferenceRoundTrips;
    double best = -1;
    for (int run = 0; run < kReferenceRuns; ++run) {
        const double ms = bench::RawStopAndWaitMilliseconds(config);
        if (ms < 0)
            return -1;
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best * 1000.0 / kReferenceRoundTrips;
}

// One click, timed from the click to its return, when the read-out is done and the poller
// has its worker; then waits for the poller's first poll so that the next click does not
// also pay for a poll in flight. Negative when the read-out failed.
double TimedClick(bench::DialogSession& session) {
    QElapsedTimer timer;
    timer.start();
    const bool polling = session.ClickConnect();
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    if (!polling)
        return -1;
    const QString readOutPosition = session.PositionText();
    return session.WaitForPositionChange(readOutPosition, kFirstPollTimeoutMs) ? ms : -1;
}

bool MeasureClicks(bench::DialogSession& session, sim::CEncoderSimulator& simulator, int clicks,
                   Figures& figures) {
    session.SetTarget(kSimulatorAddress);
    for (int i = 0; i < kWarmUpClicks; ++i) {
        const double ms = TimedClick(session);
        if (ms < 0)
            return false;
        if (i == 0)
            figures.firstMs = ms;
    }
    const long sleepsBefore = CCommInterface::BusySleepCount();
    const int statusBefore = simulator.RequestCount(0x12);
    for (int i = 0; i < clicks; ++i) {
        const double ms = TimedClick(session);
        if (ms < 0)
            return false;
        figures.clicksMs.push_back(ms);
    }
    figures.busySleeps = CCommInterface::BusySleepCount() - sleepsBefore;
    figures.statusRequests = simulator.RequestCount(0x12) - statusBefore;
    std::sort(figures.clicksMs.begin(), figures.clicksMs.end());
    return true;
}

// The four requests of a read-out on a fresh link, without the dialog: shows how much of a
// click is the device exchange itself. Negative when a request failed.
double BareReadOutMilliseconds() {
    QElapsedTimer timer;
    timer.start();
    {
        CCommInterface comm;
        if (!comm.GetStatusId() || !comm.GetMacId() || !comm.GetEthernetParams() ||
            !comm.GetEadkParams())
            return -1;
    } // closes the link, as the end of a Connect does
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

bool MeasureBareReadOuts(int count, Figures& figures) {
    for (int i = 0; i < count; ++i) {
        const double ms = BareReadOutMilliseconds();
        if (ms < 0)
            return false;
        figures.bareLinkMs.push_back(ms);
    }
    std::sort(figures.bareLinkMs.begin(), figures.bareLinkMs.end());
    return true;
}

int Clicks(const QCommandLineParser& parser) {
    bool ok = false;
    const int clicks = parser.value(QStringLiteral("clicks")).toInt(&ok);
    return ok && clicks > 0 && clicks <= kMaxClicks ? clicks : -1;
}

void Print(const Figures& figures, double rawRttUs) {
    const auto& ms = figures.clicksMs;
    const double median = Median(ms);
    const double p95 = Percentile95(ms);
    const double fourRtts = 4 * rawRttUs / 1000.0;
    std::printf("Connect click to running poller, %zu clicks: min %.2f ms, median %.2f ms, p95 "
                "%.2f ms, max %.2f ms (first click of the run %.2f ms, not counted)\n",
                ms.size(), ms.front(), median, p95, ms.back(), figures.firstMs);
    std::printf("where a click's time goes (each part on its own: median, p95):\n");
    const auto part = [](const char* name, const std::vector<double>& sorted) {
        std::printf("  %-44s %6.3f ms, %6.3f ms\n", name, Median(sorted), Percentile95(sorted));
    };
    part("the four requests on a fresh link", figures.bareLinkMs);
    part("progress window (open, four steps, close)", figures.progressMs);
    part("stored-address write (a changed address only)", figures.storeMs);
    part("filling the fields", figures.fillMs);
    const double parts =
        Median(figures.bareLinkMs) + Median(figures.progressMs) + Median(figures.fillMs);
    std::printf("  %-44s %6.3f ms\n", "the rest of a click (poller, controls, events)",
                median - parts);
    std::printf("status requests seen by the simulator: %d (read-out and first poll each)\n",
                figures.statusRequests);
    std::printf("400 ms busy sleeps: %ld (goal 0)\n", figures.busySleeps);
    std::printf("raw loopback stop-and-wait round trip: %.1f us (best of %d runs x %d)\n", rawRttUs,
                kReferenceRuns, kReferenceRoundTrips);
    const double ratio = p95 / fourRtts;
    const bool met = ratio <= kGoalRoundTrips && figures.busySleeps == 0;
    std::printf("SUMMARY connect: click p95 %.2f ms = %.1f x (4 x raw RTT) (goal <= %.0f), median "
                "%.2f ms, %ld busy sleeps: %s\n",
                p95, ratio, kGoalRoundTrips, median, figures.busySleeps, met ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Times Connect read-outs of the main dialog against the simulator."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("clicks"), QStringLiteral("Measured clicks (default 50)."),
                      QStringLiteral("n"), QString::number(kDefaultClicks)});
    parser.process(app);
    const int clicks = Clicks(parser);
    if (clicks < 0) {
        std::fprintf(stderr, "--clicks takes 1 to %d\n", kMaxClicks);
        return 1;
    }

    const auto started = bench::StartSimulator(kSimulatorAddress);
    if (!started)
        return 1;
    sim::CEncoderSimulator& simulator = *started;

    const double rawRttUs = RawRoundTripMicroseconds();
    Figures figures;
    bench::DialogSession session;
    QString error;
    if (!session.Open(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // The dialog has put the simulator's address into DeviceData for the bare read-outs.
    const bool measured =
        MeasureClicks(session, simulator, clicks, figures) && MeasureBareReadOuts(clicks, figures);
    if (measured)
        MeasureParts(session, clicks, figures);
    if (!measured || rawRttUs < 0 || session.Messages() != 0) {
        std::fprintf(stderr,
                     "a run failed (%zu clicks done, raw round trip %.1f us, %d messages)\n",
                     figures.clicksMs.size(), rawRttUs, session.Messages());
        return 1;
    }
    Print(figures, rawRttUs);
    return 0;
}
