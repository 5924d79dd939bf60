// The upgrade procedure against a simulated encoder on loopback, with a progress recorder in
// place of the progress window.
#include "firmware/FirmwareUpgrade.h"

#include "Bytes.h"
#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"
#include "firmware/Crc16.h"
#include "firmware/SRecordReader.h"
#include "res/Texts.h"
#include "sim/EncoderSimulator.h"

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

using testsupport::Bytes;

class RecordedProgress : public UpgradeProgress {
public:
    void SetStatusText(const QString& text) override {
        statuses << text;
        calls << QStringLiteral("status ") + text;
    }
    void SetProgressPos(int position) override {
        positions.push_back(position);
        calls << QStringLiteral("pos %1").arg(position);
    }
    void Repaint() override { calls << QStringLiteral("repaint"); }

    QStringList statuses;
    std::vector<int> positions;
    QStringList calls;
};

std::vector<BYTE> Image(std::size_t length) {
    std::vector<BYTE> image(length);
    for (std::size_t i = 0; i < length; ++i)
        image[i] = static_cast<BYTE>(i * 7 + (i >> 8));
    return image;
}

QByteArray AsBytes(const std::vector<BYTE>& image) {
    return QByteArray(reinterpret_cast<const char*>(image.data()),
                      static_cast<qsizetype>(image.size()));
}

class FirmwareUpgrade : public ::testing::Test {
protected:
    void SetUp() override {
        DeviceData = {};
        // Each test has a device address of its own, see LoopbackAddress.h.
        const QString address =
            testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::Firmware);
        m_sim = std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address));
        ASSERT_TRUE(testsupport::Started(*m_sim));
        DeviceData.m_DeviceIp = testsupport::Octets(address);
    }

    // As the dialog's handler does it: a local link of its own for one upgrade.
    UpgradeOutcome Upgrade(const std::vector<BYTE>& image) {
        m_progress = RecordedProgress();
        CCommInterface comm;
        return CFirmwareUpgrade(comm, m_progress).Run(image);
    }

    std::vector<sim::ReceivedRequest> RequestsOf(BYTE code) const {
        std::vector<sim::ReceivedRequest> matching;
        for (const auto& request : m_sim->Requests())
            if (request.code == code)
                matching.push_back(request);
        return matching;
    }

    void ExpectLastMessage(QLatin1String text, platform::MessageIcon icon) {
        const auto messages = m_messages.messages();
        ASSERT_FALSE(messages.empty());
        EXPECT_EQ(messages.back().text, QString(text));
        EXPECT_EQ(messages.back().icon, icon);
    }

    // How many firmware blocks and exec requests reached the device.
    void ExpectSent(int blocks, int execs) const {
        EXPECT_EQ(m_sim->RequestCount(MSG_FIRMWARE_BLOCK), blocks);
        EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), execs);
    }

    // A failed upgrade ends on its own error message; the device's error may come first.
    void ExpectFailureReported(QLatin1String text) {
        EXPECT_LE(m_messages.count(), 2u);
        ExpectLastMessage(text, platform::MessageIcon::Error);
    }

    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    testsupport::MessageRecorder m_messages;
    RecordedProgress m_progress;
};

struct BlockCase {
    std::size_t imageLength;
    std::vector<int> blockLengths;
    std::vector<BYTE> blockFlags;
    std::vector<int> barPositions;
};

