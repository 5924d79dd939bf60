#include "CommInterface.h"

#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"
#include "comm/ReportCommError.h"
#include "platform/Ipv4Address.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"

#include "platform/GuiThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <mutex>

std::atomic<long> CCommInterface::s_busySleeps{0};

namespace {
constexpr int kBusyPollIntervalMs = 400;
constexpr DWORD kMacReplyMinimum = 9;
constexpr DWORD kEthernetReplyMinimum = 21;
constexpr DWORD kEadkReplyMinimum = 18;
constexpr DWORD kSetPayloadLength = 21;
constexpr BYTE kSetPayloadHeader[] = {0x01, 0x13, 0x00, 0x13, 0x01};

template <std::size_t N>
void CopyReply(const DeviceDataRecord& data, std::array<BYTE, N>& destination, int firstByte) {
    std::memcpy(destination.data(), &data.m_Response[firstByte], N);
}
} // namespace

CCommInterface::CCommInterface() : CCommInterface(DeviceData) {}

CCommInterface::CCommInterface(DeviceDataRecord& record) : m_Data(record) {
    // Links may be made on several threads at once; the library's application type is
    // program-wide and is set once.
    static std::once_flag appTypeSet;
    std::call_once(appTypeSet, [] { CSerialComm::m_enumAppType = COM_APP_TYPE_ENCODER; });
}

CCommInterface::~CCommInterface() {
    DropLink();
}

void CCommInterface::DropLink() {
    m_SerialComm.CloseComPort();
    m_SerialComm.EthernetClose();
    m_bConnected = false;
}

bool CCommInterface::OpenConnection() {
    if (m_bConnected)
        return true; // an open link keeps the address it was opened with
    m_SerialComm.SetCommModeToEthernetCE();
    m_SerialComm.SetIPAndPort(Ipv4Address(m_Data.m_DeviceIp).ToString(), DEVICE_PORT);
    m_bConnected = true;
    return true;
}

bool CCommInterface::SendRequest(BYTE code, bool flag, const BYTE* payload, DWORD length) {
    return SendRequest(code, flag, payload, length, m_SerialComm.m_byBlockFlags);
}

bool CCommInterface::SendRequest(BYTE code, bool flag, const BYTE* payload, DWORD length,
                                 BYTE blockFlags) {
    OpenConnection();
    const DWORD result = m_SerialComm.ProccessMsgCode_NoThread(
        code, flag, const_cast<BYTE*>(payload), payload ? length : 0, m_Data.m_Response.data(),
        RESPONSE_BUFFER_SIZE, &m_Data.m_dwResponseLength, blockFlags);
    if (result == COMM_STATUS_DONE) {
        if (!WaitForCompletion())
            return false;
        m_SerialComm.m_pProgress = m_pProgressCtrl;
        return true;
    }
    TellCommError(result);
    return false;
}

void CCommInterface::Tell(const platform::MessageBoxRequest& message) {
    if (m_pReport)
        m_pReport->messages.push_back(message);
    else
        platform::ShowMessageBox(message);
}

// Status 18 fails without a message; the caller's outcome still learns the status.
void CCommInterface::TellCommError(DWORD status) {
    if (m_pReport)
        m_pReport->details.insert(QString::fromLatin1(detail::kDeviceStatus),
                                  static_cast<qulonglong>(status));
    if (status != COMM_STATUS_FAILED_SILENT)
        Tell(CommErrorMessage(status));
}

bool CCommInterface::WaitForCompletion() {
    if (m_pProgressCtrl) {
        m_pProgressCtrl->SetRange(0, 100);
        m_pProgressCtrl->SetPos(0);
    }
    DWORD status = m_SerialComm.GetCommunicationStatusOfDll();
    while (status == COMM_STATUS_BUSY) {
        if (m_dwTotal != 0 && m_pProgressCtrl) {
            ShowProgressPercentage();
        } else {
            SleepWhileBusy();
            if (m_pProgressCtrl) {
                m_pProgressCtrl->SetShowText(false);
                m_pProgressCtrl->StepIt();
            }
        }
        if (platform::IsGuiThread())
            QCoreApplication::processEvents();
        status = m_SerialComm.GetCommunicationStatusOfDll();
    }
    if (m_pProgressCtrl)
        m_pProgressCtrl->SetPos(100);

    const bool success = m_SerialComm.m_dwResult == 0;
    m_dwTotal = 0;
    m_SerialComm.m_dwResult = COMM_RESULT_AFTER_WAIT;
    if (status != COMM_STATUS_DONE)
        TellCommError(status);
    return success;
}

// While the device works, the GUI thread keeps handling its events (the progress bar steps,
// the window repaints); a worker thread simply sleeps. Either wakes as soon as the exchange
// ends: a device back from its restart is noticed at once, not at the next look.
void CCommInterface::SleepWhileBusy() {
    ++s_busySleeps;
    if (!platform::IsGuiThread()) {
        m_SerialComm.WaitForExchangeEnd(kBusyPollIntervalMs);
        return;
    }
    QEventLoop wait;
    QTimer::singleShot(kBusyPollIntervalMs, &wait, &QEventLoop::quit);
    m_SerialComm.SetExchangeEndNotifier(
        [&wait] { QMetaObject::invokeMethod(&wait, &QEventLoop::quit, Qt::QueuedConnection); });
    if (!m_SerialComm.WaitForExchangeEnd(0))
        wait.exec();
    m_SerialComm.SetExchangeEndNotifier({});
}

void CCommInterface::ShowProgressPercentage() {
    m_pProgressCtrl->SetShowText(true);
    const DWORD transferred = m_SerialComm.m_dwProgressCount * 100u; // modulo 2^32
    const int percentage = static_cast<int>(static_cast<double>(transferred) / m_dwTotal);
    m_pProgressCtrl->SetPos(percentage);
    m_pProgressCtrl->SetWindowText(QStringLiteral("%1%").arg(std::min(percentage, 100)));
}

