#pragma once

#include "sim/DeviceModel.h"

#include <QObject>
#include <QString>

#include <condition_variable>
#include <mutex>

class QTcpServer;

namespace sim {

class CSimulatorConnection;

// The network side of the simulated device. Lives in the simulator's thread; its slots run
// there. The status getters and waits are thread-safe.
class CSimulatorServer : public QObject {
    Q_OBJECT

public:
    CSimulatorServer(CDeviceModel& model, QString address, quint16 port);
    ~CSimulatorServer() override;

    // Simulator thread only.
    bool Listen();
    void Shutdown();
    void SetRefuseConnections(bool refuse);

    // Any thread.
    QString Address() const;
    quint16 Port() const { return m_port; }
    bool IsListening() const;
    QString ErrorString() const;
    int RestartCount() const;
    int ConnectionCount() const;
    bool WaitUntilListening(int timeoutMs) const;
    bool WaitForRestarts(int count, int timeoutMs) const;

private:
    void OnNewConnection();
    void BeginRestart();
    void EndRestart();
    bool ListenAt(const QString& address, bool endsRestart = false);
    void StopListening();
    void UpdateListening();

    CDeviceModel& m_model;
    quint16 m_port;
    QTcpServer* m_server = nullptr; // child
    bool m_refusing = false;
    bool m_restarting = false;

    mutable std::mutex m_statusMutex;
    mutable std::condition_variable m_statusChanged;
    QString m_address;
    bool m_listening = false;
    QString m_error;
    int m_restarts = 0;
    int m_connections = 0;
};

} // namespace sim