TEST_F(FirmwareUpgrade, ImageGoesOutInBlocksOf230WithFlagsAndBarPositions) {
    const BlockCase cases[] = {
        {0, {}, {}, {100}},
        {230, {230}, {0x03}, {0, 100}},
        {231, {230, 1}, {0x01, 0x02}, {0, 99, 100}},
        {460, {230, 230}, {0x01, 0x02}, {0, 50, 100}},
        {1000, {230, 230, 230, 230, 80}, {0x01, 0x00, 0x00, 0x00, 0x02}, {0, 23, 46, 69, 92, 100}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.imageLength);
        m_sim->ClearLog();
        m_messages.clear();
        const auto image = Image(c.imageLength);
        ASSERT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);

        std::vector<BYTE> codes;
        for (const auto& request : m_sim->Requests())
            codes.push_back(request.code);
        std::vector<BYTE> expectedCodes{MSG_EXECUTE_BOOT};
        expectedCodes.insert(expectedCodes.end(), c.blockLengths.size(), MSG_FIRMWARE_BLOCK);
        expectedCodes.push_back(MSG_EXECUTE_EXEC);
        EXPECT_EQ(codes, expectedCodes);

        std::vector<int> lengths;
        std::vector<BYTE> flags;
        QByteArray sent;
        for (const auto& block : RequestsOf(MSG_FIRMWARE_BLOCK)) {
            lengths.push_back(static_cast<int>(block.payload.size()));
            flags.push_back(block.blockFlags);
            EXPECT_TRUE(block.flag);
            sent += block.payload;
        }
        EXPECT_EQ(lengths, c.blockLengths);
        EXPECT_EQ(flags, c.blockFlags);
        EXPECT_EQ(sent, AsBytes(image));
        EXPECT_EQ(m_progress.positions, c.barPositions);

        const auto boot = RequestsOf(MSG_EXECUTE_BOOT);
        ASSERT_EQ(boot.size(), 1u);
        EXPECT_FALSE(boot[0].flag);
        EXPECT_TRUE(boot[0].payload.isEmpty());
        const auto exec = RequestsOf(MSG_EXECUTE_EXEC);
        ASSERT_EQ(exec.size(), 1u);
        EXPECT_FALSE(exec[0].flag);
        const WORD crc = ComputeCrc16(image);
        EXPECT_EQ(exec[0].payload,
                  Bytes({0, 0, static_cast<int>(c.imageLength >> 8),
                         static_cast<int>(c.imageLength & 0xFF), crc >> 8, crc & 0xFF}));

        EXPECT_EQ(m_progress.statuses,
                  (QStringList{QString(res::text::StatusExecutingBoot),
                               QString(res::text::StatusUpgradingFirmware),
                               QString(res::text::StatusExecutingExec), QString()}));
        EXPECT_EQ(
            m_progress.calls.mid(0, 2),
            (QStringList{QStringLiteral("status Executing Boot.."), QStringLiteral("repaint")}));
        EXPECT_EQ(m_messages.texts(), QStringList{QString(res::text::UpgradeFirmwareSuccessful)});
        ExpectLastMessage(res::text::UpgradeFirmwareSuccessful, platform::MessageIcon::Information);
    }
}

TEST_F(FirmwareUpgrade, FileOfTheNineDigitsSendsLengthNineAndCrc31C3) {
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("digits.hex")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("S00600004844521B\nS10C000031323334353637383916\nS9030000FC\n");
    file.close();
    CSRecordReader reader{};
    int length = 0;
    const auto image = LoadFirmwareImage(reader, file.fileName(), length);
    ASSERT_TRUE(image.has_value());

    ASSERT_EQ(Upgrade(*image), UpgradeOutcome::Succeeded);
    const auto exec = RequestsOf(MSG_EXECUTE_EXEC);
    ASSERT_EQ(exec.size(), 1u);
    EXPECT_EQ(exec[0].payload, Bytes({0x00, 0x00, 0x00, 0x09, 0x31, 0xC3}));
    ASSERT_EQ(m_sim->FirmwareBlocks().size(), 1u);
    EXPECT_EQ(m_sim->FirmwareBlocks()[0].data, QByteArray("123456789"));
}

