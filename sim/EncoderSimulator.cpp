#include "sim/EncoderSimulator.h"

#include "sim/DeviceModel.h"
#include "sim/SimulatorServer.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QMetaObject>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace sim {

// Everything behind the simulator's API: the device model, shared with the thread that
// runs the network side. That thread is a plain thread running an event loop; every hand-over
// between it and the caller's thread goes through `handOver`, so that a thread checker sees
// each value pass from one thread to the other (the toolkit's own queue locks are hidden
// from it).
class SimulatorCore;

// The core whose thread this is: an action finds the lock from here, without reading anything
// the caller wrote before it holds the lock.
thread_local SimulatorCore* t_runningCore = nullptr;

class SimulatorCore {
public:
    explicit SimulatorCore(const SimulatorConfig& config) : config(config), model(config) {}

    // Starts the thread, which creates the server and has it listen. False, with `error`,
    // when it cannot listen; the thread has then ended.
    bool Start() {
        started = false;
        thread = std::thread([this] { Run(); });
        std::unique_lock lock(handOver);
        handedBack.wait(lock, [this] { return started; });
        lock.unlock();
        if (server == nullptr)
            thread.join();
        return server != nullptr;
    }

    void Stop() {
        if (server == nullptr)
            return;
        OnSimulatorThread([this] {
            server->Shutdown();
            delete server;
            loop->quit();
        });
        server = nullptr;
        thread.join();
    }

    // Runs `action` on the simulator's thread and waits for it.
    template <typename Action> void OnSimulatorThread(Action action) {
        if (server == nullptr)
            return;
        std::unique_lock lock(handOver);
        bool done = false;
        QMetaObject::invokeMethod(
            context,
            [this, &action, &done] {
                // The lock comes first: the action's captures were written by the caller.
                std::unique_lock inner(t_runningCore->handOver);
                action();
                done = true;
                inner.unlock();
                handedBack.notify_all();
            },
            Qt::QueuedConnection);
        handedBack.wait(lock, [&done] { return done; });
    }

    SimulatorConfig config;
    CDeviceModel model;
    CSimulatorServer* server = nullptr; // lives in `thread`
    QString error;

private:
    void Run() {
        t_runningCore = this;
        QEventLoop eventLoop;
        QObject receiver;
        auto* created = new CSimulatorServer(model, config.address, config.port);
        const bool listening = created->Listen();
        {
            std::lock_guard lock(handOver);
            started = true;
            if (listening) {
                server = created;
                context = &receiver;
                loop = &eventLoop;
            } else {
                error = created->ErrorString();
            }
        }
        handedBack.notify_all();
        if (!listening) {
            delete created;
            return;
        }
        eventLoop.exec();
    }

    std::thread thread;
    std::mutex handOver;
    std::condition_variable handedBack;
    bool started = false;
    QObject* context = nullptr; // receives the actions, in `thread`
    QEventLoop* loop = nullptr;
};

CEncoderSimulator::CEncoderSimulator(SimulatorConfig config)
    : m_core(std::make_unique<SimulatorCore>(config)) {}

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
    return m_core->Start();
}

void CEncoderSimulator::Stop() {
    m_core->Stop();
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
