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
        const QString address =
            testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::Firmware);
        m_sim = std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address));
        ASSERT_TRUE(testsupport::Started(*m_sim));
        DeviceData.m_DeviceIp = testsupport::Octets(address);
    }

    // As the dialog's handler does it: a local link of its own for one upgrade.
    UpgradeOutcome Upgrade(const std::vector<BYTE>& image) {
        m_sim->ClearLog();
        m_messages.clear();
        m_progress = RecordedProgress();
        CCommInterface comm;
        return CFirmwareUpgrade(comm, m_progress).Run(image);
    }

    // The device holds exactly `image`.
    bool Holds(const std::vector<BYTE>& image) const {
        QByteArray arrived;
        for (const auto& stored : m_sim->FirmwareBlocks())
            arrived += stored.data;
        return arrived == QByteArray(reinterpret_cast<const char*>(image.data()),
                                     static_cast<qsizetype>(image.size()));
    }

    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    testsupport::MessageRecorder m_messages;
    RecordedProgress m_progress;
};

// The requests on the wire, one word each: code:flag:payload, for a block
// code:flag:blockflags:length.
QString Wire(const std::vector<sim::ReceivedRequest>& requests) {
    QStringList words;
    for (const auto& r : requests)
        words << (r.code == MSG_FIRMWARE_BLOCK
                      ? QStringLiteral("1a:%1:%2:%3")
                            .arg(r.flag)
                            .arg(r.blockFlags)
                            .arg(r.payload.size())
                      : QStringLiteral("%1:%2:").arg(r.code, 0, 16).arg(r.flag) +
                            QLatin1String(r.payload.toHex()));
    return words.join(u' ');
}

// Boot, the blocks, then exec with the image's length and CRC; the bar before each block.
TEST_F(FirmwareUpgrade, ImageGoesOutInBlocksOf230ThenExecCarriesLengthAndCrc) {
    const std::tuple<std::size_t, const char*, std::vector<int>> cases[] = {
        {0, "1b:0: 1c:0:000000000000", {}},
        {230, "1b:0: 1a:1:3:230 1c:0:000000e6b38d", {0}},
        {1000,
         "1b:0: 1a:1:1:230 1a:1:0:230 1a:1:0:230 1a:1:0:230 1a:1:2:80 1c:0:000003e8a791",
         {0, 23, 46, 69, 92}},
    };
    for (const auto& [length, wire, positions] : cases) {
        SCOPED_TRACE(length);
        const auto image = testsupport::TestImage(length);
        ASSERT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);
        EXPECT_EQ(Wire(m_sim->Requests()), QLatin1String(wire));
        EXPECT_TRUE(Holds(image));
        EXPECT_EQ(m_progress.calls, Calls(3, positions));
        ASSERT_EQ(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages()[0].text, QStringLiteral("Upgrade Firmware - Successful."));
        EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Information);
    }
}

struct FailureCase {
    const char* name;
    std::function<void(sim::CEncoderSimulator&)> arrange;
    UpgradeOutcome outcome;
    int blocks; // block requests that reached the device, a resend after a drop included
    int execs;
    int phases; // as for Calls()
    int bars;   // bar positions shown
    const char* message;
};

// Each failing phase ends the upgrade with its own message (the device's error may come first),
// and the next upgrade on a new link succeeds.
TEST_F(FirmwareUpgrade, FailedPhaseEndsTheUpgradeAndTheNextOneSucceeds) {
    const std::vector<int> bar{0, 23, 46, 69, 92}; // of 1000 bytes in 5 blocks
    const FailureCase cases[] = {
        {"boot refused", [](auto& s) { s.SetFault(MSG_EXECUTE_BOOT, sim::Fault::DeviceError(11)); },
         UpgradeOutcome::BootFailed, 0, 0, 0, 0, "Executing Boot - Failed."},
        {"third block rejected", [](auto& s) { s.RejectBlock(3); }, UpgradeOutcome::TransferFailed,
         3, 0, 1, 2, "Upgrade Firmware - Failed."},
        {"dropped at the last block", [](auto& s) { s.DropAtBlock(5); },
         UpgradeOutcome::TransferFailed, 6, 0, 1, 4, "Upgrade Firmware - Failed."},
        {"exec refused", [](auto& s) { s.SetFault(MSG_EXECUTE_EXEC, sim::Fault::DeviceError(16)); },
         UpgradeOutcome::ExecFailed, 5, 1, 2, 5, "Executing Exec - Failed."},
    };
    const auto image = testsupport::TestImage(1000);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.arrange(*m_sim);
        EXPECT_EQ(Upgrade(image), c.outcome);
        EXPECT_EQ(m_sim->RequestCount(MSG_FIRMWARE_BLOCK), c.blocks);
        EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), c.execs);
        EXPECT_EQ(m_progress.calls, Calls(c.phases, {bar.begin(), bar.begin() + c.bars}));
        EXPECT_LE(m_messages.count(), 2u);
        ASSERT_GE(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages().back().text, QLatin1String(c.message));
        EXPECT_EQ(m_messages.messages().back().icon, platform::MessageIcon::Error);

        m_sim->ClearFaults();
        EXPECT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);
        EXPECT_TRUE(Holds(image));
    }
}

// A real device is slow: a boot (flash erase) of 4 s, an exec whose programming time grows with
// the image and stays inside its time-out (5 s + 1 ms per 64 bytes: 7 s for 128,000 bytes),
// and a block reply lost on the way (the resend is answered, the block not written twice).
TEST_F(FirmwareUpgrade, SlowBootLongExecAndALostBlockReplyStillSucceed) {
    const auto image = testsupport::TestImage(128000);
    m_sim->SetBootDelayMs(4000);
    m_sim->SetExecDelayMs(6500);
    m_sim->DropReplyAtBlock(3);
    ASSERT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);
    const int blocks = (128000 + FIRMWARE_BLOCK_SIZE - 1) / FIRMWARE_BLOCK_SIZE;
    EXPECT_EQ(m_sim->RequestCount(MSG_FIRMWARE_BLOCK), blocks + 1);
    EXPECT_EQ(m_sim->AppliedCount(MSG_FIRMWARE_BLOCK), blocks);
    EXPECT_TRUE(Holds(image));
    EXPECT_TRUE(Wire(m_sim->Requests()).endsWith(QLatin1String(" 1c:0:0001f400b32c")));
    EXPECT_EQ(m_messages.texts(), QStringList{QStringLiteral("Upgrade Firmware - Successful.")});
}

} // namespace
