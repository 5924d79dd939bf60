#pragma once

#include "platform/MessageBox.h"

#include <QString>
#include <QStringList>

#include <mutex>
#include <vector>

namespace testsupport {

// Records every message box instead of showing it, for as long as it lives. Boxes may come
// from any thread; each returns at once as if the operator had pressed OK.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    std::vector<platform::MessageBoxRequest> messages() const;
    QStringList texts() const;
    std::size_t count() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    std::vector<platform::MessageBoxRequest> m_messages;
    platform::MessageBoxHandler m_previous;
};

// The one box recorded since the last look, as "caption|text|help id|I or E (the icon)"; the
// recorder is cleared. Empty when no box was shown, "N boxes" when several were.
inline QString TakeBox(MessageRecorder& recorder) {
    const auto boxes = recorder.messages();
    recorder.clear();
    if (boxes.size() != 1)
        return boxes.empty() ? QString() : QStringLiteral("%1 boxes").arg(boxes.size());
    const auto& box = boxes[0];
    const bool error = box.icon == platform::MessageIcon::Error;
    return QStringLiteral("%1|%2|%3|%4")
        .arg(box.caption, box.text, QString::number(box.helpContext),
             error ? QStringLiteral("E")
                   : (box.icon == platform::MessageIcon::Information ? QStringLiteral("I")
                                                                     : QStringLiteral("?")));
}

} // namespace testsupport
