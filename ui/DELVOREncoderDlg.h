#pragma once

#include "comm/CommInterface.h"
#include "comm/DeviceSequences.h"
#include "comm/Outcome.h"
#include "platform/ComboBox.h"
#include "platform/IpAddressCtrl.h"
#include "platform/TemplateDialog.h"
#include "platform/WallClock.h"
#include "platform/WinTypes.h"
#include "ui/CursorBlinkTimeout.h"
#include "ui/PeriodicThread.h"

#include <QDateTime>
#include <QIcon>
#include <QPointer>

#include <array>
#include <functional>

class CExtParamsChildDlg;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

using platform::CIPAddressCtrl;

// The program's main window: target address and Connect, the device's settings and
// revisions, the protocol and its extra parameters, the resolver position, and the buttons
// that change the device. Its handlers live in the files of their subsystem:
// DELVOREncoderDlgConnect.cpp, DELVOREncoderDlgSettings.cpp, DELVOREncoderDlgFirmware.cpp.
class CDELVOREncoderDlg : public platform::TemplateDialog {
    Q_OBJECT

public:
    explicit CDELVOREncoderDlg(QWidget* parent = nullptr);
    ~CDELVOREncoderDlg() override;

    bool OnInitDialog();
    void EnableDeviceControls(bool enable);
    void ShowHelp();

    // A device operation (Connect, a settings change, the upgrade) runs: no other one starts
    // and the window cannot be closed until it is over.
    bool IsOperationRunning() const { return m_bOperationRunning; }

    // Connect and read-out.
    void OnConnect();
    // Connect's steps and their messages; ConnectToTarget, which leaves the messages to the
    // caller, is also the last step of a settings change.
    void Connect();
    Outcome ConnectToTarget();
    bool ValidateIpAddress(CIPAddressCtrl* control, const QString& message,
                           std::array<BYTE, 4>& destination);
    void ShowDeviceInfo();
    void ShowResolverPosition();
    // Shows the boxes of a failed poll, from any thread, while the window is open. A poll
    // still under way when the window closes ends while the window goes: its boxes would
    // stand alone on the screen, so they are dropped.
    void ShowPollFailure(const Outcome& failure);

    // Settings changes.
    void OnSetNewIpAddress();
    void OnChangeProtocol();
    void OnChangeMode();
    void ApplyDeviceSetting(const SettingsChange& change);
    Outcome SendDeviceSetting(const QString& name,
                              const std::function<Outcome(CCommInterface&)>& write);

    // Firmware.
    void OnUpgradeFirmware();

    // Drops the dialog's own link; the next request through it opens the link again.
    void DropMainLink();

    CExtParamsChildDlg* m_pRSLogixPanel = nullptr;
    CExtParamsChildDlg* m_pModbusPanel = nullptr;
    CPeriodicThread m_StatusPoller;
    CCommInterface m_commInterface;
    QIcon m_hIcon;

    CIPAddressCtrl* m_ipTargetDevice = nullptr;
    CIPAddressCtrl* m_ipNewAddress = nullptr;
    CIPAddressCtrl* m_ipSubnetMask = nullptr;
    CIPAddressCtrl* m_ipGateway = nullptr;
    QLineEdit* m_editMacId = nullptr;
    QLineEdit* m_editHardwareRev = nullptr;
    QLineEdit* m_editBootRev = nullptr;
    QLineEdit* m_editExecRev = nullptr;
    QLineEdit* m_editCurrentProtocol = nullptr;
    QPushButton* m_btnChangeProtocol = nullptr;
    QPushButton* m_btnSetNewIp = nullptr;
    QPushButton* m_btnUpgradeFirmware = nullptr;
    QWidget* m_groupExtraParameters = nullptr;
    QLabel* m_staticTrademark = nullptr;
    platform::ComboBox* m_comboProtocol = nullptr;
    QPointer<QLineEdit> m_editResolverPosition;
    QLabel* m_staticCurrentMode = nullptr;
    QPushButton* m_btnChangeMode = nullptr;
    QWidget* m_groupResolverMode = nullptr;
    QPointer<QLabel> m_staticLastUpdated;
    // The local time that "Last Updated On" shows; read by the poller's worker, so it is set
    // only while no worker runs.
    std::function<QDateTime()> m_localTime = platform::LocalWallClock;

protected:
    void OnSysCommand(int commandId) override;
    void WinHelp() override;

private:
    // Runs one device operation, or nothing while another one runs.
    void RunOperation(void (CDELVOREncoderDlg::*operation)());
    void SetNewIpAddress();
    void ChangeProtocol();
    void ChangeMode();
    void UpgradeFirmware();
    void DoDataExchange();
    void ConnectButtons();
    void AddAboutEntryToWindowMenu();
    void CreateExtraParameterPanels();
    void RestoreTargetAddress();
    void SetTitleWithVersion();
    Outcome ReadOutDevice(class CQxProgressDlg& progress, CCommInterface& comm);
    void StoreTargetAddress();
    CIPAddressCtrl* FieldAtFault(const Outcome& outcome) const;
    void FillProtocolChoices();
    void ShowProtocolPanels();
    void ShowResolverMode();

    bool IsClosing() const;

    bool m_bOperationRunning = false;
    bool m_bClosing = false;           // the destructor runs
    QString m_storedTargetAddress;     // what this window last wrote as the stored address
    CCursorBlinkTimeout m_cursorBlink; // the idle window wakes for nothing but the poller
};
