#include "CursorBlinkTimeout.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QStyleHints>

CCursorBlinkTimeout::CCursorBlinkTimeout(int timeoutMs)
    : m_flashTimeMs(QGuiApplication::styleHints()->cursorFlashTime()) {
    m_idle.setSingleShot(true);
    m_idle.setInterval(timeoutMs);
    m_idle.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_idle, &QTimer::timeout, this, [this] { Blink(false); });
    QCoreApplication::instance()->installEventFilter(this);
    m_idle.start();
}

CCursorBlinkTimeout::~CCursorBlinkTimeout() {
    QCoreApplication::instance()->removeEventFilter(this);
    Blink(true);
}

bool CCursorBlinkTimeout::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::FocusIn:
    case QEvent::WindowActivate:
        Blink(true);
        m_idle.start();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CCursorBlinkTimeout::Blink(bool blinking) {
    const int flashTime = blinking ? m_flashTimeMs : 0;
    if (QGuiApplication::styleHints()->cursorFlashTime() != flashTime)
        QGuiApplication::styleHints()->setCursorFlashTime(flashTime);
}
