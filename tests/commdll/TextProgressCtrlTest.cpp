#include "commdll/TextProgressCtrl.h"

#include "WaitFor.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>
#include <QProgressBar>

#include <thread>

// Only the bar with the control id moves: past the maximum a step wraps round to the start of
// the range, a position stays inside the range. Calls from another thread reach the bar; its text
// shows only when asked. Once the bar is gone nothing is touched.
TEST(TextProgressCtrl, DrivesTheBarWithItsControlIdUntilItIsGone) {
    QDialog dialog;
    auto* bar = new QProgressBar(&dialog);
    bar->setProperty("controlId", 1630);
    auto* other = new QProgressBar(&dialog);
    other->setProperty("controlId", 1631);
    CTextProgressCtrl progress;
    EXPECT_FALSE(progress.SubclassDlgItem(999, &dialog));
    EXPECT_FALSE(progress.SubclassDlgItem(1630, nullptr));
    ASSERT_TRUE(progress.SubclassDlgItem(1630, &dialog));
    EXPECT_EQ(bar->value(), 0); // a fresh bar starts at its minimum
    EXPECT_FALSE(bar->isTextVisible());
    struct Row {
        int lower, upper, step, start;
        std::vector<int> positions; // after SetPos(start), then after each StepIt
    };
    for (const Row& row :
         {Row{0, 100, 10, 80, {80, 90, 100, 10, 20}}, Row{10, 20, 4, 18, {18, 12, 16, 20, 14}},
          Row{0, 100, 0, 250, {100}}, Row{0, 100, 0, -5, {0}}}) {
        SCOPED_TRACE(row.start);
        progress.SetRange(row.lower, row.upper);
        progress.SetStep(row.step);
        progress.SetPos(row.start);
        EXPECT_EQ(bar->value(), row.positions[0]);
        for (std::size_t i = 1; i < row.positions.size(); ++i) {
            progress.StepIt();
            EXPECT_EQ(bar->value(), row.positions[i]) << "after step " << i;
        }
    }
    std::thread worker([&] {
        progress.SetStep(5);
        progress.StepIt();
        progress.SetShowText(true);
        progress.SetWindowText(QStringLiteral("42%"));
    });
    EXPECT_TRUE(testsupport::WaitFor([&] { return bar->text() == QStringLiteral("42%"); }));
    worker.join();
    EXPECT_EQ(bar->value(), 5);
    EXPECT_TRUE(bar->isTextVisible());
    progress.SetShowText(false);
    EXPECT_FALSE(bar->isTextVisible());
    delete bar;
    progress.StepIt();
    progress.SetWindowText(QStringLiteral("x"));
    EXPECT_EQ(other->value(), -1); // untouched: still without a position
}

// The first move paints the bar at once; moves right after it are painted with the next
// frame, and the bar is left able to paint.
TEST(TextProgressCtrl, QuickMovesArePaintedWithTheNextFrame) {
    struct PaintCounter : QObject {
        bool eventFilter(QObject*, QEvent* event) override {
            paints += event->type() == QEvent::Paint ? 1 : 0;
            return false;
        }
        int paints = 0;
    } counter;
    QProgressBar bar;
    bar.setRange(0, 4);
    bar.resize(200, 20);
    bar.show();
    CTextProgressCtrl progress;
    progress.Attach(&bar);
    progress.SetStep(1);
    QCoreApplication::processEvents();
    bar.installEventFilter(&counter);
    progress.StepIt();
    EXPECT_EQ(counter.paints, 1);
    progress.StepIt();
    progress.StepIt();
    EXPECT_EQ(bar.value(), 3);
    EXPECT_TRUE(bar.updatesEnabled());
    EXPECT_TRUE(testsupport::WaitFor([&] {
        QCoreApplication::processEvents();
        return counter.paints >= 2;
    }));
}
