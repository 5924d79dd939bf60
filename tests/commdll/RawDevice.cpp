#include "tests/commdll/RawDevice.h"

#include "commdll/FrameReader.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <vector>

namespace testsupport {

namespace {

constexpr int SLICE_MS = 20;

} // namespace

// One accepted connection and the request it is reading.
struct RawClient {
    std::unique_ptr<QTcpSocket> socket;
    commdll::CFrameReader reader{commdll::FRAME_KIND_REQUEST};
};

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

// Every connection is served, each request in turn, until the client or the script ends it.
void RawDevice::Run() {
    QTcpServer server;
    const bool listening = server.listen(QHostAddress(m_address), 49999);
    {
        std::lock_guard lock(m_mutex);
        m_listening = listening;
        m_startDone = true;
    }
    m_started.notify_all();
    std::vector<std::unique_ptr<RawClient>> clients;
    while (listening && !m_stop) {
        if (server.waitForNewConnection(clients.empty() ? SLICE_MS : 1)) {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                clients.push_back(std::make_unique<RawClient>());
                clients.back()->socket.reset(socket);
                ++m_connections;
            }
        }
        std::erase_if(clients, [this](const auto& client) { return !Serve(*client); });
    }
}

// False once the connection is over.
bool RawDevice::Serve(RawClient& client) {
    QTcpSocket& socket = *client.socket;
    if (socket.bytesAvailable() == 0)
        socket.waitForReadyRead(1);
    char chunk[commdll::FRAME_MAX_SIZE];
    while (socket.bytesAvailable() > 0) {
        const qint64 got =
            socket.read(chunk, std::min<qint64>(client.reader.BytesWanted(), sizeof chunk));
        if (got <= 0)
            break;
        client.reader.Feed(chunk, got);
        if (client.reader.GetState() == commdll::CFrameReader::State::Incomplete)
            continue;
        if (client.reader.GetState() != commdll::CFrameReader::State::Complete)
            return false;
        const commdll::Frame request = client.reader.TakeFrame();
        socket.write(m_script(request.sequence, request.code));
        socket.waitForBytesWritten(1000);
        if (m_after == AfterReply::Close) {
            socket.disconnectFromHost();
            if (socket.state() != QAbstractSocket::UnconnectedState)
                socket.waitForDisconnected(1000);
            return false;
        }
    }
    return socket.state() == QAbstractSocket::ConnectedState;
}

} // namespace testsupport
