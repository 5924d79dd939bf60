#pragma once

#include "commdll/FrameReader.h"
#include "commdll/SocketIo.h"
#include "sim/DeviceModel.h"

#include <QObject>

#include <deque>

class QTcpSocket;

namespace sim {

// One client of the simulated device. Requests are answered strictly in the order they
// arrived, as the device's single request handler would: a slow answer holds back the
// answers behind it.
class CSimulatorConnection : public QObject {
    Q_OBJECT

public:
    CSimulatorConnection(QTcpSocket* socket, CDeviceModel& model, QObject* parent);
    void Close();

signals:
    void RestartRequested();
    void Closed(CSimulatorConnection* connection);

private:
    void OnReadyRead();
    void ProcessQueue();
    void Carry(const ReplyPlan& plan);
    void Send(const QByteArray& bytes);
    void AwaitNextRequestBriefly();

    QTcpSocket* m_socket; // child of this object
    commdll::CSocketIo m_io;
    CDeviceModel& m_model;
    commdll::CFrameReader m_reader{commdll::FRAME_KIND_REQUEST};
    std::deque<commdll::Frame> m_queue;
    bool m_replyPending = false;
    bool m_closing = false;
};

} // namespace sim
