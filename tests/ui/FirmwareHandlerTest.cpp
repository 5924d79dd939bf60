#include "DialogFixture.h"

#include "comm/MessageCodes.h"
#include "platform/FileDialog.h"
#include "res/Texts.h"
#include "ui/QxProgressDlg.h"

#include <QFile>

#include <sys/stat.h>

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

// Files that must never reach a device: refused with the reader's message before the link
// or the poller is touched, and before boot could erase the device's flash.
TEST_F(FirmwareHandlerTest, DamagedAndForeignFilesAreRefusedBeforeAnythingIsSent) {
    ConnectToSimulator();
    const QString fifo = m_hives.filePath(QStringLiteral("fifo.s19"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    struct Row {
        const char* name;
        std::optional<QByteArray> contents; // none: `path` as it is
        QString path;
        QLatin1String message;
    };
    const auto unreadable = text::UnableToReadFirmwareFile;
    const Row rows[] = {
        {"missing", {}, m_hives.filePath(QStringLiteral("missing.hex")), text::UnableToOpenFile},
        {"folder", {}, m_hives.path(), text::UnableToOpenFile},
        {"FIFO", {}, fifo, text::UnableToOpenFile},
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
        AnswerFileDialog(row.contents ? WriteFile(*row.contents) : row.path);
        Click(IDC_UPGRADE_FIRMWARE);
        EXPECT_EQ(m_messages.texts(), QStringList{QString(row.message)});
        EXPECT_EQ(m_messages.messages().at(0).icon, platform::MessageIcon::Error);
        EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    }
    for (const BYTE code : {MSG_EXECUTE_BOOT, MSG_FIRMWARE_BLOCK, MSG_EXECUTE_EXEC})
        EXPECT_EQ(m_sim->RequestCount(code), 0);
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
