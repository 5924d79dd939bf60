#include "DialogFixture.h"

#include "platform/GuiThread.h"
#include "ui/PeriodicThread.h"

#include <atomic>
#include <memory>

using namespace std::chrono_literals;

class PollerTest : public DialogFixture {};

TEST_F(PollerTest, StopsSilentlyWhenTheDeviceNoLongerReportsItselfValid) {
    ConnectToSimulator();
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    ASSERT_TRUE(testsupport::WaitFor([&] { return !Dialog().m_StatusPoller.IsPolling(); }, 8000));
    EXPECT_FALSE(Dialog().m_commInterface.m_bConnected);
    EXPECT_EQ(m_messages.count(), 0u);
    EXPECT_TRUE(PollingHasStopped());
}

// The first poll goes at once, the next ones a second after the one before, as the device
// sees them arrive.
TEST_F(PollerTest, PollsEverySecondReportsAVanishedDeviceAndRecoversWhenItReturns) {
    ConnectToSimulator();
    const QString readOut = Text(IDC_RESOLVER_POSITION);
    const auto statusRequests = [&](int n) { return m_sim->RequestCount(MSG_GET_STATUS_ID) >= n; };
    ASSERT_TRUE(testsupport::WaitFor([&] { return statusRequests(4); }, 8000));
    std::vector<std::chrono::steady_clock::time_point> arrived;
    for (const sim::ReceivedRequest& request : m_sim->Requests())
        if (request.code == MSG_GET_STATUS_ID)
            arrived.push_back(request.received);
    const auto gapMs = [&](int i) { return (arrived[i + 1] - arrived[i]) / 1ms; };
    EXPECT_LT(gapMs(0), 700) << "read-out, then the first poll";
    for (const int i : {1, 2}) {
        EXPECT_GT(gapMs(i), 600) << i;
        EXPECT_LT(gapMs(i), 2500) << i;
    }
    EXPECT_TRUE(testsupport::WaitFor([&] { return Text(IDC_RESOLVER_POSITION) != readOut; }));
    EXPECT_EQ(m_messages.count(), 0u);
    m_sim->Stop(); // the device goes away: its connections close, nothing listens
    ASSERT_TRUE(testsupport::WaitFor([&] { return m_messages.count() > 0; }, 15000));
    EXPECT_TRUE(Dialog().m_StatusPoller.IsPolling()) << "polling goes on after a failed request";
    ASSERT_TRUE(m_sim->Start());
    const int before = m_sim->RequestCount(MSG_GET_STATUS_ID);
    ASSERT_TRUE(testsupport::WaitFor([&] { return statusRequests(before + 2); }, 15000));
}

// The window closes while a poll waits for a silent device; the program then ends (the
// dialog goes), which waits for the poll's time-out. Its box would stand alone on the screen.
TEST_F(PollerTest, APollUnderWayWhenTheWindowClosesShowsNoBox) {
    ConnectToSimulator();
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NoReply());
    // Received is read before applied, so that a request answered between the two reads
    // cannot look unanswered.
    const auto pollUnanswered = [&] {
        const int received = m_sim->RequestCount(MSG_GET_STATUS_ID);
        return received > m_sim->AppliedCount(MSG_GET_STATUS_ID);
    };
    ASSERT_TRUE(testsupport::WaitFor(pollUnanswered, 5000));
    ASSERT_EQ(m_messages.count(), 0u);
    ASSERT_TRUE(Dialog().close());
    m_dialog.reset(); // returns once the worker has ended
    EXPECT_EQ(Texts(), QStringList());
}

// The worker machinery on its own, with a callback that counts its calls.
namespace {
struct CallLog {
    int stopAfter = -1; // this call asks `poller` to stop
    CPeriodicThread* poller = nullptr;
    std::atomic<int> calls{0};
};

int CountCall(void* context) {
    auto* log = static_cast<CallLog*>(context);
    if (++log->calls == log->stopAfter)
        log->poller->RequestStop();
    return 0;
}

// The log's count stays as it is for 100 ms: no worker calls it any more.
bool Frozen(const CallLog& log) {
    const int calls = log.calls;
    return !testsupport::WaitFor([&] { return log.calls != calls; }, 100);
}
} // namespace

// The poll period is measured where the device sees it (above).
TEST(PeriodicThreadTest, AStartReplacesTheWorkerAndStopWakesItFromItsWait) {
    CPeriodicThread poller;
    CallLog first, hourly;
    poller.StartWith(&CountCall, &first, 20);
    ASSERT_TRUE(testsupport::WaitFor([&] { return first.calls >= 2; }));
    poller.StartWith(&CountCall, &hourly, 60 * 60 * 1000);
    ASSERT_TRUE(testsupport::WaitFor([&] { return hourly.calls == 1; })) << "at once";
    EXPECT_TRUE(Frozen(first)) << "the first worker has ended";
    poller.Stop(); // wakes the worker from its hour-long wait
    EXPECT_FALSE(poller.HasWorker());
    EXPECT_EQ(hourly.calls, 1);

    // A callback that asks to stop ends the loop; the ended worker stays until the next Stop.
    CallLog stopping{2, &poller};
    poller.StartWith(&CountCall, &stopping, 5);
    ASSERT_TRUE(testsupport::WaitFor([&] { return !poller.IsPolling(); }));
    EXPECT_EQ(stopping.calls, 2);
    EXPECT_TRUE(poller.HasWorker());
    poller.Stop();
    EXPECT_FALSE(poller.HasWorker());
}

// While Stop waits for a busy worker, a queued event starts the poller and stops it again:
// the start is refused, the inner Stop ends the same worker, the outer one returns.
TEST(PeriodicThreadTest, StopAndStartEnteredDuringAStopAreSafe) {
    CPeriodicThread poller;
    platform::ManualResetEvent release;
    ASSERT_TRUE(poller.StartWith(
        [](void* event) {
            static_cast<platform::ManualResetEvent*>(event)->Wait(std::chrono::milliseconds(-1));
            return 0;
        },
        &release, 1000));
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
    EXPECT_TRUE(poller.StartWith(&CountCall, &log, 10)) << "once stopped it starts again";
}

// The worker queues its update for the window and ends while Stop waits for it: Stop returns
// with the update done. Queued for a window that is gone, nothing runs.
TEST(PeriodicThreadTest, WhatTheWorkerQueuedIsDoneWhenStopReturns) {
    struct Shared {
        CPeriodicThread poller;
        platform::ManualResetEvent release;
        std::unique_ptr<QObject> window = std::make_unique<QObject>();
        std::unique_ptr<QObject> closedWindow = std::make_unique<QObject>();
        int shown = 0;
        int shownOnClosed = 0;
    } shared;
    ASSERT_TRUE(shared.poller.StartWith(
        [](void* context) {
            auto& s = *static_cast<Shared*>(context);
            s.release.Wait(std::chrono::milliseconds(-1));
            platform::PostToGuiThread(s.closedWindow.get(), [&s] { ++s.shownOnClosed; });
            platform::PostToGuiThread(s.window.get(), [&s] { ++s.shown; });
            s.poller.RequestStop();
            return 0;
        },
        &shared, 1000));
    QTimer::singleShot(0, [&] {
        shared.closedWindow.reset();
        shared.release.Set();
    });
    shared.poller.Stop();
    EXPECT_EQ(shared.shown, 1);
    EXPECT_EQ(shared.shownOnClosed, 0);
}
