#include "commdll/DeviceConnection.h"

#include "commdll/CommStatus.h"
#include "commdll/RestartWatch.h"
#include "commdll/SerialComm.h"
#include "commdll/SocketIo.h"
#include "platform/Ipv4Address.h"

#include <QTcpSocket>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

namespace commdll {

namespace {

constexpr int WAIT_SLICE_MS = 50;        // longest blocking wait before the stop flag is checked
constexpr int CONNECT_ATTEMPT_MS = 1000; // one connect attempt (a failed connect ends sooner)
constexpr int CONNECT_RETRY_PAUSE_MS = 25;
constexpr std::chrono::microseconds REPLY_SPIN{200};

// Milliseconds left before the earlier of the two ends, at most `cap`.
int Remaining(const QDeadlineTimer& deadline, const QDeadlineTimer& slice, int cap) {
    const QDeadlineTimer first = std::min(deadline, slice);
    return static_cast<int>(std::clamp<qint64>(first.remainingTime(), 0, cap));
}

int ErrnoOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError:
        return ECONNRESET;
    case QAbstractSocket::HostNotFoundError:
        return EHOSTUNREACH;
    case QAbstractSocket::SocketAccessError:
        return EACCES;
    case QAbstractSocket::SocketTimeoutError:
        return ETIMEDOUT;
    case QAbstractSocket::NetworkError:
        return ENETUNREACH;
    case QAbstractSocket::AddressInUseError:
        return EADDRINUSE;
    default:
        return EIO;
    }
}

LinkOutcome Failure(DWORD status, int systemError = 0) {
    return {status, systemError, {}};
}

DWORD DeviceStatusAsLibraryStatus(BYTE status) {
    for (const DWORD own : kLibraryStatusCodes) {
        if (status == own)
            return COMM_ERROR_DEVICE_STATUS;
    }
    return status;
}

// Requests whose meaning the link follows: a set announces where the device comes back, a
// restart sends it away for a while.
constexpr BYTE CODE_RESTART = 0x01;
constexpr BYTE CODE_SET_PARAMS = 0x2A;
constexpr int SET_PAYLOAD_IP_OFFSET = 5;

QString AddressIn(const QByteArray& setPayload) {
    if (setPayload.size() < SET_PAYLOAD_IP_OFFSET + 4)
        return {};
    const auto octet = [&](int i) {
        return static_cast<BYTE>(setPayload[SET_PAYLOAD_IP_OFFSET + i]);
    };
    return Ipv4Address({octet(0), octet(1), octet(2), octet(3)}).ToString();
}

} // namespace

CDeviceConnection::CDeviceConnection(QString address, quint16 port, const std::atomic<bool>& stop)
    : m_address(std::move(address)), m_port(port), m_stop(stop) {}

CDeviceConnection::~CDeviceConnection() {
    Drop();
}

bool CDeviceConnection::RefusedByLoopbackSwitch(const QHostAddress& destination) {
    if (qEnvironmentVariableIntValue("RIVIVOZUZUVOD_LOOPBACK_ONLY") != 1)
        return false;
    return !destination.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8);
}

void CDeviceConnection::Begin(const Frame& request, int timeoutMs) {
    m_request = request;
    m_requestBytes = EncodeFrame(request);
    m_timeoutMs = timeoutMs;
    m_deadline = QDeadlineTimer(timeoutMs);
    m_resent = false;
    m_replySpun = false;
    m_connectError = ETIMEDOUT;
    m_phase = Phase::Connecting;
}

std::optional<LinkOutcome> CDeviceConnection::Advance(const QDeadlineTimer& slice) {
    if (m_requestBytes.isEmpty())
        return Failure(COMM_ERROR_INVALID_ARGUMENT);
    for (;;) {
        if (m_phase == Phase::Connecting) {
            const Connect connect = EnsureConnected(m_deadline, slice);
            if (connect == Connect::SliceOver)
                return std::nullopt;
            if (m_stop && connect != Connect::Ready)
                return Failure(COMM_STATUS_FAILED_SILENT);
            if (connect == Connect::Failed)
                return Failure(COMM_ERROR_CONNECT, m_connectError);
            if (connect == Connect::RestartTimedOut)
                return Failure(COMM_ERROR_TIMEOUT, ETIMEDOUT);
            if (connect == Connect::BackFromRestart)
                m_deadline = QDeadlineTimer(m_timeoutMs); // the ordinary time-out counts from here
            if (Send(m_requestBytes, m_deadline))
                m_phase = Phase::AwaitingReply;
        }
        ReadResult result{ReadEnd::Dropped, false, {}};
        if (m_phase == Phase::AwaitingReply)
            result = AwaitReply(m_request, m_deadline, slice);
        if (result.end == ReadEnd::SliceOver)
            return std::nullopt;
        if (result.end == ReadEnd::Reply) {
            FollowDevice(m_request, result);
            return result.outcome;
        }
        m_phase = Phase::Connecting;
        Drop();
        if (m_stop)
            return Failure(COMM_STATUS_FAILED_SILENT);
        if (m_resent)
            return Failure(COMM_ERROR_TRANSMIT);
        m_resent = true;
    }
}

