#include "DialogFixture.h"

#include "comm/MessageCodes.h"
#include "platform/FileDialog.h"
#include "res/Texts.h"
#include "ui/QxProgressDlg.h"

#include <QFile>

using namespace res;

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
            m_askedTitle = title;
            m_askedExtension = extension;
            return answer;
        });
    }

    QString WriteFile(const QByteArray& contents) {
        const QString path = m_hives.filePath(QStringLiteral("firmware.hex"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
        return path;
    }

    QString m_askedTitle, m_askedExtension;
};

TEST_F(FirmwareHandlerTest, CancelInTheFileDialogChangesNothing) {
    ConnectToSimulator();
    AnswerFileDialog(std::nullopt);
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(m_askedTitle, QStringLiteral("Select Firmware File"));
    EXPECT_EQ(m_askedExtension, QStringLiteral("hex"));
    EXPECT_EQ(m_messages.count(), 0u);
    EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_BOOT), 0);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
}

TEST_F(FirmwareHandlerTest, FileThatCannotBeReadLeavesTheLinkAndThePollerAlone) {
    ConnectToSimulator();
    AnswerFileDialog(m_hives.filePath(QStringLiteral("missing.hex")));
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(m_messages.texts(), QStringList{QString(text::UnableToOpenFile)});

    m_messages.clear();
    AnswerFileDialog(WriteFile(QByteArray()));
    Click(IDC_UPGRADE_FIRMWARE);
    EXPECT_EQ(m_messages.texts(), QStringList{QString(text::UnableToReadFirmwareFile)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_BOOT), 0);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
}

TEST_F(FirmwareHandlerTest, UpgradeSendsTheImageAndLeavesThePollerStopped) {
    ConnectToSimulator();
    const sim::DeviceIdentity before = m_sim->Identity();
    QByteArray image;
    for (int i = 0; i < 1000; ++i)
        image.append(static_cast<char>(i * 7));
    AnswerFileDialog(WriteFile(SRecordFile(image)));
    Click(IDC_UPGRADE_FIRMWARE);

    EXPECT_EQ(m_messages.texts(), QStringList{QString(text::UpgradeFirmwareSuccessful)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(CQxProgressDlg::LastClosedBar().position, 100) << "a full bar beside the success";
    const auto blocks = m_sim->FirmwareBlocks();
    ASSERT_EQ(blocks.size(), 5u);
    QByteArray received;
    for (const auto& block : blocks)
        received += block.data;
    EXPECT_EQ(received, image);
    EXPECT_NE(m_sim->Identity().execNumber, before.execNumber);
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker()) << "the operator reconnects to see it";
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    EXPECT_TRUE(Dialog().isEnabled());
}

TEST_F(FirmwareHandlerTest, RejectedBlockIsReportedAndTheProgressWindowCloses) {
    ConnectToSimulator();
    m_sim->RejectBlock(3);
    AnswerFileDialog(WriteFile(SRecordFile(QByteArray(1000, '\x5A'))));
    Click(IDC_UPGRADE_FIRMWARE);
    ASSERT_FALSE(m_messages.texts().isEmpty());
    EXPECT_EQ(m_messages.texts().last(), QString(text::UpgradeFirmwareFailed));
    EXPECT_EQ(m_sim->RequestCount(MSG_EXECUTE_EXEC), 0);
    EXPECT_TRUE(Dialog().isEnabled());
}
