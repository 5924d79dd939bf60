#include "sim/EncoderSimulator.h"

#include "sim/DeviceModel.h"
#include "sim/SimulatorServer.h"

#include <QHostAddress>
#include <QMetaObject>
#include <QThread>

namespace sim {

// Everything behind the simulator's API: the device model, shared with the thread that
// runs the network side.
class SimulatorCore {
public:
    explicit SimulatorCore(const SimulatorConfig& config) : config(config), model(config) {}

    // Runs `action` on the simulator's thread and waits for it.
    template <typename Action> void OnSimulatorThread(Action action) {
        if (server != nullptr)
            QMetaObject::invokeMethod(server, action, Qt::BlockingQueuedConnection);
    }

    SimulatorConfig config;
    CDeviceModel model;
    QThread thread;
    CSimulatorServer* server = nullptr; // lives in `thread`
    QString error;
};

CEncoderSimulator::CEncoderSimulator(SimulatorConfig config)
    : m_core(std::make_unique<SimulatorCore>(config)) {
    m_core->thread.setObjectName(QStringLiteral("encoder-sim ") + config.address);
}

CEncoderSimulator::~CEncoderSimulator() {
    Stop();
}

bool CEncoderSimulator::Start() {
    if (m_core->server != nullptr)
        return true;
    const QHostAddress address(m_core->config.address);
    if (address.protocol() != QAbstractSocket::IPv4Protocol ||
        !address.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8)) {
        m_core->error = QStringLiteral("The simulator only listens on 127.0.0.0/8, not '%1'.")
                            .arg(m_core->config.address);
        return false;
    }
    m_core->thread.start();
    m_core->server =
        new CSimulatorServer(m_core->model, m_core->config.address, m_core->config.port);
    m_core->server->moveToThread(&m_core->thread);
    bool listening = false;
    m_core->OnSimulatorThread([&] { listening = m_core->server->Listen(); });
    if (!listening) {
        m_core->error = m_core->server->ErrorString();
        Stop();
    }
    return listening;
}

void CEncoderSimulator::Stop() {
    if (m_core->server == nullptr)
        return;
    CSimulatorServer* server = m_core->server;
    m_core->OnSimulatorThread([server] {
        server->Shutdown();
        delete server;
    });
    m_core->server = nullptr;
    m_core->thread.quit();
    m_core->thread.wait();
}

QString CEncoderSimulator::ErrorString() const {
    return m_core->error;
}

QString CEncoderSimulator::Address() const {
    return m_core->server ? m_core->server->Address() : m_core->config.address;
}

quint16 CEncoderSimulator::Port() const {
    return m_core->config.port;
}

bool CEncoderSimulator::IsListening() const {
    return m_core->server && m_core->server->IsListening();
}

bool CEncoderSimulator::WaitUntilListening(int timeoutMs) const {
    return m_core->server && m_core->server->WaitUntilListening(timeoutMs);
}

bool CEncoderSimulator::WaitForRestarts(int count, int timeoutMs) const {
    return m_core->server && m_core->server->WaitForRestarts(count, timeoutMs);
}

int CEncoderSimulator::RestartCount() const {
    return m_core->server ? m_core->server->RestartCount() : 0;
}

DeviceIdentity CEncoderSimulator::Identity() const {
    return m_core->model.Identity();
}

void CEncoderSimulator::SetIdentity(const DeviceIdentity& identity) {
    m_core->model.SetIdentity(identity);
}

NetworkSettings CEncoderSimulator::Settings() const {
    return m_core->model.Settings();
}

void CEncoderSimulator::SetSettings(const NetworkSettings& settings) {
    m_core->model.SetSettings(settings);
}

ConnectionParams CEncoderSimulator::Connection() const {
    return m_core->model.Connection();
}

void CEncoderSimulator::SetConnection(const ConnectionParams& params) {
    m_core->model.SetConnection(params);
}

qint32 CEncoderSimulator::Position() const {
    return m_core->model.Position();
}

void CEncoderSimulator::SetPosition(qint32 position) {
    m_core->model.SetPosition(position);
}

void CEncoderSimulator::PinPosition(bool pinned) {
    m_core->model.PinPosition(pinned);
}

bool CEncoderSimulator::InBootMode() const {
    return m_core->model.InBootMode();
}

void CEncoderSimulator::SetRestartAwayMs(int ms) {
    m_core->model.SetRestartAwayMs(ms);
}

void CEncoderSimulator::SetBootDelayMs(int ms) {
    m_core->model.SetBootDelayMs(ms);
}

void CEncoderSimulator::SetExecDelayMs(int ms) {
    m_core->model.SetExecDelayMs(ms);
}

void CEncoderSimulator::SetBlockTimeMs(int ms) {
    m_core->model.SetBlockTimeMs(ms);
}

void CEncoderSimulator::SetKeepOldProtocol(bool keep) {
    m_core->model.SetKeepOldProtocol(keep);
}

void CEncoderSimulator::SetKeepOldMode(bool keep) {
    m_core->model.SetKeepOldMode(keep);
}

void CEncoderSimulator::SetFault(BYTE code, Fault fault) {
    m_core->model.SetFault(code, fault);
}

void CEncoderSimulator::ClearFault(BYTE code) {
    m_core->model.ClearFault(code);
}

void CEncoderSimulator::ClearFaults() {
    m_core->model.ClearFaults();
    SetRefuseConnections(false);
}

void CEncoderSimulator::SetReplyOverride(BYTE code, const QByteArray& payload, bool persistent) {
    m_core->model.SetReplyOverride(code, payload, persistent);
}

void CEncoderSimulator::ClearReplyOverride(BYTE code) {
    m_core->model.ClearReplyOverride(code);
}

void CEncoderSimulator::SetRefuseConnections(bool refuse) {
    CSimulatorServer* server = m_core->server;
    m_core->OnSimulatorThread([server, refuse] { server->SetRefuseConnections(refuse); });
}

void CEncoderSimulator::RejectBlock(int blockNumber, BYTE status) {
    m_core->model.RejectBlock(blockNumber, status);
}

void CEncoderSimulator::DropAtBlock(int blockNumber) {
    m_core->model.DropAtBlock(blockNumber);
}

void CEncoderSimulator::DropReplyAtBlock(int blockNumber) {
    m_core->model.DropReplyAtBlock(blockNumber);
}

void CEncoderSimulator::ClearBlockFaults() {
    m_core->model.ClearBlockFaults();
}

std::vector<ReceivedRequest> CEncoderSimulator::Requests() const {
    return m_core->model.Requests();
}

int CEncoderSimulator::RequestCount(BYTE code) const {
    return m_core->model.RequestCount(code);
}

int CEncoderSimulator::AppliedCount(BYTE code) const {
    return m_core->model.AppliedCount(code);
}

std::vector<QByteArray> CEncoderSimulator::SetPayloads() const {
    return m_core->model.SetPayloads();
}

std::vector<FirmwareBlock> CEncoderSimulator::FirmwareBlocks() const {
    return m_core->model.FirmwareBlocks();
}

int CEncoderSimulator::ConnectionCount() const {
    return m_core->server ? m_core->server->ConnectionCount() : 0;
}

void CEncoderSimulator::ClearLog() {
    m_core->model.ClearLog();
}

} // namespace sim
