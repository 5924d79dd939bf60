#include "commdll/TextProgressCtrl.h"

#include <QMetaObject>
#include <QThread>
#include <QVariant>
#include <QWidget>

#include <algorithm>

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
        bar.setValue(std::clamp(position, bar.minimum(), bar.maximum()));
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
        bar.setValue(static_cast<int>(next));
    });
}

void CTextProgressCtrl::SetShowText(bool show) {
    OnBarThread([show](QProgressBar& bar) { bar.setTextVisible(show); });
}

void CTextProgressCtrl::SetWindowText(const QString& text) {
    OnBarThread([text](QProgressBar& bar) { bar.setFormat(text); });
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
