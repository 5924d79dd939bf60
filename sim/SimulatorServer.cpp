#include "sim/SimulatorServer.h"

#include "sim/SimulatorConnection.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <chrono>

namespace sim {

CSimulatorServer::CSimulatorServer(CDeviceModel& model, QString address, quint16 port)
    : m_model(model), m_port(port), m_address(std::move(address)) {}

CSimulatorServer::~CSimulatorServer() = default;

bool CSimulatorServer::Listen() {
    return ListenAt(Address());
}

void CSimulatorServer::Shutdown() {
    StopListening();
    for (auto* connection : findChildren<CSimulatorConnection*>(Qt::FindDirectChildrenOnly))
        delete connection;
}

void CSimulatorServer::SetRefuseConnections(bool refuse) {
    m_refusing = refuse;
    UpdateListening();
}

bool CSimulatorServer::ListenAt(const QString& address, bool endsRestart) {
    if (m_server == nullptr) {
        m_server = new QTcpServer(this);
        connect(m_server, &QTcpServer::newConnection, this, &CSimulatorServer::OnNewConnection);
    }
    const bool ok = m_server->listen(QHostAddress(address), m_port);
    {
        std::lock_guard lock(m_statusMutex);
        m_address = address;
        m_listening = ok;
        m_error = ok ? QString() : m_server->errorString();
        // Counted together with listening, so that a waiter sees both at once.
        if (endsRestart && ok)
            ++m_restarts;
    }
    m_statusChanged.notify_all();
    return ok;
}

void CSimulatorServer::StopListening() {
    if (m_server != nullptr)
        m_server->close();
    {
        std::lock_guard lock(m_statusMutex);
        m_listening = false;
    }
    m_statusChanged.notify_all();
}

// Refused connections are a closed listening socket, as on a device whose stack is down.
void CSimulatorServer::UpdateListening() {
    const bool wanted = !m_refusing && !m_restarting;
    if (wanted && !m_server->isListening())
        ListenAt(Address());
    else if (!wanted)
        StopListening();
}

void CSimulatorServer::OnNewConnection() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        if (m_refusing || m_restarting) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto* connection = new CSimulatorConnection(socket, m_model, this);
        connect(connection, &CSimulatorConnection::RestartRequested, this,
                &CSimulatorServer::BeginRestart, Qt::QueuedConnection);
        connect(connection, &CSimulatorConnection::Closed, this,
                [](CSimulatorConnection* closed) { closed->deleteLater(); });
        std::lock_guard lock(m_statusMutex);
        ++m_connections;
    }
}

// The restart reply has been written; the device now drops every link and is away.
void CSimulatorServer::BeginRestart() {
    if (m_restarting)
        return;
    m_restarting = true;
    StopListening();
    for (auto* connection : findChildren<CSimulatorConnection*>(Qt::FindDirectChildrenOnly))
        connection->Close();
    // Away for the whole time, never less: a coarse timer may fire 5% early.
    QTimer::singleShot(m_model.RestartAwayMs(), Qt::PreciseTimer, this,
                       &CSimulatorServer::EndRestart);
}

void CSimulatorServer::EndRestart() {
    const QString oldAddress = Address();
    const QString newAddress = m_model.ApplyRestart(oldAddress);
    m_restarting = false;
    if (m_refusing) {
        std::lock_guard lock(m_statusMutex);
        m_address = newAddress;
        ++m_restarts;
    } else if (!ListenAt(newAddress, true) && !ListenAt(oldAddress, true)) {
        std::lock_guard lock(m_statusMutex);
        ++m_restarts;
    }
    m_statusChanged.notify_all();
}

QString CSimulatorServer::Address() const {
    std::lock_guard lock(m_statusMutex);
    return m_address;
}

bool CSimulatorServer::IsListening() const {
    std::lock_guard lock(m_statusMutex);
    return m_listening;
}

QString CSimulatorServer::ErrorString() const {
    std::lock_guard lock(m_statusMutex);
    return m_error;
}

int CSimulatorServer::RestartCount() const {
    std::lock_guard lock(m_statusMutex);
    return m_restarts;
}

int CSimulatorServer::ConnectionCount() const {
    std::lock_guard lock(m_statusMutex);
    return m_connections;
}

bool CSimulatorServer::WaitUntilListening(int timeoutMs) const {
    std::unique_lock lock(m_statusMutex);
    return m_statusChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this] { return m_listening; });
}

bool CSimulatorServer::WaitForRestarts(int count, int timeoutMs) const {
    std::unique_lock lock(m_statusMutex);
    return m_statusChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                    [this, count] { return m_restarts >= count; });
}

} // namespace sim
