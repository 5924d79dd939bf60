#pragma once

#include <QString>

namespace platform {

// A progress bar as the command layer sees it, without knowing the widget behind it.
class ProgressIndicator {
public:
    virtual ~ProgressIndicator() = default;
    virtual void SetRange(int lower, int upper) = 0;
    virtual void SetPos(int position) = 0;
    virtual void SetStep(int step) = 0;
    virtual void StepIt() = 0;
    virtual void SetShowText(bool show) = 0;
    virtual void SetWindowText(const QString& text) = 0;
};

} // namespace platform