bool CCommInterface::ExecuteCommand(BYTE code, bool flag, const QString& text, const BYTE* payload,
                                    DWORD length) {
    return ExecuteCommand(code, flag, text, payload, length, m_SerialComm.m_byBlockFlags);
}

bool CCommInterface::ExecuteCommand(BYTE code, bool flag, const QString& text, const BYTE* payload,
                                    DWORD length, BYTE blockFlags) {
    m_Data.m_Response.fill(0);
    if (m_pStatusWnd)
        m_pStatusWnd->SetWindowText(text + QString(res::text::CmdRunningSuffix));
    QElapsedTimer clock;
    clock.start();
    const bool success = SendRequest(code, flag, payload, length, blockFlags);
    if (m_pRequestObserver)
        m_pRequestObserver->RequestEnded(*this, text, success, clock.elapsed());
    if (!success && m_pStatusWnd)
        m_pStatusWnd->SetWindowText(QString(res::text::CmdErrorPrefix) + text);
    return success;
}

bool CCommInterface::GetStatusId() {
    if (!ExecuteCommand(MSG_GET_STATUS_ID, false, QString(res::text::CmdGettingStatusId), nullptr,
                        0))
        return false;
    // No minimum length: the callers judge the record by its first byte.
    m_Data.m_dwResponseLength = std::min(m_Data.m_dwResponseLength, STATUS_RECORD_SIZE);
    m_Data.m_Status.fill(0);
    std::memcpy(m_Data.m_Status.data(), m_Data.m_Response.data(), m_Data.m_dwResponseLength);
    return true;
}

// One read request whose reply must hold at least `minimum` bytes; a shorter one is told to
// the operator with `failure` and changes nothing.
bool CCommInterface::ReadReply(const ReadRequest& request) {
    if (!ExecuteCommand(request.code, request.flag, QString(request.text), request.payload,
                        request.payload ? 1 : 0))
        return false;
    if (m_Data.m_dwResponseLength < request.minimum) {
        Tell({QString(request.failure), QString(res::text::AppName), platform::MessageIcon::Error,
              0});
        return false;
    }
    return true;
}

bool CCommInterface::GetMacId() {
    if (!ReadReply({MSG_GET_MAC_ID, false, res::text::CmdGettingMacId, nullptr, kMacReplyMinimum,
                    res::text::UnableToReadMacId}))
        return false;
    CopyReply(m_Data, m_Data.m_Current.m_Mac, 3);
    return true;
}

bool CCommInterface::GetEthernetParams() {
    const BYTE selector = PARAMS_SELECTOR_ETHERNET;
    if (!ReadReply({MSG_GET_PARAMS, true, res::text::CmdGettingEthernetParams, &selector,
                    kEthernetReplyMinimum, res::text::UnableToReadEthernetParams}))
        return false;
    EthernetSettings& current = m_Data.m_Current;
    CopyReply(m_Data, current.m_Ip, 5);
    CopyReply(m_Data, current.m_SubnetMask, 9);
    CopyReply(m_Data, current.m_Gateway, 13);
    CopyReply(m_Data, current.m_Options, 17);
    const BYTE protocolMode = m_Data.m_Response[20];
    current.m_nProtocol = EthernetSettings::ProtocolOf(protocolMode);
    current.m_bModeDM7 = EthernetSettings::IsModeDM7(protocolMode);
    return true;
}

bool CCommInterface::GetEadkParams() {
    const BYTE selector = PARAMS_SELECTOR_EADK;
    if (!ReadReply({MSG_GET_PARAMS, true, res::text::CmdGettingEadkParams, &selector,
                    kEadkReplyMinimum, res::text::UnableToReadEadkParams}))
        return false;
    EthernetSettings& current = m_Data.m_Current;
    CopyReply(m_Data, current.m_wOutputSize, 7);
    CopyReply(m_Data, current.m_wInputSize, 9);
    CopyReply(m_Data, current.m_wOutputInstance, 14);
    CopyReply(m_Data, current.m_wInputInstance, 16);
    return true;
}

bool CCommInterface::SetNewIpAndRestart() {
    if (!SetNewIp())
        return false;
    // The restart's outcome does not decide the set; its error message is still shown.
    RestartDevice();
    return true;
}

bool CCommInterface::SetNewIp() {
    EthernetSettings& pending = m_Data.m_Pending;
    pending.m_Options[3] =
        EthernetSettings::PackProtocolMode(pending.m_nProtocol, pending.m_bModeDM7);

    // From byte 5 on the payload has the layout of the Ethernet-parameter reply.
    std::array<BYTE, kSetPayloadLength> payload{};
    auto out =
        std::copy(std::begin(kSetPayloadHeader), std::end(kSetPayloadHeader), payload.begin());
    out = std::copy(pending.m_Ip.begin(), pending.m_Ip.end(), out);
    out = std::copy(pending.m_SubnetMask.begin(), pending.m_SubnetMask.end(), out);
    out = std::copy(pending.m_Gateway.begin(), pending.m_Gateway.end(), out);
    std::copy(pending.m_Options.begin(), pending.m_Options.end(), out);

    return ExecuteCommand(MSG_SET_ETHERNET_PARAMS, true, QString(res::text::CmdSettingNewIp),
                          payload.data(), kSetPayloadLength);
}

bool CCommInterface::RestartDevice() {
    return ExecuteCommand(MSG_RESTART_DEVICE, false, QString(res::text::CmdRestartingDevice),
                          nullptr, 0);
}
