#include "DialogFixture.h"
#include "ui/QxProgressDlg.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QWindow>

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override { m_owner.show(); }
    QWidget m_owner;
};

TEST_F(ProgressDlgTest, DisablesItsOwnerWhileShownAndEnablesItOnceWhenClosed) {
    {
        CQxProgressDlg progress(&m_owner, QStringLiteral("Getting Status ID..."), false);
        platform::TemplateDialog* window = progress.Window();
        ASSERT_NE(window, nullptr);
        EXPECT_FALSE(m_owner.isEnabled());
        EXPECT_EQ(window->windowHandle()->transientParent(), m_owner.windowHandle());
        EXPECT_EQ(window->geometry().center(), m_owner.geometry().center());
        EXPECT_TRUE(progress.ProgressBar()->isTextVisible()) << "the operation's bar shows %";
        QStringList lines;
        for (const int id : {IDC_PROGRESS_HEADER, IDC_PROGRESS_CAPTION, IDC_PROGRESS_STATUS})
            lines << window->item<QLabel>(id)->text();
        EXPECT_EQ(lines.join(u'|'), QStringLiteral("|Getting Status ID...|"));
        for (const auto& [asked, shown] : {std::pair{150, 100}, std::pair{-5, 0}, {46, 46}}) {
            progress.SetProgressPos(asked); // clamped to the bar's range
            EXPECT_EQ(progress.ProgressBar()->value(), shown) << asked;
        }

        progress.OnCancel(); // the operation closes it
        EXPECT_TRUE(m_owner.isEnabled());
        EXPECT_FALSE(progress.HasWindow());
        m_owner.setEnabled(false); // the destructor must not enable the owner a second time
        progress.SetStatusText(QStringLiteral("later")); // no window: does nothing
        progress.SetProgressPos(50);
    }
    EXPECT_FALSE(m_owner.isEnabled());
}

// A settings change's plain window: the stepping thread moves the bar every 100 ms while the GUI
// thread handles events, and closing the window ends the thread. Twice in a row, so that a thread
// left behind by the first window would show.
TEST_F(ProgressDlgTest, StepThreadStepsThePlainBarAndEndsWithItsWindow) {
    for (int round = 0; round < 2; ++round) {
        {
            CQxProgressDlg progress(&m_owner, QStringLiteral("Setting Protocol..."));
            progress.StartStepThread();
            QProgressBar* bar = progress.ProgressBar();
            EXPECT_EQ(g_pStepTarget, bar);
            EXPECT_FALSE(bar->isTextVisible());
            QElapsedTimer clock;
            clock.start();
            QSignalSpy moves(bar, &QProgressBar::valueChanged);
            ASSERT_TRUE(testsupport::WaitFor([&] { return moves.count() >= 5; }));
            const double pace = double(clock.elapsed()) / moves.count(); // the first after one
            EXPECT_GT(pace, 50) << "a step every 100 ms";
            EXPECT_LT(pace, 250);
            // While the thread drives the bar, the operation's own bar calls do nothing (steps
            // of 10 never reach 55).
            progress.SetProgressPos(55);
            EXPECT_NE(bar->value(), 55);
        }
        EXPECT_TRUE(g_pStepTarget.isNull());
        EXPECT_TRUE(m_owner.isEnabled());
    }
}
