#include "DELVOREncoderDlg.h"

#include "comm/DeviceData.h"
#include "platform/HtmlHelp.h"
#include "platform/IpAddressCtrl.h"
#include "platform/ProductVersion.h"
#include "platform/RegistrySettings.h"
#include "res/Icon.h"
#include "res/ResourceIds.h"
#include "res/StringTable.h"
#include "res/Texts.h"
#include "ui/AboutDlg.h"
#include "ui/ExtParamsChildDlg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace res;

CDELVOREncoderDlg::CDELVOREncoderDlg(QWidget* parent)
    : platform::TemplateDialog(IDD_MAIN, parent), m_hIcon(res::LoadAppIcon()) {
    DoDataExchange();
    ConnectButtons();
    OnInitDialog();
}

// The poller uses the dialog's link and widgets, so it ends before the link is closed and
// before any widget goes.
CDELVOREncoderDlg::~CDELVOREncoderDlg() {
    m_bClosing = true;
    delete m_pRSLogixPanel;
    m_pRSLogixPanel = nullptr;
    delete m_pModbusPanel;
    m_pModbusPanel = nullptr;
    m_StatusPoller.Stop();
    DropMainLink();
}

void CDELVOREncoderDlg::DoDataExchange() {
    m_ipTargetDevice = item<CIPAddressCtrl>(IDC_TARGET_IP);
    m_ipNewAddress = item<CIPAddressCtrl>(IDC_NEW_IP);
    m_ipSubnetMask = item<CIPAddressCtrl>(IDC_SUBNET_MASK);
    m_ipGateway = item<CIPAddressCtrl>(IDC_GATEWAY);
    m_editMacId = item<QLineEdit>(IDC_MAC_ID);
    m_editHardwareRev = item<QLineEdit>(IDC_HARDWARE_REV);
    m_editBootRev = item<QLineEdit>(IDC_BOOT_REV);
    m_editExecRev = item<QLineEdit>(IDC_EXEC_REV);
    m_editCurrentProtocol = item<QLineEdit>(IDC_CURRENT_PROTOCOL);
    m_btnChangeProtocol = item<QPushButton>(IDC_CHANGE_PROTOCOL);
    m_btnSetNewIp = item<QPushButton>(IDC_SET_NEW_IP);
    m_btnUpgradeFirmware = item<QPushButton>(IDC_UPGRADE_FIRMWARE);
    m_groupExtraParameters = GetDlgItem(IDC_EXTRA_PARAMETERS);
    m_staticTrademark = item<QLabel>(IDC_TRADEMARK);
    m_comboProtocol = item<platform::ComboBox>(IDC_PROTOCOL_COMBO);
    m_editResolverPosition = item<QLineEdit>(IDC_RESOLVER_POSITION);
    m_staticCurrentMode = item<QLabel>(IDC_CURRENT_MODE);
    m_btnChangeMode = item<QPushButton>(IDC_CHANGE_MODE);
    m_groupResolverMode = GetDlgItem(IDC_RESOLVER_MODE_GROUP);
    m_staticLastUpdated = item<QLabel>(IDC_LAST_UPDATED);
    // Rewritten once a second: a label that paints its own background is redrawn alone,
    // without the group box and the dialog behind it, and one whose size is fixed (it never
    // changes after placement) does not ask the dialog to lay itself out at each new text.
    if (m_staticLastUpdated) {
        m_staticLastUpdated->setAutoFillBackground(true);
        m_staticLastUpdated->setFixedSize(m_staticLastUpdated->size());
    }
}

void CDELVOREncoderDlg::ConnectButtons() {
    const auto onClick = [this](int id, void (CDELVOREncoderDlg::*handler)()) {
        connect(item<QPushButton>(id), &QPushButton::clicked, this, handler);
    };
    onClick(IDC_CONNECT, &CDELVOREncoderDlg::OnConnect);
    onClick(IDC_SET_NEW_IP, &CDELVOREncoderDlg::OnSetNewIpAddress);
    onClick(IDC_UPGRADE_FIRMWARE, &CDELVOREncoderDlg::OnUpgradeFirmware);
    onClick(IDC_CHANGE_PROTOCOL, &CDELVOREncoderDlg::OnChangeProtocol);
    onClick(IDC_CHANGE_MODE, &CDELVOREncoderDlg::OnChangeMode);
    onClick(ID_HELP, &CDELVOREncoderDlg::WinHelp);
}

