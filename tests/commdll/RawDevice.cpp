#include "tests/commdll/RawDevice.h"

#include "commdll/Frame.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <chrono>
#include <vector>

namespace testsupport {

namespace {

constexpr int SLICE_MS = 20;

std::uint32_t SequenceOf(const QByteArray& header) {
    std::uint32_t value = 0;
    for (int i = 2; i < 6; ++i)
        value = (value << 8) | static_cast<BYTE>(header[i]);
    return value;
}

} // namespace

RawDevice::RawDevice(QString address, Script script, AfterReply after)
    : m_address(std::move(address)), m_script(std::move(script)), m_after(after) {}

RawDevice::~RawDevice() {
    m_stop = true;
    if (m_thread)
        m_thread->wait();
}

bool RawDevice::Start() {
    m_thread.reset(QThread::create([this] { Run(); }));
    m_thread->start();
    std::unique_lock lock(m_mutex);
    m_started.wait_for(lock, std::chrono::seconds(10), [this] { return m_startDone; });
    return m_listening;
}

void RawDevice::Run() {
    QTcpServer server;
    const bool listening = server.listen(QHostAddress(m_address), 49999);
    {
        std::lock_guard lock(m_mutex);
        m_listening = listening;
        m_startDone = true;
    }
    m_started.notify_all();
    std::vector<std::unique_ptr<QTcpSocket>> openSockets;
    while (listening && !m_stop) {
        if (!server.waitForNewConnection(SLICE_MS))
            continue;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        ++m_connections;
        // The request header tells which sequence number and code to answer.
        while (!m_stop && socket->bytesAvailable() < commdll::FRAME_HEADER_SIZE &&
               socket->state() == QAbstractSocket::ConnectedState)
            socket->waitForReadyRead(SLICE_MS);
        const QByteArray header = socket->read(commdll::FRAME_HEADER_SIZE);
        if (header.size() < commdll::FRAME_HEADER_SIZE)
            continue;
        socket->write(m_script(SequenceOf(header), static_cast<BYTE>(header[6])));
        socket->waitForBytesWritten(1000);
        if (m_after == AfterReply::Close) {
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        } else {
            openSockets.push_back(std::move(socket));
        }
    }
}

} // namespace testsupport
