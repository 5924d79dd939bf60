#include "DialogFixture.h"

#include "platform/ThreadStart.h"

// One device operation at a time: while one runs, a second one does not start, neither the
// main window nor the progress window closes, and no worker is left behind.
class OperationSafetyTest : public DialogFixture {
protected:
    void SetUp() override {
        DialogFixture::SetUp();
        m_sim->SetRestartAwayMs(200);
        AnswerFileDialog(WriteFirmware(testsupport::SRecordText(testsupport::TestImage(300))));
    }

    void TearDown() override {
        platform::FailNextThreadStarts(0);
        DialogFixture::TearDown();
    }
};

TEST_F(OperationSafetyTest, NoSecondOperationAndNoCloseWhileOneRuns) {
    // The request answered late, so that the operation is still running; the MAC requests of
    // the operation itself; the message boxes it shows.
    for (const auto& [name, button, slowRequest, readOuts, messages] :
         {std::tuple{"Connect", IDC_CONNECT, MSG_GET_PARAMS, 1, 0},
          std::tuple{"Set New IP Address", IDC_SET_NEW_IP, MSG_SET_ETHERNET_PARAMS, 1, 1},
          std::tuple{"Change Protocol", IDC_CHANGE_PROTOCOL, MSG_SET_ETHERNET_PARAMS, 1, 1},
          std::tuple{"Change Mode", IDC_CHANGE_MODE, MSG_SET_ETHERNET_PARAMS, 1, 1},
          std::tuple{"Upgrade Firmware", IDC_UPGRADE_FIRMWARE, MSG_EXECUTE_BOOT, 0, 1}}) {
        SCOPED_TRACE(name);
        ConnectToSimulator();
        m_messages.clear();
        m_sim->SetFault(slowRequest, sim::Fault::SlowReply(300, false));
        const int readOutsBefore = m_sim->RequestCount(MSG_GET_MAC_ID);
        ProbeWhileBusy();
        m_barMoves.clear();
        Click(button);
        if (slowRequest == MSG_SET_ETHERNET_PARAMS) { // the bar steps while the device is set
            EXPECT_FALSE(m_barMoves.filter(QStringLiteral("Setting ")).isEmpty());
        }
        EXPECT_EQ(m_probe, u"00") << "tried, and neither window closed";
        EXPECT_EQ(m_sim->RequestCount(MSG_GET_MAC_ID) - readOutsBefore, readOuts);
        EXPECT_EQ(m_messages.count(), std::size_t(messages)) << Texts().join(u'|').toStdString();
        EXPECT_FALSE(Dialog().IsOperationRunning());
        EXPECT_TRUE(Dialog().isEnabled());
    }
    EXPECT_TRUE(Dialog().close()) << "once the operation is over the window closes";
}

// The poller waits for a device that has gone silent; Connect is clicked twice, 300 ms apart.
TEST_F(OperationSafetyTest, ConnectTwiceWhileThePollerWaitsForAGoneDevice) {
    ConnectToSimulator();
    const int polls = m_sim->RequestCount(MSG_GET_STATUS_ID);
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NoReply(false));
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return m_sim->RequestCount(MSG_GET_STATUS_ID) > polls; }));
    QTimer::singleShot(300, &Dialog(), [this] { Click(IDC_CONNECT); });
    Click(IDC_CONNECT);
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    EXPECT_EQ(m_sim->RequestCount(MSG_GET_MAC_ID), 2) << "one read-out each for two Connects";
    m_dialog.reset();
    EXPECT_TRUE(PollingHasStopped());
}

TEST_F(OperationSafetyTest, WithoutThreadsPollerAndSteppingBarSimplyDoNotRun) {
    platform::FailNextThreadStarts(1);
    ConnectTo(m_address);
    EXPECT_EQ(m_messages.count(), 0u);
    EXPECT_TRUE(Dialog().m_btnChangeProtocol->isEnabled());
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());

    platform::FailNextThreadStarts(2); // the stepping bar, then the poller after the reconnect
    Click(IDC_CHANGE_MODE);
    EXPECT_EQ(m_messages.texts(), QStringList{QStringLiteral("Change Resolver Mode successful.")});
    EXPECT_FALSE(Dialog().m_StatusPoller.HasWorker());
}
