// Status requests through the command layer against the encoder simulator, against the
// plainest stop-and-wait request/reply over loopback TCP measured in the same run (our own
// echo server and client, frames of the same sizes). Prints both, their ratio (target: within
// 3x) and the number of 400 ms busy sleeps the command layer took (target: none).
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "platform/MessageBox.h"
#include "sim/EncoderSimulator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <memory>

namespace {

constexpr int kCalls = 2000;
// Runs of each side, taken in turn, best of each: the machine is shared, and the best run
// shows what each path costs rather than what other load cost it.
constexpr int kRuns = 7;
constexpr double kTargetRatio = 3.0;
constexpr int kIoTimeoutMs = 5000;
// Both ends stay on loopback, on addresses no test uses.
const QString kSimulatorAddress = QStringLiteral("127.0.78.1");
const QString kReferenceAddress = QStringLiteral("127.0.78.2");
constexpr quint16 kPort = 49999;
// Frame sizes of a status exchange: header 10 + checksum 2, the reply with 32 bytes.
constexpr int kRequestSize = 12;
constexpr int kReplySize = 12 + 32;

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

// The echo device answers each request with a status-sized reply, in its own thread.
double ReferenceMilliseconds() {
    std::atomic<bool> listening{false};
    std::atomic<bool> served{true};
    std::unique_ptr<QThread> device(QThread::create([&] {
        QTcpServer server;
        listening = server.listen(QHostAddress(kReferenceAddress), kPort);
        if (!listening || !server.waitForNewConnection(kIoTimeoutMs)) {
            served = false;
            return;
        }
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QByteArray request(kRequestSize, '\0');
        const QByteArray reply(kReplySize, 'q');
        for (int i = 0; i < kCalls; ++i)
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
    client.connectToHost(QHostAddress(kReferenceAddress), kPort);
    bool ok = client.waitForConnected(kIoTimeoutMs);
    client.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    const QByteArray request(kRequestSize, '\x12');
    QByteArray reply(kReplySize, '\0');
    for (int i = 0; ok && i < kCalls; ++i)
        ok = WriteAll(client, request) && ReadExactly(client, reply.data(), reply.size());
    const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
    device->wait();
    return ok && served ? ms : -1;
}

double StatusRequestsMilliseconds() {
    CCommInterface comm; // one link for all calls, as the status poller uses it
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kCalls; ++i)
        if (!comm.GetStatusId() || !DeviceData.IsValidDevice())
            return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("RIVIVOZUZUVOD_LOOPBACK_ONLY", "1");
    QCoreApplication app(argc, argv);
    int messages = 0;
    platform::SetMessageBoxHandler([&](const platform::MessageBoxRequest& request) {
        std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
        ++messages;
    });

    sim::SimulatorConfig config;
    config.address = kSimulatorAddress;
    sim::CEncoderSimulator simulator(config);
    if (!simulator.Start()) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(simulator.ErrorString()));
        return 1;
    }
    DeviceData.m_DeviceIp = {127, 0, 78, 1};

    double reference = std::numeric_limits<double>::max();
    double status = std::numeric_limits<double>::max();
    const long sleepsBefore = CCommInterface::BusySleepCount();
    for (int run = 0; run < kRuns && reference >= 0 && status >= 0; ++run) {
        const double referenceRun = ReferenceMilliseconds();
        const double statusRun = StatusRequestsMilliseconds();
        reference = referenceRun < 0 ? -1 : std::min(reference, referenceRun);
        status = statusRun < 0 ? -1 : std::min(status, statusRun);
    }
    const long sleeps = CCommInterface::BusySleepCount() - sleepsBefore;
    if (reference < 0 || status < 0 || messages != 0) {
        std::fprintf(stderr, "a run failed (reference %.1f ms, status %.1f ms, %d messages)\n",
                     reference, status, messages);
        return 1;
    }
    const double ratio = status / reference;
    std::printf("best of %d runs each\n", kRuns);
    std::printf("raw loopback stop-and-wait: %d round trips in %.1f ms (%.1f us each)\n", kCalls,
                reference, reference * 1000.0 / kCalls);
    std::printf("GetStatusId via CCommInterface: %d calls in %.1f ms (%.1f us each); the "
                "simulator answered %d status requests over %d connections\n",
                kCalls, status, status * 1000.0 / kCalls, simulator.RequestCount(0x12),
                simulator.ConnectionCount());
    std::printf("ratio %.2f (target <= %.1f), 400 ms busy sleeps: %ld (target 0)\n", ratio,
                kTargetRatio, sleeps);
    return ratio <= kTargetRatio && sleeps == 0 ? 0 : 2;
}
