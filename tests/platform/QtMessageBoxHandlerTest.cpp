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

// What the box on screen showed, taken while it was open.
struct SeenBox {
    bool seen = false;
    QString text;
    QString title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QWidget* owner = nullptr;
    bool callerReturnedWhileOpen = false;
};

// Waits for the modal box (it runs its own event loop, so a timer looks for it), notes what
// it shows and presses OK.
class BoxCloser {
public:
    explicit BoxCloser(const std::atomic<bool>* callerReturned) : m_callerReturned(callerReturned) {
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { poll(); });
        m_timer.start(10);
    }
    SeenBox seen;

private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible())
            return;
        m_timer.stop();
        seen.seen = true;
        seen.text = box->text();
        seen.title = box->windowTitle();
        seen.icon = box->icon();
        seen.owner = box->parentWidget();
        seen.callerReturnedWhileOpen = m_callerReturned != nullptr && m_callerReturned->load();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    }
    const std::atomic<bool>* m_callerReturned;
    QTimer m_timer;
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
    ASSERT_TRUE(closer.seen.seen);
    EXPECT_FALSE(closer.seen.callerReturnedWhileOpen);
    EXPECT_EQ(closer.seen.text, QStringLiteral("Not a valid Device."));
    EXPECT_EQ(closer.seen.title, QStringLiteral("DELVOR RivivozUzuvod"));
    EXPECT_EQ(closer.seen.icon, QMessageBox::Critical);
}

TEST_F(QtMessageBoxHandlerTest, IconsAndOwnersByKindOfBox) {
    QWidget window;
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    struct Case {
        QString caption;
        platform::MessageIcon icon;
        QMessageBox::Icon shown;
        QWidget* owner;
    };
    const Case cases[] = {
        {QStringLiteral("DELVOR RivivozUzuvod"), platform::MessageIcon::Information,
         QMessageBox::Information, &window},
        {QStringLiteral("DELVOR RivivozUzuvod"), platform::MessageIcon::Warning,
         QMessageBox::Warning, &window},
        {QString(res::text::SystemErrorCaption), platform::MessageIcon::Error,
         QMessageBox::Critical, nullptr},
    };
    for (const Case& c : cases) {
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        BoxCloser closer(nullptr);
        platform::ShowMessageBox({QStringLiteral("text"), c.caption, c.icon, 0});
        ASSERT_TRUE(closer.seen.seen) << qPrintable(c.caption);
        EXPECT_EQ(closer.seen.icon, c.shown) << qPrintable(c.caption);
        EXPECT_EQ(closer.seen.owner, c.owner) << qPrintable(c.caption);
        EXPECT_EQ(closer.seen.title, c.caption);
    }
}

} // namespace
