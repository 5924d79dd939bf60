#include "sim/SimulatorConnection.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace sim {

namespace {

// A client that piles up more unanswered requests than this is dropped.
constexpr std::size_t MAX_QUEUED_REQUESTS = 64;

} // namespace

CSimulatorConnection::CSimulatorConnection(QTcpSocket* socket, CDeviceModel& model, QObject* parent)
    : QObject(parent), m_socket(socket), m_model(model) {
    m_socket->setParent(this);
    connect(m_socket, &QTcpSocket::readyRead, this, &CSimulatorConnection::OnReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] { emit Closed(this); });
}

void CSimulatorConnection::Close() {
    m_closing = true;
    m_queue.clear();
    m_socket->disconnectFromHost(); // what was written still goes out first
}

void CSimulatorConnection::OnReadyRead() {
    char chunk[commdll::FRAME_MAX_SIZE];
    while (!m_closing && m_socket->bytesAvailable() > 0) {
        const qint64 wanted = std::min<qint64>(m_reader.BytesWanted(), sizeof chunk);
        const qint64 got = m_socket->read(chunk, wanted);
        if (got <= 0)
            break;
        m_reader.Feed(chunk, got);
        const auto state = m_reader.GetState();
        if (state == commdll::CFrameReader::State::Complete) {
            m_queue.push_back(m_reader.TakeFrame());
        } else if (state != commdll::CFrameReader::State::Incomplete ||
                   m_queue.size() > MAX_QUEUED_REQUESTS) {
            Close(); // out of step with the client: start over on a new connection
            return;
        }
    }
    ProcessQueue();
}

void CSimulatorConnection::ProcessQueue() {
    while (!m_replyPending && !m_closing && !m_queue.empty()) {
        const commdll::Frame request = std::move(m_queue.front());
        m_queue.pop_front();
        const ReplyPlan plan = m_model.Handle(request);
        if (plan.delayMs <= 0) {
            Carry(plan);
            continue;
        }
        m_replyPending = true;
        // A device that takes its time never answers early: a coarse timer may fire 5% early.
        QTimer::singleShot(plan.delayMs, Qt::PreciseTimer, this, [this, plan] {
            m_replyPending = false;
            Carry(plan);
            ProcessQueue();
        });
    }
}

void CSimulatorConnection::Carry(const ReplyPlan& plan) {
    if (m_closing)
        return;
    if (!plan.bytes.isEmpty())
        m_socket->write(plan.bytes);
    if (plan.dropAfter)
        Close();
    if (plan.restartAfter) {
        m_socket->flush();
        emit RestartRequested();
    }
}

} // namespace sim
