#pragma once

#include "firmware/UpgradeProgress.h"

#include <QString>

class CDeviceJob;
class CProgressBar;
class COutput;

// The upgrade procedure's progress for one device on the command line: the bytes the link
// has sent go to the shared progress bar, and each new whole percent becomes a JSON Lines
// event when the output is JSON.
class CUpgradeReporter : public UpgradeProgress {
public:
    CUpgradeReporter(const CDeviceJob& job, qint64 imageSize, CProgressBar* bar, COutput& output);

    void SetStatusText(const QString& text) override;
    void SetProgressPos(int position) override;
    void Repaint() override {}

private:
    const CDeviceJob& m_job;
    qint64 m_imageSize;
    CProgressBar* m_bar; // may be null
    COutput& m_output;
    qint64 m_reported = 0;
    int m_percent = -1;
};
