#pragma once

#include <QString>

#include <functional>

namespace platform {

enum class MessageIcon { Error, Information, Warning };

// One message box as the program asks for it. Every box has an OK button only.
struct MessageBoxRequest {
    QString text;
    QString caption;
    MessageIcon icon = MessageIcon::Information;
    int helpContext = 0; // string id of the text, 0 when it has none
};

// The function that actually shows a box. The GUI installs one that shows a QMessageBox on
// the GUI thread (blocking a calling worker until the box is closed); tests install a
// recorder. Without a handler the request is written to standard error.
using MessageBoxHandler = std::function<void(const MessageBoxRequest&)>;

// Returns the handler that was installed before.
MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler);

// Shows one box and returns when it has been closed. Safe to call from any thread.
void ShowMessageBox(const MessageBoxRequest& request);

// The application's own box: titled with the application name.
void ShowAppMessage(const QString& text, MessageIcon icon, int helpContext = 0);

} // namespace platform
