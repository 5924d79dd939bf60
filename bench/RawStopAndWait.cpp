#include "RawStopAndWait.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <atomic>
#include <memory>

namespace bench {
namespace {

constexpr int kIoTimeoutMs = 5000;
constexpr int kMaxFrameSize = 1 << 16;

// Looks for the reply without sleeping for up to 1 ms first, as the library does: a thread
// put to sleep is often woken on the other processor, which costs more than the round trip
// and would make the reference depend on where the scheduler put the threads.
bool AwaitBytes(QTcpSocket& socket) {
    QElapsedTimer spin;
    spin.start();
    while (spin.nsecsElapsed() < 1000000) {
        if (socket.bytesAvailable() > 0 || socket.waitForReadyRead(0))
            return true;
        QThread::yieldCurrentThread();
    }
    return socket.bytesAvailable() > 0 || socket.waitForReadyRead(kIoTimeoutMs);
}

bool ReadExactly(QTcpSocket& socket, char* data, qint64 length) {
    qint64 done = 0;
    while (done < length) {
        if (socket.bytesAvailable() == 0 && !AwaitBytes(socket))
            return false;
        const qint64 got = socket.read(data + done, length - done);
        if (got < 0)
            return false;
        done += got;
    }
    return true;
}

bool WriteAll(QTcpSocket& socket, const QByteArray& bytes) {
    if (socket.write(bytes) != bytes.size())
        return false;
    while (socket.bytesToWrite() > 0)
        if (!socket.waitForBytesWritten(kIoTimeoutMs))
            return false;
    return true;
}

bool ValidSizes(const StopAndWaitConfig& config) {
    const auto inRange = [](int size) { return size > 0 && size <= kMaxFrameSize; };
    return inRange(config.requestSize) && inRange(config.replySize) && config.roundTrips > 0;
}

} // namespace

double RawStopAndWaitMilliseconds(const StopAndWaitConfig& config) {
    if (!ValidSizes(config) || !QHostAddress(config.address).isLoopback())
        return -1;
    const QHostAddress address(config.address);
    std::atomic<bool> listening{false};
    std::atomic<bool> served{true};
    // The echo device answers each request with a reply of the configured size.
    std::unique_ptr<QThread> device(QThread::create([&] {
        QTcpServer server;
        listening = server.listen(address, config.port);
        if (!listening || !server.waitForNewConnection(kIoTimeoutMs)) {
            served = false;
            return;
        }
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QByteArray request(config.requestSize, '\0');
        const QByteArray reply(config.replySize, 'q');
        for (int i = 0; i < config.roundTrips; ++i)
            if (!ReadExactly(*socket, request.data(), request.size()) ||
                !WriteAll(*socket, reply)) {
                served = false;
                return;
            }
    }));
    device->start();
    while (!listening && device->isRunning())
        QThread::yieldCurrentThread();

    QElapsedTimer timer;
    timer.start();
    QTcpSocket client;
    client.connectToHost(address, config.port);
    bool ok = client.waitForConnected(kIoTimeoutMs);
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray request(config.requestSize, '\x12');
    QByteArray reply(config.replySize, '\0');
    for (int i = 0; ok && i < config.roundTrips; ++i)
        ok = WriteAll(client, request) && ReadExactly(client, reply.data(), reply.size());
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    device->wait();
    return ok && served ? ms : -1;
}

} // namespace bench
