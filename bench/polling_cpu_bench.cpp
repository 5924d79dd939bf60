// Processor time of the whole program while it is connected and polling: the real main
// dialog (offscreen) connected to an encoder, the GUI thread in its event loop, over 10 s of
// wall time. The reference, measured in the same run, is the same dialog for the same time
// before it connects. The encoder is the simulator program as a child process, so that only
// the tool is measured (its own share is printed beside); --in-process runs the simulator in
// this process instead, and its share is then included. Goals: under 0.1% of one core while
// polling, under 0.05% while not connected. Both are measured once the window has been left
// alone for as long as the text cursor blinks after the last input (--settle), as an
// operator who watches the position leaves it; the settling time is not measured.
#include "BenchSimulator.h"
#include "DialogSession.h"
#include "EventLoopWait.h"
#include "ProcessCpu.h"
#include "sim/EncoderSimulator.h"
#include "ui/CursorBlinkTimeout.h"
#include "ui/DELVOREncoderDlg.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>

#include <cstdio>
#include <memory>

namespace {

// The encoder stays on loopback, on an address no test uses.
const QString kSimulatorAddress = QStringLiteral("127.0.79.10");
constexpr int kDefaultSeconds = 10;
constexpr int kMaxSeconds = 3600;
constexpr int kStartTimeoutMs = 10000;
constexpr int kFirstPollTimeoutMs = 5000;
constexpr int kStopTimeoutMs = 3000;
constexpr qint64 kMaxSimulatorOutput = 64 * 1024;
constexpr double kPollingGoalPercent = 0.1;
constexpr double kIdleGoalPercent = 0.05;

struct Usage {
    double wallSeconds = 0;
    double cpuSeconds = -1;
    double childCpuSeconds = -1;
    int polls = 0;

    double Percent() const { return cpuSeconds < 0 ? -1 : 100.0 * cpuSeconds / wallSeconds; }
    double ChildPercent() const {
        return childCpuSeconds < 0 ? -1 : 100.0 * childCpuSeconds / wallSeconds;
    }
};

// The simulator program, started on the loopback address and waited for
// until it says that it listens.
class SimulatorProcess {
public:
    ~SimulatorProcess() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(kStopTimeoutMs))
            m_process.kill();
        m_process.waitForFinished(kStopTimeoutMs);
    }

    bool Start(QString& error) {
        const QString program = QStringLiteral(ENCODER_SIM_PATH);
        m_process.setProgram(program);
        m_process.setArguments({QStringLiteral("--address"), kSimulatorAddress});
        m_process.start();
        QByteArray output;
        const bool listening = bench::WaitUntil(
            [&] {
                if (output.size() < kMaxSimulatorOutput)
                    output += m_process.readAllStandardOutput();
                return output.contains("listening") || m_process.state() == QProcess::NotRunning;
            },
            kStartTimeoutMs);
        if (listening && output.contains("listening"))
            return true;
        error = program + QStringLiteral(" did not start: ") +
                QString::fromLocal8Bit(m_process.readAllStandardError().left(kMaxSimulatorOutput));
        return false;
    }

    qint64 Pid() const { return m_process.processId(); }

private:
    QProcess m_process;
};

// Runs the event loop for `seconds` and takes the processor time used meanwhile.
Usage Measure(int seconds, qint64 childPid, const int& polls) {
    Usage usage;
    const int pollsBefore = polls;
    const double childBefore = childPid > 0 ? bench::ChildCpuSeconds(childPid) : -1;
    const double before = bench::OwnCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    bench::RunEventLoopFor(seconds * 1000);
    const double after = bench::OwnCpuSeconds();
    const double childAfter = childPid > 0 ? bench::ChildCpuSeconds(childPid) : -1;
    usage.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    if (before >= 0 && after >= 0)
        usage.cpuSeconds = after - before;
    if (childBefore >= 0 && childAfter >= 0)
        usage.childCpuSeconds = childAfter - childBefore;
    usage.polls = polls - pollsBefore;
    return usage;
}

