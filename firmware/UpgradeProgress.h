#pragma once

#include <QString>

// The progress window as the firmware upgrade sees it: a status line and a 0 to 100 bar. The
// progress dialog implements it; tests record the calls.
class UpgradeProgress {
public:
    virtual ~UpgradeProgress() = default;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetProgressPos(int position) = 0;
    // Paints the window now, before the next blocking request.
    virtual void Repaint() = 0;
};
