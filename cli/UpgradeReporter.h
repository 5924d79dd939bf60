#pragma once

#include "firmware/UpgradeProgress.h"

#include <QString>

class CDeviceJob;
class CProgressBar;
class COutput;

// The upgrade procedure's progress for one device on the command line: phases and the bytes
// the link has sent go to the shared progress bar, and as JSON Lines events when the output
// is JSON (phases by their stable names, each new whole percent). A stop requested by a
// signal ends the transfer before its next block.
class CUpgradeReporter : public UpgradeProgress {
public:
    CUpgradeReporter(const CDeviceJob& job, qint64 imageSize, CProgressBar* bar, COutput& output);

    void SetStatusText(const QString& /*text*/) override {}
    void SetProgressPos(int position) override;
    void Repaint() override {}
    void EnterPhase(UpgradePhase phase) override;
    bool StopRequested() const override;

private:
    const CDeviceJob& m_job;
    qint64 m_imageSize;
    CProgressBar* m_bar; // may be null
    COutput& m_output;
    qint64 m_reported = 0;
    int m_percent = -1;
};
