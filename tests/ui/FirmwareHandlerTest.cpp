#include "DialogFixture.h"

#include "platform/FileDialog.h"

#include <sys/stat.h>

// The Upgrade Firmware button as the operator uses it: the file dialog is answered in
// advance, the device is the simulator.
class FirmwareHandlerTest : public DialogFixture {
protected:
    void TearDown() override {
        platform::SetOpenFileAnswer({});
        DialogFixture::TearDown();
    }

    void AnswerFileDialog(std::optional<QString> answer) {
        platform::SetOpenFileAnswer([this, answer](const QString& title, const QString& extension) {
            m_asked = title + u'|' + extension;
            return answer;
        });
    }

    QString m_asked;
};

// Cancel changes nothing. Files that must never reach a device are refused with the reader's
// message before the link or the poller is touched, and before boot could erase the flash.
TEST_F(FirmwareHandlerTest, CancelAndDamagedOrForeignFilesSendNothing) {
    ConnectToSimulator();
    const QString fifo = m_hives.filePath(QStringLiteral("fifo.s19"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Row {
        const char* name;
        std::optional<QByteArray> contents; // none: `path` as it is
        std::optional<QString> path;
        QStringList messages;
    };
    const QStringList unopenable{QString(text::UnableToOpenFile)};
    const QStringList unreadable{QString(text::UnableToReadFirmwareFile)};
    const Row rows[] = {
        {"cancel", {}, std::nullopt, {}},
        {"missing", {}, m_hives.filePath(QStringLiteral("missing.hex")), unopenable},
        {"folder", {}, m_hives.path(), unopenable},
        {"FIFO", {}, fifo, unopenable},
        {"empty file", QByteArray(), {}, unreadable},
        {"no data records", "S00600004844521B\nS9030000FC\n", {}, unreadable},
        {"Intel HEX", ":10010000214601360121470136007EFE09D21901\n:00000001FF\n", {}, unreadable},
        {"binary",
         QByteArray("\x7f"
                    "ELF\x02\x01\x01\0\0\0S1",
                    12),
         {},
         unreadable},
        {"wrong checksum", "S1078000DEADBEEF41\n", {}, unreadable},
        {"G in the data", "S1078000DEADBEGF40\n", {}, unreadable},
        {"text with a stray line",
         "S1078000DEADBEEF40\nbuilt by hand\nS9030000FC\n",
         {},
         unreadable},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        m_messages.clear();
        AnswerFileDialog(row.contents ? WriteFirmware(*row.contents) : row.path);
        Click(IDC_UPGRADE_FIRMWARE);
        EXPECT_EQ(m_asked, QStringLiteral("Select Firmware File|hex"));
        EXPECT_EQ(Texts(), row.messages);
        if (!row.messages.isEmpty()) {
            EXPECT_EQ(Icon(0), platform::MessageIcon::Error);
        }
        EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    }
    for (const BYTE code : {MSG_EXECUTE_BOOT, MSG_FIRMWARE_BLOCK, MSG_EXECUTE_EXEC})
        EXPECT_EQ(m_sim->RequestCount(code), 0);
}

TEST_F(FirmwareHandlerTest, UpgradeSendsTheImageAndLeavesThePollerStopped) {
    ConnectToSimulator();
    const sim::DeviceIdentity before = m_sim->Identity();
    const std::vector<std::uint8_t> image = testsupport::TestImage(1000);
    AnswerFileDialog(WriteFirmware(testsupport::SRecordText(image)));
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(Texts(), QStringList{QString(text::UpgradeFirmwareSuccessful)});
    EXPECT_EQ(Icon(0), platform::MessageIcon::Information);
    EXPECT_EQ(m_barAtClose, u"100/100") << "a full bar beside the success";
    const auto blocks = m_sim->FirmwareBlocks();
    ASSERT_EQ(blocks.size(), 5u);
    QByteArray received;
    for (const auto& block : blocks)
        received += block.data;
    EXPECT_EQ(received, QByteArray(reinterpret_cast<const char*>(image.data()), 1000));
    EXPECT_NE(m_sim->Identity().execNumber, before.execNumber);
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker()) << "the operator reconnects to see it";
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    EXPECT_TRUE(Dialog().isEnabled());
}

TEST_F(FirmwareHandlerTest, RejectedBlockIsReportedAndTheProgressWindowCloses) {
    ConnectToSimulator();
    m_sim->RejectBlock(3);
    AnswerFileDialog(WriteFirmware(testsupport::SRecordText(testsupport::TestImage(1000))));
    Click(IDC_UPGRADE_FIRMWARE);
    ASSERT_FALSE(Texts().isEmpty());
    EXPECT_EQ(Texts().last(), QString(text::UpgradeFirmwareFailed));
    EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), 0);
    EXPECT_EQ(ShownProgressWindow(), nullptr);
    EXPECT_TRUE(Dialog().isEnabled());
}
