#include "WaitFor.h"
#include "platform/TemplateDialog.h"
#include "res/ResourceIds.h"
#include "ui/QxProgressDlg.h"

#include <QLabel>
#include <QProgressBar>
#include <QWidget>

#include <gtest/gtest.h>

using namespace res;

class ProgressDlgTest : public ::testing::Test {
protected:
    void SetUp() override { m_owner.show(); }
    QWidget m_owner;
};

TEST_F(ProgressDlgTest, DisablesItsOwnerWhileShownAndEnablesItOnceWhenClosed) {
    {
        CQxProgressDlg progress(&m_owner, QStringLiteral("Getting Status ID..."), false);
        ASSERT_TRUE(progress.HasWindow());
        EXPECT_FALSE(m_owner.isEnabled());
        EXPECT_EQ(progress.Window()->item<QLabel>(IDC_PROGRESS_CAPTION)->text(),
                  QStringLiteral("Getting Status ID..."));
        EXPECT_TRUE(progress.Window()->item<QLabel>(IDC_PROGRESS_HEADER)->text().isEmpty());
        EXPECT_TRUE(progress.Window()->item<QLabel>(IDC_PROGRESS_STATUS)->text().isEmpty());

        EXPECT_FALSE(progress.Window()->close()) << "the operator cannot close it";
        EXPECT_TRUE(progress.Window()->isVisible());
        EXPECT_FALSE(m_owner.isEnabled());

        progress.OnCancel(); // the operation closes it
        EXPECT_TRUE(m_owner.isEnabled());
        EXPECT_FALSE(progress.HasWindow());
        m_owner.setEnabled(false); // the destructor must not enable the owner a second time
        progress.SetStatusText(QStringLiteral("later")); // no window: does nothing
        progress.SetProgressPos(50);
    }
    EXPECT_FALSE(m_owner.isEnabled());
}

TEST_F(ProgressDlgTest, ProgressPositionIsClampedToTheRange) {
    CQxProgressDlg progress(&m_owner, QStringLiteral("Upgrading Firmware..."), false);
    QProgressBar* bar = progress.ProgressBar();
    ASSERT_NE(bar, nullptr);
    progress.SetProgressPos(150);
    EXPECT_EQ(bar->value(), 100);
    progress.SetProgressPos(-5);
    EXPECT_EQ(bar->value(), 0);
    progress.SetProgressPos(46);
    EXPECT_EQ(bar->value(), 46);
}

TEST_F(ProgressDlgTest, WithoutOwnerNothingIsShownOrDisabled) {
    CQxProgressDlg progress(nullptr, QStringLiteral("Setting Protocol..."));
    EXPECT_FALSE(progress.HasWindow());
    progress.StartStepThread(); // no bar: nothing is targeted, the thread ends at once
    EXPECT_TRUE(g_pStepTarget.isNull());
    EXPECT_TRUE(testsupport::WaitFor([] { return CQxProgressDlg::LiveStepThreads() == 0; }));
    progress.SetCaptionText(QStringLiteral("x"));
    progress.StepProgress();
}

// A settings change's plain window: the stepping thread moves the bar while the GUI thread
// handles events, and closing the window ends the thread. Twice in a row, so that a thread
// left behind by the first window would show.
TEST_F(ProgressDlgTest, StepThreadStepsThePlainBarAndEndsWithItsWindow) {
    for (int round = 0; round < 2; ++round) {
        {
            CQxProgressDlg progress(&m_owner, QStringLiteral("Setting Protocol..."));
            progress.StartStepThread();
            QProgressBar* bar = progress.ProgressBar();
            ASSERT_NE(bar, nullptr);
            EXPECT_EQ(g_pStepTarget, bar);
            QList<int> values{bar->value()};
            ASSERT_TRUE(testsupport::WaitFor([&] {
                if (bar->value() != values.last())
                    values << bar->value();
                return values.size() >= 3;
            }));
            // While the thread drives the bar, the operation's own bar calls do nothing (steps
            // of 10 never reach 55).
            progress.SetProgressPos(55);
            EXPECT_TRUE(progress.IsStepThreadRunning());
            EXPECT_NE(bar->value(), 55);
            EXPECT_EQ(CQxProgressDlg::LiveStepThreads(), 1);
        }
        EXPECT_EQ(CQxProgressDlg::LiveStepThreads(), 0);
        EXPECT_TRUE(g_pStepTarget.isNull());
        EXPECT_TRUE(m_owner.isEnabled());
    }
}
