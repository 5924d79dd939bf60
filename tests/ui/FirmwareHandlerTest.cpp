#include "DialogFixture.h"

#include <sys/stat.h>

class FirmwareHandlerTest : public DialogFixture {};

// Cancel changes nothing. Files that must never reach a device are refused with the reader's
// message before the link or the poller is touched, and before boot could erase the flash.
TEST_F(FirmwareHandlerTest, CancelAndDamagedOrForeignFilesSendNothing) {
    ConnectToSimulator();
    AnswerFileDialog(std::nullopt);
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(m_asked, QStringLiteral("Select Firmware File|hex"));
    EXPECT_EQ(m_messages.count(), 0u);
    const auto refused = [this](const QString& path, const char* message) {
        m_messages.clear();
        AnswerFileDialog(path);
        Click(IDC_UPGRADE_FIRMWARE);
        ASSERT_EQ(Texts(), QStringList{QString::fromLatin1(message)});
        EXPECT_EQ(Icon(0), platform::MessageIcon::Error);
        EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    };
    const QString fifo = m_hives.filePath(QStringLiteral("fifo.s19"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path :
         {m_hives.filePath(QStringLiteral("missing.hex")), m_hives.path(), fifo})
        refused(path, "Unable to open file");
    QByteArray cut = testsupport::SRecordText(testsupport::TestImage(1000));
    cut.chop(QByteArrayLiteral("S804000000FB\n").size());
    // A stray line, and a file cut short (the reader's own table has every other refusal).
    for (const QByteArray& contents :
         {QByteArray("S1078000DEADBEEF40\nbuilt by hand\nS9\n"), cut}) {
        SCOPED_TRACE(contents.left(64).toStdString());
        refused(WriteFirmware(contents), "Unable to read firmware file");
    }
    for (const BYTE code : {MSG_EXECUTE_BOOT, MSG_FIRMWARE_BLOCK, MSG_EXECUTE_EXEC})
        EXPECT_EQ(m_sim->RequestCount(code), 0);
}

// A second upgrade with a rejected block ends without the exec request.
TEST_F(FirmwareHandlerTest, UpgradeSendsTheImageAndARejectedBlockEndsIt) {
    ConnectToSimulator();
    const sim::DeviceIdentity before = m_sim->Identity();
    const std::vector<std::uint8_t> image = testsupport::TestImage(1000);
    AnswerFileDialog(WriteFirmware(testsupport::SRecordText(image)));
    m_captions.clear();
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(m_captions, QStringList{QStringLiteral("Upgrading Firmware...")});
    EXPECT_EQ(Texts(), QStringList{QStringLiteral("Upgrade Firmware - Successful.")});
    EXPECT_EQ(Icon(0), platform::MessageIcon::Information);
    EXPECT_EQ(m_barAtClose, u"100/100") << "a full bar beside the success";
    EXPECT_EQ(m_sim->FirmwareBlocks().size(), 5u);
    // The device took the image: its exec checks the length and CRC of what arrived.
    EXPECT_NE(m_sim->Identity().execNumber, before.execNumber);
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker()) << "the operator reconnects to see it";
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);

    ConnectToSimulator();
    m_messages.clear();
    m_sim->RejectBlock(3);
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(Texts().value(m_messages.count() - 1), u"Upgrade Firmware - Failed.");
    EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), 1);
    EXPECT_TRUE(m_progress.isNull());
    EXPECT_TRUE(Dialog().isEnabled());
}
