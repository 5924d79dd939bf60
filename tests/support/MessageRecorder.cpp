#include "MessageRecorder.h"

namespace testsupport {

MessageRecorder::MessageRecorder() {
    m_previous = platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& r) {
        std::lock_guard lock(m_mutex);
        m_messages.push_back(r);
    });
}

MessageRecorder::~MessageRecorder() {
    platform::SetMessageBoxHandler(std::move(m_previous));
}

std::vector<platform::MessageBoxRequest> MessageRecorder::messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

QStringList MessageRecorder::texts() const {
    QStringList result;
    for (const auto& message : messages())
        result << message.text;
    return result;
}

std::size_t MessageRecorder::count() const {
    return messages().size();
}

void MessageRecorder::clear() {
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

} // namespace testsupport
