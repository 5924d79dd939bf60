#pragma once

#include "commdll/Frame.h"
#include "commdll/FrameReader.h"
#include "platform/WinTypes.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>

#include <atomic>
#include <memory>

class QTcpSocket;

namespace commdll {

// How one exchange ended: the library status (0 = reply accepted), the system error behind
// a connect failure, and the reply payload.
struct LinkOutcome {
    DWORD status = 0;
    int systemError = 0;
    QByteArray reply;
};

// The socket side of one link, used by the link's worker thread only. Blocking calls in
// short slices, so that a stop request is noticed quickly.
class CDeviceConnection {
public:
    CDeviceConnection(QString address, quint16 port, const std::atomic<bool>& stop);
    ~CDeviceConnection();
    CDeviceConnection(const CDeviceConnection&) = delete;
    CDeviceConnection& operator=(const CDeviceConnection&) = delete;

    // Runs one exchange to its end within `timeoutMs`: connects (retrying until the time-out,
    // or while a restarting device may still be away, see CRestartWatch), sends, and waits for
    // the reply to this request. A link that breaks before any byte of the reply arrived is
    // reconnected and the request resent once, with the same sequence number. After a
    // time-out or a broken frame the connection is dropped, so the next request starts clean.
    LinkOutcome Exchange(const Frame& request, int timeoutMs);

    // Whether RIVIVOZUZUVOD_LOOPBACK_ONLY=1 forbids the destination.
    static bool RefusedByLoopbackSwitch(const QHostAddress& destination);

private:
    enum class ReadEnd { Reply, Dropped };
    struct ReadResult {
        ReadEnd end = ReadEnd::Reply;
        bool answered = false; // the device's reply to this request arrived
        LinkOutcome outcome;
    };
    enum class Verdict { Accept, Discard };
    enum class Connect { Ready, BackFromRestart, Failed, RestartTimedOut };

    Connect EnsureConnected(const QDeadlineTimer& deadline, int& systemError);
    void FollowDevice(const Frame& request, const ReadResult& result);
    bool StillConnected();
    bool ConnectOnce(const QDeadlineTimer& deadline, int& systemError);
    bool Send(const QByteArray& bytes, const QDeadlineTimer& deadline);
    ReadResult AwaitReply(const Frame& request, const QDeadlineTimer& deadline);
    bool FeedAvailableBytes();
    Verdict Judge(const Frame& request, const Frame& reply, LinkOutcome& outcome) const;
    LinkOutcome FramingError();
    void Drop();
    void Pause(const QDeadlineTimer& deadline) const;

    QString m_address;
    quint16 m_port;
    const std::atomic<bool>& m_stop;
    std::unique_ptr<QTcpSocket> m_socket;
    CFrameReader m_reader{FRAME_KIND_REPLY};
    QString m_announcedAddress; // where the last accepted set tells the device to come back
};

} // namespace commdll
