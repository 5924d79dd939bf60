#include "HtmlHelp.h"

#include "platform/HelpWindow.h"

#include <QPointer>
#include <QScreen>
#include <QWindow>

namespace platform {

namespace {
constexpr int kGap = 8;

// The owner's window is the help window's transient parent: a modal owner (the main dialog
// runs modally) then does not block the operator's input to help.
void BelongTo(QWidget* window, QWidget* owner) {
    window->winId();
    owner->window()->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(owner->window()->windowHandle());
}

// Beside the owner's window where the screen has room, so that both stay readable.
void PlaceBeside(QWidget* window, const QWidget* owner) {
    const QRect ownerFrame = owner->window()->frameGeometry();
    QRect place(ownerFrame.topRight() + QPoint(kGap, 0), window->size());
    if (const QScreen* screen = owner->screen()) {
        const QRect available = screen->availableGeometry();
        place.moveRight(qMin(place.right(), available.right()));
        place.moveBottom(qMin(place.bottom(), available.bottom()));
        place.moveTopLeft(
            QPoint(qMax(place.left(), available.left()), qMax(place.top(), available.top())));
    }
    window->move(place.topLeft());
}
} // namespace

HelpWindow* HtmlHelp(QWidget* owner, const QString& path) {
    static QPointer<HelpWindow> window;
    static QPointer<QWidget> windowOwner;
    if (window != nullptr && windowOwner != owner) {
        HelpWindow* previous = window;
        window = nullptr;
        previous->close(); // deleted on close
    }
    if (window == nullptr) {
        // No parent widget: a child window would be disabled with its owner, and the operator
        // reads help while an operation keeps the owner disabled.
        window = new HelpWindow(nullptr);
        window->setAttribute(Qt::WA_DeleteOnClose);
        windowOwner = owner;
        if (owner != nullptr) {
            QObject::connect(owner, &QObject::destroyed, window, &QWidget::close);
            BelongTo(window, owner);
            PlaceBeside(window, owner);
        }
    }
    window->OpenFile(path);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace platform
