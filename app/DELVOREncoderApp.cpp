#include "DELVOREncoderApp.h"

#include "comm/DeviceData.h"
#include "platform/IpAddressCtrl.h"
#include "platform/RegistrySettings.h"
#include "ui/DELVOREncoderDlg.h"

CDELVOREncoderApp::CDELVOREncoderApp() {
    DeviceData.m_DeviceIp = {0, 0, 0, 0};
}

bool CDELVOREncoderApp::InitInstance() {
    CreateSettingsKey(); // a failure here is not fatal: the address is then not remembered
    {
        CDELVOREncoderDlg dialog;
        if (!m_demoAddress.isEmpty())
            dialog.m_ipTargetDevice->SetWindowText(m_demoAddress);
        dialog.exec();
    } // the dialog's destructor stops the poller and closes the device link
    return false;
}