TEST_F(FirmwareUpgrade, RejectedThirdBlockEndsTheTransferWithoutExec) {
    m_sim->RejectBlock(3);
    EXPECT_EQ(Upgrade(Image(1000)), UpgradeOutcome::TransferFailed);
    ExpectSent(3, 0);
    EXPECT_EQ(m_progress.positions, (std::vector<int>{0, 23}));
    EXPECT_EQ(m_progress.statuses.last(), QString(res::text::StatusUpgradingFirmware));
    ExpectFailureReported(res::text::UpgradeFirmwareFailed);
}

TEST_F(FirmwareUpgrade, FailedBootSendsNothingElse) {
    m_sim->SetFault(MSG_EXECUTE_BOOT, sim::Fault::DeviceError(11));
    EXPECT_EQ(Upgrade(Image(1000)), UpgradeOutcome::BootFailed);
    ExpectSent(0, 0);
    EXPECT_EQ(m_progress.statuses, QStringList{QString(res::text::StatusExecutingBoot)});
    EXPECT_TRUE(m_progress.positions.empty());
    ExpectFailureReported(res::text::ExecutingBootFailed);
}

TEST_F(FirmwareUpgrade, FailedExecIsReportedAfterAllBlocks) {
    m_sim->SetFault(MSG_EXECUTE_EXEC, sim::Fault::DeviceError(16));
    EXPECT_EQ(Upgrade(Image(460)), UpgradeOutcome::ExecFailed);
    ExpectSent(2, 1);
    EXPECT_EQ(m_progress.statuses.last(), QString(res::text::StatusExecutingExec));
    ExpectFailureReported(res::text::ExecutingExecFailed);
}

TEST_F(FirmwareUpgrade, ConnectionDroppedAtAnyBlockFailsAndTheNextUpgradeSucceeds) {
    const auto image = Image(5 * FIRMWARE_BLOCK_SIZE);
    for (int block = 1; block <= 5; ++block) {
        SCOPED_TRACE(block);
        m_sim->ClearLog();
        m_messages.clear();
        m_sim->DropAtBlock(block);
        EXPECT_EQ(Upgrade(image), UpgradeOutcome::TransferFailed);
        EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), 0);
        EXPECT_EQ(static_cast<int>(m_progress.positions.size()), block - 1);
        ExpectLastMessage(res::text::UpgradeFirmwareFailed, platform::MessageIcon::Error);

        m_sim->ClearBlockFaults();
        m_messages.clear();
        EXPECT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);
        QByteArray arrived;
        for (const auto& stored : m_sim->FirmwareBlocks())
            arrived += stored.data;
        EXPECT_EQ(arrived, AsBytes(image));
        EXPECT_EQ(m_messages.texts(), QStringList{QString(res::text::UpgradeFirmwareSuccessful)});
    }
}

// A real device is slow: a boot (flash erase) of 4 s, an exec whose programming time grows with
// the image and stays inside its time-out (5 s + 1 ms per 64 bytes: 7 s for 128,000 bytes),
// and a block reply lost on the way (the resend is answered, the block not written twice).
TEST_F(FirmwareUpgrade, SlowBootLongExecAndALostBlockReplyStillSucceed) {
    const auto image = Image(128000);
    m_sim->SetBootDelayMs(4000);
    m_sim->SetExecDelayMs(6500);
    m_sim->DropReplyAtBlock(3);
    ASSERT_EQ(Upgrade(image), UpgradeOutcome::Succeeded);
    const int blocks = (128000 + FIRMWARE_BLOCK_SIZE - 1) / FIRMWARE_BLOCK_SIZE;
    EXPECT_EQ(m_sim->RequestCount(MSG_FIRMWARE_BLOCK), blocks + 1);
    EXPECT_EQ(m_sim->AppliedCount(MSG_FIRMWARE_BLOCK), blocks);
    QByteArray arrived;
    for (const auto& stored : m_sim->FirmwareBlocks())
        arrived += stored.data;
    EXPECT_EQ(arrived, AsBytes(image));
    EXPECT_EQ(m_messages.texts(), QStringList{QString(res::text::UpgradeFirmwareSuccessful)});
}

} // namespace