int Seconds(const QCommandLineParser& parser) {
    bool ok = false;
    const int seconds = parser.value(QStringLiteral("seconds")).toInt(&ok);
    return ok && seconds > 0 && seconds <= kMaxSeconds ? seconds : -1;
}

void Print(const Usage& idle, const Usage& polling, bool inProcess) {
    std::printf("dialog not connected (reference): %.3f s CPU in %.1f s = %.3f%% of one core\n",
                idle.cpuSeconds, idle.wallSeconds, idle.Percent());
    std::printf("connected and polling: %.3f s CPU in %.1f s = %.3f%% of one core, %d polls "
                "shown\n",
                polling.cpuSeconds, polling.wallSeconds, polling.Percent(), polling.polls);
    if (inProcess)
        std::printf("the simulator ran in this process: its share is included above\n");
    else
        std::printf("simulator (child process, not included above): %.3f s CPU = %.3f%% of "
                    "one core while polled (clock-tick resolution)\n",
                    polling.childCpuSeconds, polling.ChildPercent());
    const bool met = polling.Percent() < kPollingGoalPercent && idle.Percent() < kIdleGoalPercent;
    std::printf("SUMMARY polling CPU: %.3f%% of one core (goal < %.2f%%), %.3f%% when not "
                "connected (goal < %.2f%%), %d polls in %.1f s%s: %s\n",
                polling.Percent(), kPollingGoalPercent, idle.Percent(), kIdleGoalPercent,
                polling.polls, polling.wallSeconds,
                inProcess ? ", simulator included" : ", tool only", met ? "met" : "NOT met");
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Processor time of the connected, polling dialog against the simulator."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"),
                      QStringLiteral("Wall time of each measurement (default 10)."),
                      QStringLiteral("n"), QString::number(kDefaultSeconds)});
    parser.addOption({QStringLiteral("settle"),
                      QStringLiteral("Milliseconds the window is left alone before each "
                                     "measurement (default: the cursor's blink time, plus 1 s)."),
                      QStringLiteral("ms"),
                      QString::number(CCursorBlinkTimeout::kDefaultTimeoutMs + 1000)});
    parser.addOption({QStringLiteral("in-process"),
                      QStringLiteral("Run the simulator in this process (its share is then "
                                     "included).")});
    parser.process(app);
    const int seconds = Seconds(parser);
    if (seconds < 0) {
        std::fprintf(stderr, "--seconds takes 1 to %d\n", kMaxSeconds);
        return 1;
    }
    const bool inProcess = parser.isSet(QStringLiteral("in-process"));

    QString error;
    SimulatorProcess child;
    std::unique_ptr<sim::CEncoderSimulator> simulator;
    if (inProcess) {
        simulator = bench::StartSimulator(kSimulatorAddress);
        if (!simulator)
            return 1;
    } else if (!child.Start(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    bench::DialogSession session;
    if (!session.Open(error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    int polls = 0; // counted on the GUI thread, where the position is written
    QObject::connect(session.Dialog().m_editResolverPosition, &QLineEdit::textChanged, &app,
                     [&polls] { ++polls; });
    const qint64 childPid = inProcess ? 0 : child.Pid();

    const int settleMs = parser.value(QStringLiteral("settle")).toInt();
    bench::RunEventLoopFor(settleMs);
    const Usage idle = Measure(seconds, childPid, polls);
    session.SetTarget(kSimulatorAddress);
    if (!session.ClickConnect() ||
        !session.WaitForPositionChange(session.PositionText(), kFirstPollTimeoutMs)) {
        std::fprintf(stderr, "Connect failed (%d messages)\n", session.Messages());
        return 1;
    }
    bench::RunEventLoopFor(settleMs);
    const Usage polling = Measure(seconds, childPid, polls);
    if (idle.cpuSeconds < 0 || polling.cpuSeconds < 0 || session.Messages() != 0) {
        std::fprintf(stderr, "a measurement failed (%d messages)\n", session.Messages());
        return 1;
    }
    Print(idle, polling, inProcess);
    return 0;
}
