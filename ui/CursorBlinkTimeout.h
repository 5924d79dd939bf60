#pragma once

#include <QObject>
#include <QTimer>

// A text cursor that blinks for ever wakes the program twice a second, and repaints its field,
// long after the operator has stopped typing. As desktops do, the cursor blinks for a while
// after the last key, click or focus change, then stays lit until the next one.
class CCursorBlinkTimeout : public QObject {
public:
    static constexpr int kDefaultTimeoutMs = 10000;

    explicit CCursorBlinkTimeout(int timeoutMs = kDefaultTimeoutMs);
    ~CCursorBlinkTimeout() override; // the cursor blinks as the system says again
    CCursorBlinkTimeout(const CCursorBlinkTimeout&) = delete;
    CCursorBlinkTimeout& operator=(const CCursorBlinkTimeout&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Blink(bool blinking);

    int m_flashTimeMs; // the system's, taken at construction
    QTimer m_idle;
};
