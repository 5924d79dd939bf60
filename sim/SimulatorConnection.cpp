#include "sim/SimulatorConnection.h"

#include "commdll/SocketIo.h"

#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <thread>

namespace sim {

namespace {

// A client that piles up more unanswered requests than this is dropped.
constexpr std::size_t MAX_QUEUED_REQUESTS = 64;
constexpr std::chrono::microseconds NEXT_REQUEST_SPIN{200};

} // namespace

CSimulatorConnection::CSimulatorConnection(QTcpSocket* socket, CDeviceModel& model, QObject* parent)
    : QObject(parent), m_socket(socket), m_io(socket->socketDescriptor()), m_model(model) {
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
    AwaitNextRequestBriefly();
}

// A client that sends its next request as soon as the reply is in (a firmware upgrade, a
// scan) finds the device awake: the thread looks for it without sleeping for a short while,
// as the link does for a reply, instead of being woken for each request. The event loop then
// takes it in without waiting.
void CSimulatorConnection::AwaitNextRequestBriefly() {
    if (m_replyPending || m_closing)
        return;
    const auto end = std::chrono::steady_clock::now() + NEXT_REQUEST_SPIN;
    while (std::chrono::steady_clock::now() < end) {
        if (m_io.HasPendingInput())
            return;
        std::this_thread::yield();
    }
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

// Straight onto the connection while nothing waits in the socket's own buffer, so the reply
// leaves now rather than at the next turn of the event loop; what the system does not take
// at once is left to the socket, behind it.
void CSimulatorConnection::Send(const QByteArray& bytes) {
    qint64 sent = 0;
    if (m_socket->bytesToWrite() == 0)
        sent = std::max<qint64>(0, m_io.Send(bytes.constData(), bytes.size()));
    if (sent < bytes.size())
        m_socket->write(bytes.constData() + sent, bytes.size() - sent);
}

void CSimulatorConnection::Carry(const ReplyPlan& plan) {
    if (m_closing)
        return;
    if (!plan.bytes.isEmpty())
        Send(plan.bytes);
    if (plan.dropAfter)
        Close();
    if (plan.restartAfter) {
        m_socket->flush();
        emit RestartRequested();
    }
}

} // namespace sim
