#include "platform/QtMessageBoxHandler.h"
#include "platform/MessageBox.h"

#include "WaitFor.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using platform::MessageIcon;

namespace {

// Waits for the modal box (it runs its own event loop, so a timer looks for it), notes what
// it shows, whether the caller had already returned, and presses OK.
struct BoxCloser {
    explicit BoxCloser(const std::atomic<bool>& callerReturned) {
        QObject::connect(&timer, &QTimer::timeout, &timer, [this, &callerReturned] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible())
                return;
            timer.stop();
            shown = {box->text(), box->windowTitle(), box->icon(), box->parentWidget()};
            callerReturnedWhileOpen = callerReturned.load();
            QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        });
        timer.start(10);
    }
    std::tuple<QString, QString, QMessageBox::Icon, QWidget*> shown;
    bool callerReturnedWhileOpen = false;
    QTimer timer;
};

// The program's boxes belong to the active window; a system error has no owner. A box
// a worker asks for shows on the GUI thread and holds the worker until it is closed.
TEST(QtMessageBoxHandlerTest, IconsOwnersAndBoxesFromAWorker) {
    platform::InstallQtMessageBoxHandler();
    QWidget window;
    window.show();
    const QString app = QStringLiteral("DELVOR RivivozUzuvod");
    const QString system = QStringLiteral("Error");
    const std::tuple<QString, MessageIcon, QMessageBox::Icon, QWidget*, bool> cases[] = {
        {app, MessageIcon::Information, QMessageBox::Information, &window, false},
        {app, MessageIcon::Warning, QMessageBox::Warning, &window, false},
        {system, MessageIcon::Error, QMessageBox::Critical, nullptr, false},
        {app, MessageIcon::Error, QMessageBox::Critical, &window, true}, // from a worker
    };
    for (const auto& [caption, icon, shownIcon, owner, fromWorker] : cases) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        std::atomic<bool> returned{false};
        BoxCloser closer(returned);
        if (fromWorker) {
            std::thread worker([&] {
                platform::ShowAppMessage(QStringLiteral("text"), icon);
                returned = true;
            });
            const bool done = testsupport::WaitFor([&] { return returned.load(); }, 10000);
            worker.join();
            ASSERT_TRUE(done);
        } else {
            platform::ShowMessageBox({QStringLiteral("text"), caption, icon, 0});
        }
        EXPECT_FALSE(closer.callerReturnedWhileOpen);
        EXPECT_EQ(closer.shown, std::tuple(QStringLiteral("text"), caption, shownIcon, owner))
            << qPrintable(caption) << fromWorker;
    }
    platform::SetMessageBoxHandler(nullptr);
}

} // namespace
