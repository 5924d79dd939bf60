#pragma once

#include <QString>

// The phases of an upgrade, for front ends that name them in their own words; the front end
// that reads the device out after the exec enters Reconnect itself.
enum class UpgradePhase { Boot, Transfer, Exec, Reconnect };

// The progress window as the firmware upgrade sees it: a status line and a 0 to 100 bar. The
// progress dialog implements it; tests record the calls.
class UpgradeProgress {
public:
    virtual ~UpgradeProgress() = default;
    virtual void SetStatusText(const QString& text) = 0;
    virtual void SetProgressPos(int position) = 0;
    // Paints the window now, before the next blocking request.
    virtual void Repaint() = 0;
    // The upgrade enters `phase` (before its first request).
    virtual void EnterPhase(UpgradePhase /*phase*/) {}
    // Asked after the boot and between blocks: true sends no further block. The exchange
    // under way always ends first, and once every block is out the exec follows, since it
    // is what lets the device leave boot mode.
    virtual bool StopRequested() const { return false; }
};
