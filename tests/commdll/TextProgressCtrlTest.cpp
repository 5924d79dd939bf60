#include "commdll/TextProgressCtrl.h"

#include "WaitFor.h"

#include <gtest/gtest.h>

#include <QDialog>
#include <QProgressBar>
#include <QThread>

namespace {

struct BarInDialog {
    BarInDialog() {
        bar = new QProgressBar(&dialog);
        bar->setProperty("controlId", 1630);
        other = new QProgressBar(&dialog);
        other->setProperty("controlId", 1631);
    }
    QDialog dialog;
    QProgressBar* bar;
    QProgressBar* other;
};

// A control attached to a bar of its own, as most cases want it.
class AttachedTextProgressCtrl : public ::testing::Test {
protected:
    AttachedTextProgressCtrl() { m_progress.Attach(&m_bar); }

    QProgressBar m_bar;
    CTextProgressCtrl m_progress;
};

} // namespace

TEST(TextProgressCtrl, AttachesToTheBarWithTheControlId) {
    BarInDialog window;
    CTextProgressCtrl progress;
    EXPECT_FALSE(progress.SubclassDlgItem(999, &window.dialog));
    EXPECT_FALSE(progress.SubclassDlgItem(1630, nullptr));
    ASSERT_TRUE(progress.SubclassDlgItem(1630, &window.dialog));
    EXPECT_EQ(progress.Bar(), window.bar);
    progress.SetRange(0, 4);
    progress.SetPos(3);
    EXPECT_EQ(window.bar->maximum(), 4);
    EXPECT_EQ(window.bar->value(), 3);
    EXPECT_EQ(window.other->value(), -1); // untouched: still without a position
}

TEST_F(AttachedTextProgressCtrl, StepItWrapsPastTheMaximum) {
    struct Row {
        int lower, upper, step, start;
        std::vector<int> positions; // after each StepIt
    };
    const Row rows[] = {
        {0, 100, 10, 80, {90, 100, 10, 20}},
        {0, 100, 30, 50, {80, 10, 40}},
        {0, 4, 1, 0, {1, 2, 3, 4, 1}},
        {10, 20, 4, 18, {12, 16, 20, 14}},
    };
    for (const auto& row : rows) {
        m_progress.SetRange(row.lower, row.upper);
        m_progress.SetStep(row.step);
        m_progress.SetPos(row.start);
        for (int expected : row.positions) {
            m_progress.StepIt();
            EXPECT_EQ(m_bar.value(), expected)
                << row.lower << ".." << row.upper << " step " << row.step;
        }
    }
}

TEST_F(AttachedTextProgressCtrl, SetPosStaysInsideTheRange) {
    m_progress.SetRange(0, 100);
    m_progress.SetPos(250);
    EXPECT_EQ(m_bar.value(), 100);
    m_progress.SetPos(-5);
    EXPECT_EQ(m_bar.value(), 0);
}

TEST_F(AttachedTextProgressCtrl, ShowsItsWindowTextOnlyWhenAsked) {
    EXPECT_FALSE(m_bar.isTextVisible());
    m_progress.SetShowText(true);
    m_progress.SetWindowText(QStringLiteral("42%"));
    EXPECT_TRUE(m_bar.isTextVisible());
    EXPECT_EQ(m_bar.text(), QStringLiteral("42%"));
    m_progress.SetShowText(false);
    EXPECT_FALSE(m_bar.isTextVisible());
}

TEST_F(AttachedTextProgressCtrl, CallsFromAnotherThreadReachTheBar) {
    m_progress.SetRange(0, 100);
    m_progress.SetPos(0);
    m_progress.SetStep(5);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        for (int i = 0; i < 3; ++i)
            m_progress.StepIt();
    }));
    worker->start();
    EXPECT_TRUE(testsupport::WaitFor([&] { return m_bar.value() == 15; }));
    worker->wait();
}

TEST(TextProgressCtrl, WithoutABarNothingHappens) {
    CTextProgressCtrl progress;
    progress.SetRange(0, 10);
    progress.StepIt();
    progress.SetWindowText(QStringLiteral("x"));
    EXPECT_EQ(progress.Bar(), nullptr);
    {
        auto* bar = new QProgressBar;
        progress.Attach(bar);
        delete bar;
    }
    progress.StepIt(); // the bar is gone: no access
    EXPECT_EQ(progress.Bar(), nullptr);
}
