#include "commdll/TextProgressCtrl.h"

#include <QMetaObject>
#include <QThread>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <chrono>

bool CTextProgressCtrl::SubclassDlgItem(int id, QWidget* dialog) {
    if (dialog == nullptr)
        return false;
    const auto bars = dialog->findChildren<QProgressBar*>();
    for (QProgressBar* bar : bars) {
        const QVariant controlId = bar->property("controlId");
        if (controlId.isValid() && controlId.toInt() == id) {
            Attach(bar);
            return true;
        }
    }
    return false;
}

void CTextProgressCtrl::Attach(QProgressBar* bar) {
    m_bar = bar;
    if (bar == nullptr)
        return;
    bar->setTextVisible(false); // a plain bar until text is asked for
    // A fresh QProgressBar has no position at all; the bar it stands for starts at its minimum.
    if (bar->value() < bar->minimum())
        bar->setValue(bar->minimum());
}

void CTextProgressCtrl::SetRange(int lower, int upper) {
    OnBarThread([lower, upper](QProgressBar& bar) { bar.setRange(lower, upper); });
}

void CTextProgressCtrl::SetPos(int position) {
    OnBarThread([position](QProgressBar& bar) {
        MoveBar(bar, std::clamp(position, bar.minimum(), bar.maximum()));
    });
}

void CTextProgressCtrl::SetStep(int step) {
    m_step = step;
}

void CTextProgressCtrl::StepIt() {
    OnBarThread([step = m_step](QProgressBar& bar) {
        const long long lower = bar.minimum();
        const long long span = static_cast<long long>(bar.maximum()) - lower;
        long long next = static_cast<long long>(bar.value()) + step;
        if (next < lower || next > bar.maximum())
            next = span > 0 ? lower + (next - lower) % span : lower;
        if (next < lower)
            next += span;
        MoveBar(bar, static_cast<int>(next));
    });
}

void CTextProgressCtrl::SetShowText(bool show) {
    OnBarThread([show](QProgressBar& bar) { bar.setTextVisible(show); });
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
    OnBarThread([text](QProgressBar& bar) { bar.setFormat(text); });
}

// A bar paints itself at once when its value moves. Moves that follow each other within one
// screen frame are painted together with the next frame instead: a read-out that takes a
// millisecond paints its bar once, not at every step, and the operator sees the same bar.
void CTextProgressCtrl::MoveBar(QProgressBar& bar, int value) {
    static constexpr qint64 kFrameMs = 16;
    static const char* const kPaintedAt = "rivivozuzuvodPaintedAt";
    const qint64 now = std::chrono::duration_cast<std::chrono::milliseconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    const QVariant paintedAt = bar.property(kPaintedAt);
    if (!paintedAt.isValid() || now - paintedAt.toLongLong() >= kFrameMs) {
        bar.setProperty(kPaintedAt, now);
        bar.setValue(value);
        return;
    }
    bar.setUpdatesEnabled(false);
    bar.setValue(value);
    bar.setUpdatesEnabled(true); // schedules the paint
}

void CTextProgressCtrl::OnBarThread(std::function<void(QProgressBar&)> action) {
    QProgressBar* bar = m_bar;
    if (bar == nullptr)
        return;
    if (bar->thread() == QThread::currentThread()) {
        action(*bar);
        return;
    }
    QMetaObject::invokeMethod(
        bar,
        [target = QPointer<QProgressBar>(bar), action = std::move(action)] {
            if (target)
                action(*target);
        },
        Qt::QueuedConnection);
}
