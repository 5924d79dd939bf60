#include "DialogFixture.h"

#include "comm/MessageCodes.h"
#include "ui/PeriodicThread.h"

#include <QLineEdit>
#include <QTimer>

#include <atomic>

using namespace res;

class PollerTest : public DialogFixture {};

TEST_F(PollerTest, RefreshesPositionAndTimeStampWhileConnected) {
    ConnectToSimulator();
    QStringList positionsSeen{Text(IDC_RESOLVER_POSITION)};
    ASSERT_TRUE(testsupport::WaitFor(
        [&] {
            const QString now = Text(IDC_RESOLVER_POSITION);
            if (now != positionsSeen.last())
                positionsSeen << now;
            return positionsSeen.size() >= 3;
        },
        8000));
    EXPECT_TRUE(Text(IDC_LAST_UPDATED).startsWith(QStringLiteral("Last Updated On:\n")));
    EXPECT_EQ(m_messages.count(), 0u);
}

TEST_F(PollerTest, StopsSilentlyWhenTheDeviceNoLongerReportsItselfValid) {
    ConnectToSimulator();
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    ASSERT_TRUE(testsupport::WaitFor([&] { return !Dialog().m_StatusPoller.IsPolling(); }, 8000));
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    EXPECT_EQ(m_messages.count(), 0u);
    // The ended worker stays until the next Stop; then nothing is left behind.
    Dialog().m_StatusPoller.Stop();
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 0);
}

TEST_F(PollerTest, ReportsAVanishedDeviceAndRecoversWhenItReturns) {
    ConnectToSimulator();
    m_sim->Stop(); // the device goes away: its connections close, nothing listens
    ASSERT_TRUE(m_messages.waitForCount(1, 15000));
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling()) << "polling goes on after a failed request";

    ASSERT_TRUE(m_sim->Start());
    const int before = m_sim->RequestCount(MSG_GET_STATUS_ID);
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return m_sim->RequestCount(MSG_GET_STATUS_ID) >= before + 2; }, 15000));
}

TEST_F(PollerTest, ConnectWhilePollingAndClosingLeaveNoWorkerBehind) {
    ConnectToSimulator();
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 1);
    Click(IDC_CONNECT);
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 1) << "the old worker ends before a new one starts";
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling());
    m_dialog.reset();
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 0);
}

// The worker machinery on its own: first call at once, then a period after each call; a
// callback that asks to stop ends the loop; Stop on an idle poller does nothing.
namespace {
struct CallLog {
    std::atomic<int> calls{0};
    std::atomic<int> stopAfter{-1};
    CPeriodicThread* poller = nullptr;
};

int WaitForRelease(void* context) {
    static_cast<platform::ManualResetEvent*>(context)->Wait(std::chrono::milliseconds(-1));
    return 0;
}

int CountCall(void* context) {
    auto* log = static_cast<CallLog*>(context);
    const int calls = ++log->calls;
    if (calls == log->stopAfter)
        log->poller->RequestStop();
    return 0;
}
} // namespace

TEST(PeriodicThreadTest, CallsAtOnceThenEveryPeriodUntilStopped) {
    CPeriodicThread poller;
    poller.Stop(); // idle: nothing happens
    EXPECT_FALSE(poller.HasWorker());

    CallLog log;
    log.poller = &poller;
    poller.StartWith(&CountCall, &log, 20);
    ASSERT_TRUE(testsupport::WaitFor([&] { return log.calls >= 3; }));
    poller.StartWith(&CountCall, &log, 20); // a second start replaces the worker
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 1);
    poller.Stop();
    EXPECT_FALSE(poller.HasWorker());
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 0);
}

TEST(PeriodicThreadTest, CallbackThatAsksToStopEndsTheLoop) {
    CPeriodicThread poller;
    CallLog log;
    log.poller = &poller;
    log.stopAfter = 2;
    poller.StartWith(&CountCall, &log, 5);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !poller.IsPolling(); }));
    EXPECT_EQ(log.calls, 2);
    EXPECT_TRUE(poller.HasWorker()) << "an ended worker is kept until the next Stop";
    poller.Stop();
    EXPECT_FALSE(poller.HasWorker());
}

TEST(PeriodicThreadTest, FirstCallComesAtOnceNotAfterAPeriod) {
    CPeriodicThread poller;
    CallLog log;
    log.poller = &poller;
    poller.StartWith(&CountCall, &log, 60 * 60 * 1000);
    ASSERT_TRUE(testsupport::WaitFor([&] { return log.calls == 1; }));
    poller.Stop(); // wakes the worker from its hour-long wait
    EXPECT_EQ(log.calls, 1);
}

// While Stop waits for a busy worker, a queued event starts the poller and stops it again:
// the start is refused, the inner Stop ends the same worker, the outer one returns.
TEST(PeriodicThreadTest, StopAndStartEnteredDuringAStopAreSafe) {
    CPeriodicThread poller;
    platform::ManualResetEvent release;
    ASSERT_TRUE(poller.StartWith(&WaitForRelease, &release, 1000));
    CallLog log;
    bool startedMeanwhile = true;
    QTimer::singleShot(0, [&] {
        startedMeanwhile = poller.StartWith(&CountCall, &log, 10);
        QTimer::singleShot(20, [&] { release.Set(); });
        poller.Stop();
    });
    poller.Stop();
    EXPECT_FALSE(startedMeanwhile);
    EXPECT_EQ(log.calls, 0);
    EXPECT_FALSE(poller.HasWorker());
    EXPECT_EQ(CPeriodicThread::LiveWorkers(), 0);
    EXPECT_TRUE(poller.StartWith(&CountCall, &log, 10)) << "once stopped it starts again";
}
