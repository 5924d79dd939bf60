#pragma once

#include "commdll/Frame.h"
#include "commdll/FrameReader.h"
#include "commdll/SocketIo.h"
#include "platform/WinTypes.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHostAddress>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

class QTcpSocket;

namespace commdll {

// How one exchange ended: the library status (0 = reply accepted), the system error behind
// a connect failure, and the reply payload.
struct LinkOutcome {
    DWORD status = 0;
    int systemError = 0;
    QByteArray reply;
};

// The socket side of one link. An exchange runs in slices: the caller's thread runs it for
// as long as it waits anyway, and the link's worker runs what is left, so one thread at a
// time uses it and a fast reply needs no other thread. Blocking calls in short slices, so
// that a stop request is noticed quickly.
class CDeviceConnection {
public:
    CDeviceConnection(QString address, quint16 port, const std::atomic<bool>& stop);
    ~CDeviceConnection();
    CDeviceConnection(const CDeviceConnection&) = delete;
    CDeviceConnection& operator=(const CDeviceConnection&) = delete;

    // Runs one exchange to its end within `timeoutMs`, in slices: Begin, then Advance until
    // it gives the outcome (nothing when `slice` ran out first; the time-out runs on). It connects
    // (retrying until the time-out, or while a restarting device may still be away, see
    // CRestartWatch), sends, and waits for the reply to this request. A link that breaks before any
    // byte of the reply arrived is reconnected and the request resent once, with the same sequence
    // number. After a time-out or a broken frame the connection is dropped, so the next request
    // starts clean.
    void Begin(const Frame& request, int timeoutMs);
    std::optional<LinkOutcome> Advance(const QDeadlineTimer& slice);

    // Whether RIVIVOZUZUVOD_LOOPBACK_ONLY=1 forbids the destination.
    static bool RefusedByLoopbackSwitch(const QHostAddress& destination);

private:
    enum class ReadEnd { Reply, Dropped, SliceOver };
    struct ReadResult {
        ReadEnd end = ReadEnd::Reply;
        bool answered = false; // the device's reply to this request arrived
        LinkOutcome outcome;
    };
    enum class Verdict { Accept, Discard };
    enum class Connect { Ready, BackFromRestart, Failed, RestartTimedOut, SliceOver };
    enum class Phase { Connecting, AwaitingReply };

    Connect EnsureConnected(const QDeadlineTimer& deadline, const QDeadlineTimer& slice);
    void FollowDevice(const Frame& request, const ReadResult& result);
    bool StillConnected();
    bool ConnectOnce(const QDeadlineTimer& deadline, const QDeadlineTimer& slice);
    bool Send(const QByteArray& bytes, const QDeadlineTimer& deadline);
    ReadResult AwaitReply(const Frame& request, const QDeadlineTimer& deadline,
                          const QDeadlineTimer& slice);
    void WaitForBytes(const QDeadlineTimer& deadline, const QDeadlineTimer& slice);
    bool FeedAvailableBytes();
    bool FillInbox();
    Verdict Judge(const Frame& request, const Frame& reply, LinkOutcome& outcome) const;
    LinkOutcome FramingError();
    void Drop();
    void Pause(const QDeadlineTimer& deadline, const QDeadlineTimer& slice) const;

    QString m_address;
    quint16 m_port;
    const std::atomic<bool>& m_stop;
    std::unique_ptr<QTcpSocket> m_socket; // connects and closes; the bytes go through m_io
    CSocketIo m_io;
    // Bytes read from the socket that the reader has not taken yet: a read takes what came
    // at once, the reader takes one frame at a time.
    std::array<char, 2 * FRAME_MAX_SIZE> m_inbox{};
    qsizetype m_inboxBegin = 0;
    qsizetype m_inboxEnd = 0;
    bool m_peerClosed = false;
    CFrameReader m_reader{FRAME_KIND_REPLY};
    QString m_announcedAddress; // where the last accepted set tells the device to come back

    // The exchange under way.
    Frame m_request;
    QByteArray m_requestBytes;
    int m_timeoutMs = 0;
    QDeadlineTimer m_deadline;
    bool m_resent = false;
    bool m_replySpun = false;
    int m_connectError = 0; // the system error of the last connect attempt
    Phase m_phase = Phase::Connecting;
};

} // namespace commdll
