#pragma once

#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "WaitFor.h"
#include "app/RegistrySettings.h"
#include "comm/DeviceData.h"
#include "platform/IpAddressCtrl.h"
#include "res/ResourceIds.h"
#include "sim/EncoderSimulator.h"
#include "ui/DELVOREncoderDlg.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

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

    QTemporaryDir m_hives;
    QString m_address;
    testsupport::MessageRecorder m_messages;
    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    std::unique_ptr<CDELVOREncoderDlg> m_dialog;
};
