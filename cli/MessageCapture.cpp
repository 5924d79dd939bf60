#include "cli/MessageCapture.h"

#include "platform/MessageBox.h"

#include <cstdio>
#include <utility>

namespace {
// Bounded: a device that keeps failing cannot make a capture grow without end.
constexpr qsizetype kMaxCapturedMessages = 64;

thread_local CMessageCapture* t_current = nullptr;
} // namespace

CMessageCapture::CMessageCapture() : m_outer(t_current) {
    t_current = this;
}

CMessageCapture::~CMessageCapture() {
    t_current = m_outer;
}

QStringList CMessageCapture::Take() {
    return std::exchange(m_texts, {});
}

void CMessageCapture::Install() {
    platform::SetMessageBoxHandler([](const platform::MessageBoxRequest& request) {
        if (t_current) {
            if (t_current->m_texts.size() < kMaxCapturedMessages)
                t_current->m_texts.append(request.text);
            return;
        }
        std::fprintf(stderr, "%s\n", qPrintable(request.text));
    });
}
