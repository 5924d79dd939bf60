// Firmware upgrade: pick an S-record file, read it into an image, and take the device
// through boot, the image blocks and exec under a progress window.
#include "DELVOREncoderDlg.h"

#include "firmware/FirmwareUpgrade.h"
#include "firmware/SRecordReader.h"
#include "firmware/UpgradeProgress.h"
#include "platform/FileDialog.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"
#include "ui/QxProgressDlg.h"

#include <QFile>

using namespace res;

namespace {
// The upgrade procedure reports its progress through the progress window.
class ProgressWindowReporter : public UpgradeProgress {
public:
    explicit ProgressWindowReporter(CQxProgressDlg& window) : m_window(window) {}
    void SetStatusText(const QString& text) override { m_window.SetStatusText(text); }
    void SetProgressPos(int position) override { m_window.SetProgressPos(position); }
    void Repaint() override { m_window.UpdateWindow(); }

private:
    CQxProgressDlg& m_window;
};
} // namespace

void CDELVOREncoderDlg::UpgradeFirmware() {
    const std::optional<QString> path = platform::GetOpenFileName(
        this, QString(text::SelectFirmwareFile), QString(text::FirmwareDefaultExtension));
    if (!path)
        return;
    // Held open (others may read, not write) until the upgrade is over.
    QFile heldFile(*path);
    Outcome read;
    if (!OpenFirmwareFile(heldFile, read)) {
        ShowOutcome(read);
        return;
    }
    CSRecordReader reader{};
    int imageLength = 0;
    std::optional<std::vector<BYTE>> image = LoadFirmwareImage(reader, *path, imageLength, read);
    if (!image) {
        ShowOutcome(read); // nothing has been touched yet
        return;
    }

    m_StatusPoller.Stop();
    DropMainLink();
    Outcome upgraded;
    {
        CCommInterface comm;
        CQxProgressDlg progress(this, QString(text::UpgradingFirmwareCaption), false);
        ProgressWindowReporter reporter(progress);
        upgraded = CFirmwareUpgrade(comm, reporter).Run(*image);
    }
    ShowOutcome(upgraded);
    // The poller stays stopped: the operator reconnects to see the new revision.
}
