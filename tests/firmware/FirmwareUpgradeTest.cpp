// The upgrade procedure against a simulated encoder on loopback, with a recorder in place of
// the progress window.
#include "firmware/FirmwareUpgrade.h"

#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"

#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// What the progress window is told, in order: "status ...", "pos N", "repaint".
class RecordedProgress : public UpgradeProgress {
public:
    void SetStatusText(const QString& text) override { calls << QStringLiteral("status ") + text; }
    void SetProgressPos(int position) override { calls << QStringLiteral("pos %1").arg(position); }
    void Repaint() override { calls << QStringLiteral("repaint"); }
    QStringList calls;
};

// The calls up to the phase that fails (boot 0, blocks 1, exec 2, none 3), with `positions`.
QStringList Calls(int phases, const std::vector<int>& positions) {
    QStringList calls{QStringLiteral("status Executing Boot.."), QStringLiteral("repaint")};
    if (phases > 0)
        calls << QStringLiteral("status Upgrading Firmware...");
    for (const int position : positions)
        calls << QStringLiteral("pos %1").arg(position);
    if (phases > 1)
        calls << QStringLiteral("status Executing Exec..");
    if (phases > 2)
        calls << QStringLiteral("pos 100") << QStringLiteral("status ");
    return calls;
}

class FirmwareUpgrade : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceData = {};
        ASSERT_TRUE(testsupport::Started(*m_sim));
        DeviceData.m_DeviceIp = testsupport::Octets(m_sim->Address());
    }

    // As the dialog's handler does it: a local link of its own for one upgrade.
    // The outcome's cause; its boxes go to the recorder as the window shows them.
    Cause Upgrade(const std::vector<BYTE>& image) {
        m_sim->ClearLog();
        m_messages.clear();
        m_progress = RecordedProgress();
        CCommInterface comm;
        const Outcome outcome = CFirmwareUpgrade(comm, m_progress).Run(image);
        ShowOutcome(outcome);
        return outcome.cause;
    }

    std::unique_ptr<sim::CEncoderSimulator> m_sim =
        std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(
            testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::Firmware)));
    testsupport::MessageRecorder m_messages;
    RecordedProgress m_progress;
};

struct UpgradeCase {
    std::function<void(sim::CEncoderSimulator&)> arrange;
    std::size_t size;
    Cause outcome;
    const char* wire;    // BLOCKS: the five blocks of 1000 bytes
    int phases;          // as for Calls()
    int bars;            // of the positions 0, 23, 46, 69, 92
    const char* message; // the last box shown
};

// Boot, the blocks, then exec with the image's length and CRC; the bar before each block. A
// failing phase ends the upgrade with its own message (the device's error may come first), and
// the next upgrade on a new link succeeds.
TEST_F(FirmwareUpgrade, ImageGoesOutInBlocksOf230ThenExecOrTheFailedPhaseEndsIt) {
    using enum Cause;
    using Sim = sim::CEncoderSimulator;
    using F = sim::Fault;
    const auto none = [](Sim&) {};
    const auto bootError = [](Sim& s) { s.SetFault(MSG_EXECUTE_BOOT, F::DeviceError(11)); };
    const auto reject3 = [](Sim& s) { s.RejectBlock(3); };
    const auto drop5 = [](Sim& s) { s.DropAtBlock(5); };
    const auto execError = [](Sim& s) { s.SetFault(MSG_EXECUTE_EXEC, F::DeviceError(16)); };
    const QLatin1String blocks("1a:1:1:230 1a:1:0:230 1a:1:0:230 1a:1:0:230 1a:1:2:80");
    const std::vector<int> bar{0, 23, 46, 69, 92};
    const char* done = "Upgrade Firmware - Successful.";
    const char* transferFailed = "Upgrade Firmware - Failed.";
    const UpgradeCase cases[] = {
        {none, 0, None, "1b:0: 1c:0:000000000000", 3, 0, done},
        {none, 230, None, "1b:0: 1a:1:3:230 1c:0:000000e6b38d", 3, 1, done},
        {none, 1000, None, "1b:0: BLOCKS 1c:0:000003e8a791", 3, 5, done},
        {bootError, 1000, BootFailed, "1b:0:", 0, 0, "Executing Boot - Failed."},
        {reject3, 1000, TransferFailed, "1b:0: 1a:1:1:230 1a:1:0:230 1a:1:0:230", 1, 2,
         transferFailed},
        {drop5, 1000, TransferFailed, "1b:0: BLOCKS 1a:1:2:80", 1, 4, transferFailed},
        {execError, 1000, ExecFailed, "1b:0: BLOCKS 1c:0:000003e8a791", 2, 5,
         "Executing Exec - Failed."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wire);
        c.arrange(*m_sim);
        const auto image = testsupport::TestImage(c.size);
        EXPECT_EQ(Upgrade(image), c.outcome);
        EXPECT_EQ(testsupport::Wire(m_sim->Requests()),
                  QString::fromLatin1(c.wire).replace(QLatin1String("BLOCKS"), blocks));
        EXPECT_EQ(m_progress.calls, Calls(c.phases, {bar.begin(), bar.begin() + c.bars}));
        const bool succeeded = c.outcome == None;
        EXPECT_LE(m_messages.count(), succeeded ? 1u : 2u);
        ASSERT_GE(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages().back().text, QLatin1String(c.message));
        EXPECT_EQ(m_messages.messages().back().icon,
                  succeeded ? platform::MessageIcon::Information : platform::MessageIcon::Error);

        m_sim->ClearFaults();
        EXPECT_EQ(Upgrade(image), None);
    }
}

// A real device is slow: a boot (flash erase) longer than a request's own time-out of 3 s, and
// an exec whose programming time grows with the image and stays inside its time-out (5 s + 1 ms
// per 64 bytes: 7 s for 128,000 bytes). A lost block reply is the transport's own test.
TEST_F(FirmwareUpgrade, SlowBootAndLongExecStillSucceed) {
    const auto image = testsupport::TestImage(128000);
    m_sim->SetBootDelayMs(3500);
    m_sim->SetExecDelayMs(5800);
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_EQ(Upgrade(image), Cause::None);
    EXPECT_GE(elapsed.elapsed(), 9300) << "the device took its time";
    EXPECT_TRUE(testsupport::Wire(m_sim->Requests()).endsWith(QLatin1String(" 1c:0:0001f400b32c")));
    EXPECT_EQ(m_messages.texts(), QStringList{QStringLiteral("Upgrade Firmware - Successful.")});
}

} // namespace
