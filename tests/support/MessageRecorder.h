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

    // Waits (handling events) until at least `count` boxes have been recorded.
    bool waitForCount(std::size_t count, int timeoutMs = 10000) const;

private:
    mutable std::mutex m_mutex;
    std::vector<platform::MessageBoxRequest> m_messages;
    platform::MessageBoxHandler m_previous;
};

} // namespace testsupport
