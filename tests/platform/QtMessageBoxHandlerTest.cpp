#include "platform/QtMessageBoxHandler.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"

#include "WaitFor.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

// Waits for the modal box (it runs its own event loop, so a timer looks for it), notes what
// it shows, whether the caller had already returned, and presses OK.
struct BoxCloser {
    explicit BoxCloser(const std::atomic<bool>* callerReturned = nullptr) {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, callerReturned] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            timer.stop();
            seen = true;
            shown = {box->text(), box->windowTitle(), box->icon(), box->parentWidget()};
            callerReturnedWhileOpen = callerReturned != nullptr && callerReturned->load();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer.start(10);
    }
    std::tuple<QString, QString, QMessageBox::Icon, QWidget*> shown;
    bool seen = false;
    bool callerReturnedWhileOpen = false;
    QTimer timer;
};

class QtMessageBoxHandlerTest : public ::testing::Test {
protected:
    void SetUp() override { platform::InstallQtMessageBoxHandler(); }
    void TearDown() override { platform::SetMessageBoxHandler(nullptr); }
};

TEST_F(QtMessageBoxHandlerTest, BoxFromAWorkerShowsOnTheGuiThreadAndHoldsTheWorker) {
    std::atomic<bool> returned{false};
    BoxCloser closer(&returned);
    std::thread worker([&] {
        platform::ShowAppMessage(QStringLiteral("Not a valid Device."),
                                 platform::MessageIcon::Error);
        returned = true;
    });
    const bool done = testsupport::WaitFor([&] { return returned.load(); }, 10000);
    worker.join();
    ASSERT_TRUE(done);
    ASSERT_TRUE(closer.seen);
    EXPECT_FALSE(closer.callerReturnedWhileOpen);
    EXPECT_EQ(closer.shown, std::tuple(QStringLiteral("Not a valid Device."),
                                       QStringLiteral("DELVOR RivivozUzuvod"),
                                       QMessageBox::Critical, static_cast<QWidget*>(nullptr)));
}

// Information and warnings belong to the active window; a system error has no owner.
TEST_F(QtMessageBoxHandlerTest, IconsAndOwnersByKindOfBox) {
    QWidget window;
    window.show();
    const QString app = QStringLiteral("DELVOR RivivozUzuvod");
    const QString system = QString(res::text::SystemErrorCaption);
    const std::tuple<QString, platform::MessageIcon, QMessageBox::Icon, QWidget*> cases[] = {
        {app, platform::MessageIcon::Information, QMessageBox::Information, &window},
        {app, platform::MessageIcon::Warning, QMessageBox::Warning, &window},
        {system, platform::MessageIcon::Error, QMessageBox::Critical, nullptr},
    };
    for (const auto& [caption, icon, shownIcon, owner] : cases) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        BoxCloser closer;
        platform::ShowMessageBox({QStringLiteral("text"), caption, icon, 0});
        ASSERT_TRUE(closer.seen) << qPrintable(caption);
        EXPECT_EQ(closer.shown, std::tuple(QStringLiteral("text"), caption, shownIcon, owner));
    }
}

} // namespace