// A device that answers is there: a restart watch on its address ends. A restart request
// that went out starts one, for the address the link talks to and for the one a set before it
// announced, where the device comes back.
void CDeviceConnection::FollowDevice(const Frame& request, const ReadResult& result) {
    if (result.answered && request.code != CODE_RESTART)
        CRestartWatch::End(m_address, m_port);
    if (request.code == CODE_SET_PARAMS && result.outcome.status == COMM_STATUS_DONE)
        m_announcedAddress = AddressIn(request.payload);
    if (request.code != CODE_RESTART)
        return;
    CRestartWatch::Begin(m_address,
                         m_announcedAddress == m_address ? QString() : m_announcedAddress, m_port);
    m_announcedAddress.clear();
}

CDeviceConnection::Connect CDeviceConnection::EnsureConnected(const QDeadlineTimer& deadline,
                                                              const QDeadlineTimer& slice) {
    const QHostAddress destination(m_address);
    if (destination.isNull() || destination.protocol() != QAbstractSocket::IPv4Protocol) {
        m_connectError = EINVAL;
        return Connect::Failed;
    }
    if (RefusedByLoopbackSwitch(destination)) {
        m_connectError = ENETUNREACH;
        return Connect::Failed;
    }
    if (StillConnected())
        return Connect::Ready;
    // A restarting device refuses connections for a while: wait for it as long as the restart
    // may take, when that is longer than the request's own time-out.
    const std::optional<QDeadlineTimer> restart = CRestartWatch::Deadline(m_address, m_port);
    const bool awaitRestart = restart && deadline < *restart;
    const QDeadlineTimer until = awaitRestart ? *restart : deadline;
    while (!m_stop && !until.hasExpired()) {
        if (slice.hasExpired())
            return Connect::SliceOver;
        if (ConnectOnce(until, slice))
            return awaitRestart ? Connect::BackFromRestart : Connect::Ready;
        Pause(until, slice);
    }
    return awaitRestart ? Connect::RestartTimedOut : Connect::Failed;
}

// A device that restarted has closed its side, and bytes that came before a request went out
// belong to no request (the rest of an earlier reply, a stray frame): either way the next
// request starts on a new connection. Looking once without blocking shows both.
bool CDeviceConnection::StillConnected() {
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    if (m_inboxBegin == m_inboxEnd && !m_io.HasPendingInput())
        return true;
    Drop();
    return false;
}

bool CDeviceConnection::ConnectOnce(const QDeadlineTimer& deadline, const QDeadlineTimer& slice) {
    Drop();
    m_socket = std::make_unique<QTcpSocket>();
    // The exchange moves from the caller's thread to the link's worker: no thread's event
    // loop may serve the socket, or its notifiers would read it behind the worker's back.
    m_socket->moveToThread(nullptr);
    m_socket->connectToHost(QHostAddress(m_address), m_port);
    if (m_socket->waitForConnected(std::max(1, Remaining(deadline, slice, CONNECT_ATTEMPT_MS)))) {
        // Small request/reply frames: each goes out at once, never held back to be merged.
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Once connected, the bytes go through the descriptor directly (see CSocketIo).
        m_io = CSocketIo(m_socket->socketDescriptor());
        m_peerClosed = false;
        m_reader.Reset();
        return true;
    }
    // An attempt cut short by the slice says nothing about the device.
    if (!slice.hasExpired())
        m_connectError = ErrnoOf(m_socket->error());
    Drop();
    return false;
}

bool CDeviceConnection::Send(const QByteArray& bytes, const QDeadlineTimer& deadline) {
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const qint64 moved = m_io.Send(bytes.constData() + sent, bytes.size() - sent);
        if (moved == CSocketIo::FAILED)
            return false;
        if (moved > 0) {
            sent += moved;
            continue;
        }
        if (m_stop || deadline.hasExpired())
            return false;
        m_io.WaitWritable(std::max(1, Remaining(deadline, deadline, WAIT_SLICE_MS)));
    }
    return true;
}

