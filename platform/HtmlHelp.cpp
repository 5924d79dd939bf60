#include "HtmlHelp.h"

#include "platform/HelpWindow.h"

#include <QPointer>
#include <QWindow>

namespace platform {

namespace {
// The window system keeps the help window above its owner's window, as an owned window.
void KeepAbove(QWidget* window, QWidget* owner) {
    window->winId();
    owner->window()->winId();
    if (QWindow* handle = window->windowHandle())
        handle->setTransientParent(owner->window()->windowHandle());
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
            KeepAbove(window, owner);
        }
    }
    window->OpenFile(path);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace platform
