#include "PollDeviceStatus.h"

#include "comm/DeviceData.h"
#include "comm/Outcome.h"
#include "ui/DELVOREncoderDlg.h"

namespace {
// The status request with its failure collected, not shown: the worker cannot tell whether
// the window is still there to show it over.
bool RequestStatus(CCommInterface& comm, Outcome& failure) {
    const CCommInterface::ReportScope report(comm, failure);
    return comm.GetStatusId();
}
} // namespace

int PollDeviceStatus(void* context) {
    auto* dialog = static_cast<CDELVOREncoderDlg*>(context);
    Outcome failure;
    if (!RequestStatus(dialog->m_commInterface, failure)) {
        dialog->ShowPollFailure(failure);
        return 0; // the next period tries again
    }
    if (DeviceData.IsValidDevice()) {
        dialog->ShowResolverPosition();
        return 0;
    }
    // The device answers but no longer reports itself as valid: stop quietly.
    dialog->m_StatusPoller.RequestStop();
    dialog->m_commInterface.DropLink();
    return 0;
}
