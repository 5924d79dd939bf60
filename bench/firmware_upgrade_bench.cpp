// A full firmware upgrade of a 2 MiB image against the encoder simulator (no simulated flash
// time), against a plain loopback stop-and-wait exchange of the same number of 230-byte
// blocks measured in the same run. Prints both times and the ratio (goal: at most 1.2x).
#include "BenchSimulator.h"
#include "RawStopAndWait.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "firmware/FirmwareUpgrade.h"
#include "platform/MessageBox.h"
#include "sim/EncoderSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr int kImageSize = 2 * 1024 * 1024;
constexpr int kRuns = 3;
constexpr double kTargetRatio = 1.2;
constexpr int kIoTimeoutMs = 5000;
// Both ends stay on loopback.
const QString kSimulatorAddress = QStringLiteral("127.0.77.1");
const QString kReferenceAddress = QStringLiteral("127.0.77.2");
// The reference frames: a request of a small header plus the block, a reply of a header.
constexpr int kFrameHeader = 12;

class NoProgress : public UpgradeProgress {
public:
    void SetStatusText(const QString&) override {}
    void SetProgressPos(int) override {}
    void Repaint() override {}
};

// The least that one block can cost on this machine: send it, wait for a short answer.
double ReferenceMilliseconds(int exchanges) {
    bench::StopAndWaitConfig config;
    config.address = kReferenceAddress;
    config.roundTrips = exchanges;
    config.requestSize = kFrameHeader + FIRMWARE_BLOCK_SIZE;
    config.replySize = kFrameHeader;
    return bench::RawStopAndWaitMilliseconds(config);
}

double UpgradeMilliseconds(const std::vector<BYTE>& image) {
    NoProgress progress;
    QElapsedTimer timer;
    timer.start();
    CCommInterface comm;
    const Outcome outcome = CFirmwareUpgrade(comm, progress).Run(image);
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    return outcome.Succeeded() ? ms : -1;
}

template <typename Measure> double Best(Measure measure) {
    double best = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        const double ms = measure();
        if (ms < 0)
            return -1;
        best = std::min(best, ms);
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    bench::PrepareBenchEnvironment();
    QCoreApplication app(argc, argv);
    int messages = 0;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        if (request.icon != platform::MessageIcon::Information)
            std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        ++messages;
    });

    const auto simulator = bench::StartSimulator(kSimulatorAddress); // kept until the end
    if (!simulator)
        return 1;
    DeviceData.m_DeviceIp = {127, 0, 77, 1};

    std::vector<BYTE> image(kImageSize);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<BYTE>(i * 31 + (i >> 10));
    const int blocks = (kImageSize + FIRMWARE_BLOCK_SIZE - 1) / FIRMWARE_BLOCK_SIZE;
    const int exchanges = blocks + 2; // boot and exec around the blocks

    const long sleepsBefore = CCommInterface::BusySleepCount();
    const double upgradeMs = Best([&] { return UpgradeMilliseconds(image); });
    const long busySleeps = CCommInterface::BusySleepCount() - sleepsBefore;
    const double referenceMs = Best([&] { return ReferenceMilliseconds(exchanges); });
    if (upgradeMs < 0 || referenceMs < 0) {
        std::fprintf(stderr, "%s failed\n", upgradeMs < 0 ? "the upgrade" : "the reference");
        return 1;
    }

    const double ratio = upgradeMs / referenceMs;
    std::printf("Firmware upgrade: %d-byte image, %d blocks of %d, %d exchanges\n", kImageSize,
                blocks, FIRMWARE_BLOCK_SIZE, exchanges);
    std::printf("  upgrade against the simulator, best of %d:   %9.1f ms (%.1f us/exchange, "
                "%ld busy sleeps)\n",
                kRuns, upgradeMs, upgradeMs * 1000 / exchanges, busySleeps);
    std::printf("  raw loopback stop-and-wait, best of %d:      %9.1f ms (%.1f us/exchange)\n",
                kRuns, referenceMs, referenceMs * 1000 / exchanges);
    std::printf("  ratio: upgrade takes %.2fx the reference (goal <= %.1fx): %s\n", ratio,
                kTargetRatio, ratio <= kTargetRatio ? "met" : "NOT met");
    return 0;
}
