// The command line on a fleet: the same 100 KiB image upgraded on one device, then on eight
// with --jobs 8 (goal: eight within 1.1x the time of one); then a scan of a /24 with 16
// encoders among its addresses beside the time of one `info`. Each figure is the built
// rivivozuzuvod-cli program run as a child process against simulators in this process, each
// taking 1 ms per firmware block as its flash time.
#include "BenchSimulator.h"
#include "SRecordFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr std::size_t kImageSize = 100 * 1024;
constexpr int kFleet = 8;
constexpr int kBlockFlashMs = 1;
constexpr int kScanEncoders = 16;
constexpr double kTargetRatio = 1.1;
// Both fleets stay on loopback: 127.0.75.x upgrades, 127.0.76.0/24 the scan.
QString FleetAddress(int i) {
    return QStringLiteral("127.0.75.%1").arg(i + 1);
}
QString ScanAddress(int i) {
    return QStringLiteral("127.0.76.%1").arg(7 + i * 15);
}

// Runs the program; the time from start to its end in ms, or -1 when it fails.
double RunMilliseconds(const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), arguments);
    if (!process.waitForFinished(600000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        std::fprintf(stderr, "rivivozuzuvod-cli %s failed (%d): %s\n",
                     qPrintable(arguments.join(u' ')), process.exitCode(),
                     process.readAllStandardOutput().constData());
        return -1;
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

std::vector<std::unique_ptr<sim::CEncoderSimulator>> StartFleet(int count,
                                                                QString (*address)(int)) {
    std::vector<std::unique_ptr<sim::CEncoderSimulator>> fleet;
    for (int i = 0; i < count; ++i) {
        auto simulator = bench::StartSimulator(address(i));
        if (!simulator)
            return {};
        simulator->SetBlockTimeMs(kBlockFlashMs);
        fleet.push_back(std::move(simulator));
    }
    return fleet;
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QCoreApplication app(argc, argv);
    QTemporaryDir folder;
    const QString image = folder.filePath(QStringLiteral("image.s19"));
    const QString plan = folder.filePath(QStringLiteral("plan.csv"));
    QFile planFile(plan);
    if (!testsupport::WriteFile(image,
                                testsupport::SRecordText(testsupport::TestImage(kImageSize))) ||
        !planFile.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < kFleet; ++i)
        planFile.write((FleetAddress(i) + QStringLiteral(",,,,,,image.s19\n")).toUtf8());
    planFile.close();

    const auto fleet = StartFleet(kFleet, FleetAddress);
    const auto scanned = StartFleet(kScanEncoders, ScanAddress);
    if (fleet.empty() || scanned.empty())
        return 1;

    const double one = RunMilliseconds({QStringLiteral("upgrade"), FleetAddress(0), image});
    const double eight = RunMilliseconds(
        {QStringLiteral("batch"), plan, QStringLiteral("--jobs"), QString::number(kFleet)});
    const double info = RunMilliseconds({QStringLiteral("info"), ScanAddress(0)});
    const double scan = RunMilliseconds({QStringLiteral("scan"), QStringLiteral("127.0.76.0/24")});
    if (one < 0 || eight < 0 || info < 0 || scan < 0)
        return 1;
    const double ratio = eight / one;
    std::printf("upgrade of %zu KiB, %d ms flash per block: one device %.0f ms, %d devices "
                "(--jobs %d) %.0f ms: %.2fx (goal <= %.1fx): %s\n",
                kImageSize / 1024, kBlockFlashMs, one, kFleet, kFleet, eight, ratio, kTargetRatio,
                ratio <= kTargetRatio ? "met" : "NOT met");
    std::printf("scan of a /24 with %d encoders: %.0f ms; one info: %.0f ms\n", kScanEncoders, scan,
                info);
    return 0;
}
