#pragma once

#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"
#include "WaitFor.h"
#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"
#include "platform/FileDialog.h"
#include "platform/IpAddressCtrl.h"
#include "platform/RegistrySettings.h"
#include "res/ResourceIds.h"
#include "ui/DELVOREncoderDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

using namespace res;

// The main dialog on screen (offscreen), its own simulated encoder on a loopback address of
// this test's own, registry hives in a temporary folder, and every message box recorded.
// It also notes each progress window's caption as it showed, and what its bar showed as it
// closed.
class DialogFixture : public ::testing::Test, public QObject {
protected:
    static constexpr auto kArea = testsupport::LoopbackArea::Ui;

    void SetUp() override {
        DeviceData = {};
        ASSERT_TRUE(m_hives.isValid());
        for (const char* hive : {"HKCU", "HKLM"})
            qputenv(QByteArray("RIVIVOZUZUVOD_") + hive + "_DIR",
                    QFile::encodeName(m_hives.filePath(QLatin1String(hive))));
        ASSERT_TRUE(CreateSettingsKey()); // as start-up does
        m_address = testsupport::UniqueLoopbackAddress(kArea);
        StartSimulator(0x21);
        qApp->installEventFilter(this);
    }

    void TearDown() override {
        platform::SetOpenFileAnswer({});
        qApp->removeEventFilter(this);
        m_probeTimer.reset();
        m_dialog.reset();
        m_sim.reset();
    }

    bool eventFilter(QObject* object, QEvent* event) override {
        auto* window = qobject_cast<platform::TemplateDialog*>(object);
        if (!window || window->templateId() != IDD_PROGRESS)
            return false;
        auto* bar = window->item<QProgressBar>(IDC_PROGRESS_BAR);
        if (event->type() == QEvent::Show || event->type() == QEvent::Hide)
            m_progress = event->type() == QEvent::Show ? window : nullptr;
        if (event->type() == QEvent::Show)
            m_captions << window->item<QLabel>(IDC_PROGRESS_CAPTION)->text();
        if (event->type() == QEvent::Hide)
            m_barAtClose = QStringLiteral("%1/%2").arg(bar->value()).arg(bar->maximum());
        if (event->type() == QEvent::Show) // each move of the bar, with the caption shown then
            QObject::connect(bar, &QProgressBar::valueChanged, this, [this, window] {
                m_barMoves << window->item<QLabel>(IDC_PROGRESS_CAPTION)->text();
            });
        return false;
    }

    void StartSimulator(BYTE protocolByte) {
        sim::SimulatorConfig config = testsupport::SimulatorConfigAt(m_address);
        config.protocolByte = protocolByte;
        m_sim = std::make_unique<sim::CEncoderSimulator>(config);
        ASSERT_TRUE(testsupport::Started(*m_sim));
    }

    CDELVOREncoderDlg& Dialog() {
        if (!m_dialog) {
            m_dialog = std::make_unique<CDELVOREncoderDlg>();
            m_dialog->show();
            m_dialog->activateWindow();
            EXPECT_TRUE(QTest::qWaitForWindowActive(m_dialog.get()));
        }
        return *m_dialog;
    }

    void Click(int controlId) { Dialog().item<QPushButton>(controlId)->click(); }

    void ConnectTo(const QString& address) {
        Dialog().m_ipTargetDevice->SetWindowText(address);
        Click(IDC_CONNECT);
    }

    // Connects to this test's simulator and expects a clean read-out.
    void ConnectToSimulator() {
        ConnectTo(m_address);
        ASSERT_TRUE(Dialog().m_StatusPoller.HasWorker()) << Texts().join(u'|').toStdString();
    }

    // How many of the eight device controls are enabled.
    int DeviceControls() {
        int enabled = 0;
        for (const int id :
             {IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_CHANGE_PROTOCOL, IDC_SET_NEW_IP,
              IDC_UPGRADE_FIRMWARE, IDC_PROTOCOL_COMBO, IDC_CHANGE_MODE})
            enabled += Dialog().GetDlgItem(id)->isEnabled();
        return enabled;
    }

    QString Text(int id) { return Dialog().GetDlgItem(id)->property("text").toString(); }
    QStringList Texts() const { return m_messages.texts(); }
    platform::MessageIcon Icon(std::size_t i) const { return m_messages.messages().at(i).icon; }

    QString Stored() {
        QString stored;
        ReadRegistryString(QStringLiteral("DeviceIP"), stored);
        return stored;
    }

    // No status request reaches the device for 1.5 poll periods: no worker polls any more.
    bool PollingHasStopped() {
        const int polls = m_sim->RequestCount(MSG_GET_STATUS_ID);
        return !testsupport::WaitFor([&] { return m_sim->RequestCount(MSG_GET_STATUS_ID) > polls; },
                                     1500);
    }

    // The file dialog answers at once; m_asked notes its "title|extension".
    void AnswerFileDialog(std::optional<QString> answer) {
        platform::SetOpenFileAnswer([this, answer](const QString& title, const QString& extension) {
            m_asked = title + u'|' + extension;
            return answer;
        });
    }

    QString WriteFirmware(const QByteArray& contents) {
        const QString path = m_hives.filePath(QStringLiteral("firmware.hex"));
        EXPECT_TRUE(testsupport::WriteFile(path, contents));
        return path;
    }

    // Once the next operation's progress window shows, the operator tries to close the main
    // window, then the progress window (m_probe: "1" for each that closed, "0" for each that
    // stayed), and clicks reach Connect and Change Mode. The timer lives in the fixture: it
    // may still fire after a test's loop turn ends.
    void ProbeWhileBusy() {
        m_probe.clear();
        m_probeTimer = std::make_unique<QTimer>();
        QObject::connect(m_probeTimer.get(), &QTimer::timeout, m_probeTimer.get(), [this] {
            if (!m_probe.isEmpty() || !Dialog().IsOperationRunning() || m_progress.isNull())
                return;
            m_probe = QString::number(Dialog().close());
            m_probe += QString::number(m_progress->close());
            Dialog().OnConnect();
            Dialog().OnChangeMode();
        });
        m_probeTimer->start(5);
    }

    QTemporaryDir m_hives;
    std::unique_ptr<QTimer> m_probeTimer;
    QString m_address, m_probe, m_asked;
    QPointer<platform::TemplateDialog> m_progress; // the progress window shown
    QString m_barAtClose;                          // "value/maximum"
    QStringList m_barMoves;
    QStringList m_captions; // of the progress windows, as each showed
    testsupport::MessageRecorder m_messages;
    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    std::unique_ptr<CDELVOREncoderDlg> m_dialog;
};
