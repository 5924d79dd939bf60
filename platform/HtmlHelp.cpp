#include "HtmlHelp.h"

#include "platform/HelpWindow.h"

#include <QPointer>

namespace platform {

HelpWindow* HtmlHelp(QWidget* owner, const QString& path) {
    static QPointer<HelpWindow> window;
    if (window != nullptr && window->parentWidget() != owner) {
        HelpWindow* previous = window;
        window = nullptr;
        previous->close(); // deleted on close
    }
    if (window == nullptr) {
        window = new HelpWindow(owner);
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->OpenFile(path);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

} // namespace platform
