#pragma once

#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "WaitFor.h"
#include "comm/DeviceData.h"
#include "platform/IpAddressCtrl.h"
#include "platform/RegistrySettings.h"
#include "res/ResourceIds.h"
#include "sim/EncoderSimulator.h"
#include "ui/DELVOREncoderDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

// An S-record file of S1 records, 16 data bytes each, from address 0x1000.
inline QByteArray SRecordFile(const QByteArray& image) {
    QByteArray file = "S00600004844521B\n";
    for (int offset = 0; offset < image.size(); offset += 16) {
        const QByteArray data = image.mid(offset, 16);
        const int address = 0x1000 + offset;
        QByteArray body =
            QByteArray(1, char(data.size() + 3)) + char(address >> 8) + char(address & 0xFF) + data;
        int sum = 0;
        for (const char byte : body)
            sum += static_cast<unsigned char>(byte);
        file += "S1" + (body + char(~sum & 0xFF)).toHex().toUpper() + '\n';
    }
    return file + "S9030000FC\n";
}

// The main dialog on screen (offscreen), its own simulated encoder on a loopback address of
// this test's own, registry hives in a temporary folder, and every message box recorded.
class DialogFixture : public ::testing::Test {
protected:
    static constexpr auto kAddressArea = testsupport::LoopbackArea::Ui;

    void SetUp() override {
        DeviceData = {};
        ASSERT_TRUE(m_hives.isValid());
        qputenv("RIVIVOZUZUVOD_HKCU_DIR",
                QFile::encodeName(m_hives.filePath(QStringLiteral("hkcu"))));
        qputenv("RIVIVOZUZUVOD_HKLM_DIR",
                QFile::encodeName(m_hives.filePath(QStringLiteral("hklm"))));
        ASSERT_TRUE(CreateSettingsKey()); // as start-up does
        m_address = testsupport::UniqueLoopbackAddress(kAddressArea);
        StartSimulator(m_address);
    }

    void TearDown() override {
        m_probeTimer.reset();
        m_dialog.reset();
        m_sim.reset();
    }

    void StartSimulator(const QString& address, BYTE protocolByte = 0x21) {
        sim::SimulatorConfig config = testsupport::SimulatorConfigAt(address);
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

    void Click(int controlId) {
        auto* button = Dialog().item<QPushButton>(controlId);
        ASSERT_NE(button, nullptr);
        button->click();
    }

    void ConnectTo(const QString& address) {
        Dialog().m_ipTargetDevice->SetWindowText(address);
        Click(res::IDC_CONNECT);
    }

    // Connects to this test's simulator and expects a clean read-out.
    void ConnectToSimulator() {
        ConnectTo(m_address);
        ASSERT_TRUE(Dialog().m_StatusPoller.HasWorker())
            << m_messages.texts().join(u'|').toStdString();
    }

    QString Text(int controlId) {
        QWidget* control = Dialog().GetDlgItem(controlId);
        return control ? control->property("text").toString() : QString();
    }

    // What was tried once while an operation ran with its progress window shown.
    struct BusyProbe {
        bool fired = false;
        bool mainClosed = false;
        bool progressClosed = false;
    };

    // From the next operation's progress window on: the operator tries to close the main
    // window and the progress window, and clicks reach Connect and Change Mode.
    void ProbeWhileBusy(BusyProbe& probe) {
        m_probeTimer = std::make_unique<QTimer>();
        QObject::connect(m_probeTimer.get(), &QTimer::timeout, m_probeTimer.get(), [this, &probe] {
            platform::TemplateDialog* progress = ShownProgressWindow();
            if (probe.fired || !Dialog().IsOperationRunning() || progress == nullptr)
                return;
            probe.fired = true;
            probe.mainClosed = Dialog().close();
            probe.progressClosed = progress->close();
            Dialog().OnConnect();
            Dialog().OnChangeMode();
        });
        m_probeTimer->start(5);
    }

    static platform::TemplateDialog* ShownProgressWindow() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<platform::TemplateDialog*>(widget);
            if (window && window->isVisible() && window->templateId() == res::IDD_PROGRESS)
                return window;
        }
        return nullptr;
    }

    QTemporaryDir m_hives;
    std::unique_ptr<QTimer> m_probeTimer;
    QString m_address;
    testsupport::MessageRecorder m_messages;
    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    std::unique_ptr<CDELVOREncoderDlg> m_dialog;
};
