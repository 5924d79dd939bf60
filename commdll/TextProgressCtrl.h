#pragma once

#include "platform/ProgressIndicator.h"

#include <QPointer>
#include <QProgressBar>
#include <QString>

#include <functional>

class QWidget;

// A progress bar that can draw its own window text ("42%"), over an existing QProgressBar.
// Calls from another thread are carried out on the bar's thread.
class CTextProgressCtrl : public platform::ProgressIndicator {
public:
    CTextProgressCtrl() = default;

    // Attaches to the dialog's child bar whose "controlId" property equals `id`.
    bool SubclassDlgItem(int id, QWidget* dialog);
    void Attach(QProgressBar* bar);

    void SetRange(int lower, int upper) override;
    void SetPos(int position) override;
    void SetStep(int step) override;
    // Advances by the step; past the maximum it wraps around to the start of the range.
    void StepIt() override;
    void SetShowText(bool show) override;
    void SetWindowText(const QString& text) override;

private:
    static void MoveBar(QProgressBar& bar, int value);
    void OnBarThread(std::function<void(QProgressBar&)> action);

    QPointer<QProgressBar> m_bar;
    int m_step = 10;
};
