#include "QtMessageBoxHandler.h"

#include "platform/GuiThread.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"

#include <QApplication>
#include <QMessageBox>

namespace platform {

namespace {

QMessageBox::Icon toQtIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Information:
        return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

void showBox(const MessageBoxRequest& request) {
    const bool systemBox = request.caption == res::text::SystemErrorCaption;
    QWidget* owner = systemBox ? nullptr : QApplication::activeWindow();
    QMessageBox box(toQtIcon(request.icon), request.caption, request.text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void InstallQtMessageBoxHandler() {
    SetMessageBoxHandler(
        [](const MessageBoxRequest& request) { RunOnGuiThread([&] { showBox(request); }); });
}

} // namespace platform
