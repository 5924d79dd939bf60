#include "PollDeviceStatus.h"

#include "comm/DeviceData.h"
#include "ui/DELVOREncoderDlg.h"

int PollDeviceStatus(void* context) {
    auto* dialog = static_cast<CDELVOREncoderDlg*>(context);
    if (!dialog->m_commInterface.GetStatusId())
        return 0; // the command layer has reported it; the next period tries again
    if (DeviceData.IsValidDevice()) {
        dialog->ShowResolverPosition();
        return 0;
    }
    // The device answers but no longer reports itself as valid: stop quietly.
    dialog->m_StatusPoller.RequestStop();
    dialog->m_commInterface.DropLink();
    return 0;
}