bool CDELVOREncoderDlg::OnInitDialog() {
    AddAboutEntryToWindowMenu();
    setWindowIcon(m_hIcon);
    m_staticCurrentMode->hide();
    m_btnChangeMode->hide();
    m_groupResolverMode->hide();
    m_staticLastUpdated->setText(QString());
    CreateExtraParameterPanels();
    m_ipTargetDevice->SetWindowText(QString(text::DefaultDeviceIp));
    EnableDeviceControls(false);
    RestoreTargetAddress();
    SetTitleWithVersion();
    return true;
}

void CDELVOREncoderDlg::AddAboutEntryToWindowMenu() {
    const QString aboutEntry = LoadResString(IDS_ABOUTBOX);
    if (aboutEntry.isEmpty())
        return;
    AppendWindowMenuSeparator();
    AppendWindowMenuItem(aboutEntry, IDM_ABOUTBOX);
}

// Both panels lie on the "Extra Parameters" box; at most one of them is shown.
void CDELVOREncoderDlg::CreateExtraParameterPanels() {
    const QRect area = m_groupExtraParameters->geometry();
    m_pRSLogixPanel = new CExtParamsChildDlg(this, CExtParamsChildDlg::RSLogixKind);
    m_pRSLogixPanel->setGeometry(area);
    m_pModbusPanel = new CExtParamsChildDlg(this, CExtParamsChildDlg::ModbusKind);
    m_pModbusPanel->setGeometry(area);
    m_pModbusPanel->hide();
}

// A stored address replaces the default; an empty stored text clears the field.
void CDELVOREncoderDlg::RestoreTargetAddress() {
    QString stored;
    if (!ReadRegistryString(QString(text::DeviceIpValueName), stored))
        return;
    m_ipTargetDevice->SetWindowText(stored);
    auto& ip = DeviceData.m_DeviceIp;
    m_ipTargetDevice->GetAddress(ip[0], ip[1], ip[2], ip[3]);
}

void CDELVOREncoderDlg::SetTitleWithVersion() {
    QString version;
    GetProductVersion(version);
    setWindowTitle(QString::asprintf(text::TitleFormat.data(), qPrintable(windowTitle()), "",
                                     qPrintable(version)));
}

void CDELVOREncoderDlg::RunOperation(void (CDELVOREncoderDlg::*operation)()) {
    if (m_bOperationRunning)
        return; // a click that reached us while another operation waits for the device
    m_bOperationRunning = true;
    SetCloseAllowed(false);
    (this->*operation)();
    SetCloseAllowed(true);
    m_bOperationRunning = false;
}

void CDELVOREncoderDlg::OnConnect() {
    RunOperation(&CDELVOREncoderDlg::Connect);
}

void CDELVOREncoderDlg::OnSetNewIpAddress() {
    RunOperation(&CDELVOREncoderDlg::SetNewIpAddress);
}

void CDELVOREncoderDlg::OnChangeProtocol() {
    RunOperation(&CDELVOREncoderDlg::ChangeProtocol);
}

void CDELVOREncoderDlg::OnChangeMode() {
    RunOperation(&CDELVOREncoderDlg::ChangeMode);
}

void CDELVOREncoderDlg::OnUpgradeFirmware() {
    RunOperation(&CDELVOREncoderDlg::UpgradeFirmware);
}

void CDELVOREncoderDlg::EnableDeviceControls(bool enable) {
    for (const int id : {IDC_NEW_IP, IDC_SUBNET_MASK, IDC_GATEWAY, IDC_CHANGE_PROTOCOL,
                         IDC_SET_NEW_IP, IDC_UPGRADE_FIRMWARE, IDC_PROTOCOL_COMBO, IDC_CHANGE_MODE})
        GetDlgItem(id)->setEnabled(enable);
}

void CDELVOREncoderDlg::OnSysCommand(int commandId) {
    switch (commandId & 0xFFF0) {
    case IDM_ABOUTBOX: {
        CAboutDlg about;
        about.exec();
        break;
    }
    case SC_CONTEXTHELP:
        ShowHelp();
        break;
    default:
        platform::TemplateDialog::OnSysCommand(commandId);
        break;
    }
}

void CDELVOREncoderDlg::WinHelp() {
    ShowHelp();
}

void CDELVOREncoderDlg::ShowHelp() {
    const QString folder = QCoreApplication::applicationDirPath();
    platform::HtmlHelp(this, QString::asprintf(text::HelpPathFormat.data(), qPrintable(folder)));
}

// A closed window is hidden; the destructor follows at once.
bool CDELVOREncoderDlg::IsClosing() const {
    return m_bClosing || !isVisible();
}

void CDELVOREncoderDlg::DropMainLink() {
    m_commInterface.DropLink();
}