CDeviceConnection::ReadResult CDeviceConnection::AwaitReply(const Frame& request,
                                                            const QDeadlineTimer& deadline,
                                                            const QDeadlineTimer& slice) {
    for (;;) {
        while (FeedAvailableBytes()) {
            if (m_reader.GetState() != CFrameReader::State::Complete)
                return {ReadEnd::Reply, false, FramingError()};
            LinkOutcome outcome;
            if (Judge(request, m_reader.TakeFrame(), outcome) == Verdict::Accept)
                return {ReadEnd::Reply, true, outcome};
        }
        if (m_stop)
            return {ReadEnd::Reply, false, Failure(COMM_STATUS_FAILED_SILENT)};
        const bool partial = m_reader.HasPartialFrame();
        if (deadline.hasExpired()) {
            // What arrives later (the rest of a cut-short frame, the late reply) must never be
            // read as the answer to a later request: that one starts on a new connection.
            Drop();
            return {ReadEnd::Reply, false,
                    Failure(partial ? COMM_ERROR_LENGTH : COMM_ERROR_TIMEOUT)};
        }
        if (m_peerClosed) {
            // Part of a reply and then the end of the link: the reply was cut short.
            if (partial) {
                Drop();
                return {ReadEnd::Reply, false, Failure(COMM_ERROR_LENGTH)};
            }
            return {ReadEnd::Dropped, false, {}};
        }
        if (slice.hasExpired())
            return {ReadEnd::SliceOver, false, {}};
        WaitForBytes(deadline, slice);
    }
}

// The reply of a device on the local network comes within microseconds: looking for it
// without sleeping for a short while first saves a wake-up that costs more than the
// exchange. Once per exchange; after that the thread sleeps until bytes come.
void CDeviceConnection::WaitForBytes(const QDeadlineTimer& deadline, const QDeadlineTimer& slice) {
    if (!m_replySpun) {
        m_replySpun = true;
        const auto spinEnd = std::chrono::steady_clock::now() + REPLY_SPIN;
        while (std::chrono::steady_clock::now() < spinEnd) {
            if (m_io.HasPendingInput())
                return;
            std::this_thread::yield();
        }
    }
    m_io.WaitReadable(std::max(1, Remaining(deadline, slice, WAIT_SLICE_MS)));
}

// Hands the reader only as many bytes as the current frame still needs; what follows stays in
// the inbox for the next frame. True when the reader has a frame or an error to look at.
bool CDeviceConnection::FeedAvailableBytes() {
    for (;;) {
        if (m_inboxBegin == m_inboxEnd && !FillInbox())
            return false;
        const qsizetype taken =
            m_reader.Feed(m_inbox.data() + m_inboxBegin, m_inboxEnd - m_inboxBegin);
        m_inboxBegin += taken;
        if (m_reader.GetState() != CFrameReader::State::Incomplete)
            return true;
    }
}

// One read of what the socket holds, up to the inbox's size. False when nothing came: none
// waiting, or the peer closed (m_peerClosed), or the link failed (counted as closed).
bool CDeviceConnection::FillInbox() {
    m_inboxBegin = m_inboxEnd = 0;
    if (m_peerClosed)
        return false;
    const qint64 got = m_io.Receive(m_inbox.data(), static_cast<qint64>(m_inbox.size()));
    if (got > 0) {
        m_inboxEnd = static_cast<qsizetype>(got);
        return true;
    }
    if (got != CSocketIo::WOULD_BLOCK)
        m_peerClosed = true;
    return false;
}

CDeviceConnection::Verdict CDeviceConnection::Judge(const Frame& request, const Frame& reply,
                                                    LinkOutcome& outcome) const {
    // Sequence numbers are compared as distances modulo 2^32: a reply from behind is a late
    // answer to an earlier request, one from ahead answers a request never sent.
    const std::uint32_t distance = reply.sequence - request.sequence;
    if (distance >= 0x80000000u)
        return Verdict::Discard;
    if (distance != 0)
        outcome = Failure(COMM_ERROR_SEQUENCE);
    else if (reply.code != request.code)
        outcome = Failure(COMM_ERROR_MESSAGE_CODE);
    else if (reply.flagsOrStatus != 0)
        outcome = Failure(DeviceStatusAsLibraryStatus(reply.flagsOrStatus));
    else
        outcome = {COMM_STATUS_DONE, 0, reply.payload};
    return Verdict::Accept;
}

// After a broken frame the stream cannot be trusted any more: the link is dropped and the
// next request connects afresh.
LinkOutcome CDeviceConnection::FramingError() {
    DWORD status = COMM_ERROR_TYPE;
    switch (m_reader.GetState()) {
    case CFrameReader::State::BadChecksum:
        status = COMM_ERROR_CHECKSUM;
        break;
    case CFrameReader::State::BadLength:
        status = COMM_ERROR_LENGTH;
        break;
    default:
        break;
    }
    Drop();
    return Failure(status);
}

void CDeviceConnection::Drop() {
    if (m_socket)
        m_socket->abort();
    m_socket.reset();
    m_io = CSocketIo();
    m_inboxBegin = m_inboxEnd = 0;
    m_peerClosed = false;
    m_reader.Reset();
}

void CDeviceConnection::Pause(const QDeadlineTimer& deadline, const QDeadlineTimer& slice) const {
    const int pause = Remaining(deadline, slice, CONNECT_RETRY_PAUSE_MS);
    if (pause > 0 && !m_stop)
        QThread::msleep(static_cast<unsigned long>(pause));
}

} // namespace commdll
