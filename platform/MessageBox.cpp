#include "MessageBox.h"

#include "res/Texts.h"

#include <cstdio>
#include <mutex>

namespace platform {

namespace {
std::mutex& handlerMutex() {
    static std::mutex mutex;
    return mutex;
}

MessageBoxHandler& installedHandler() {
    static MessageBoxHandler handler;
    return handler;
}
} // namespace

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard lock(handlerMutex());
    MessageBoxHandler previous = std::move(installedHandler());
    installedHandler() = std::move(handler);
    return previous;
}

void ShowMessageBox(const MessageBoxRequest& request) {
    MessageBoxHandler handler;
    {
        std::lock_guard lock(handlerMutex());
        handler = installedHandler();
    }
    if (handler) {
        handler(request);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", qPrintable(request.caption), qPrintable(request.text));
}

void ShowAppMessage(const QString& text, MessageIcon icon, int helpContext) {
    ShowMessageBox({text, QString(res::text::AppName), icon, helpContext});
}

} // namespace platform
