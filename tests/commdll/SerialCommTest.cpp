#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/Frame.h"
#include "commdll/RequestTimeout.h"
#include "commdll/RestartWatch.h"
#include "platform/LastError.h"
#include "tests/commdll/SimulatedDevice.h"

#include "LoopbackAddress.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtEndian>

#include <cerrno>
#include <functional>

using sim::Fault;
using namespace testsupport;

namespace {

// Every test has its own device address in 127.0.1.0/24, so tests can run in parallel.
QString Address(int host) {
    return NumberedLoopbackAddress(LoopbackSubnet::Commdll, host);
}

QByteArray ReplyFrame(std::uint32_t sequence, BYTE code, const QByteArray& payload) {
    return commdll::EncodeFrame({commdll::FRAME_KIND_REPLY, sequence, code, 0, payload});
}

const QByteArray kMacReply = "010006001a2b3c4d5e"; // hex

// A device for the replies the simulator never produces (foreign frames, absurd lengths, cut
// headers): a status request gets the scripted bytes, any other one "0203". It serves from
// the test thread's events, which RunRequest handles while it waits.
class RawDevice : public QTcpServer {
public:
    RawDevice(int host, std::function<QByteArray(std::uint32_t)> script, bool close) {
        listen(QHostAddress(Address(host)), DEVICE_PORT);
        connect(this, &QTcpServer::newConnection, this, [this, script, close] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [socket, script, close] {
                // The tests' requests carry no payload: 12 bytes each.
                while (socket->bytesAvailable() >= 12) {
                    const QByteArray request = socket->read(12);
                    const auto sequence = qFromBigEndian<std::uint32_t>(request.constData() + 2);
                    const auto code = static_cast<BYTE>(request[6]);
                    socket->write(code == MSG_GET_STATUS_ID
                                      ? script(sequence)
                                      : ReplyFrame(sequence, code, Hex("0203")));
                    if (close)
                        socket->disconnectFromHost();
                }
            });
        });
    }
};

} // namespace

// A reply after the request's time-out never answers the next request: that one starts on a
// new connection.
TEST(SerialComm, FastRepliesEndInsideTheCallSlowOnesReadBusyLateOnesTimeOut) {
    SimulatedDevice device(SimulatorConfigAt(Address(1)));
    ASSERT_TRUE(device.started);
    const auto fast = RunRequest(device.link, MSG_GET_STATUS_ID, false);
    EXPECT_FALSE(fast.busyAtFirstPoll);
    EXPECT_EQ(fast.result, 0u);
    EXPECT_EQ(fast.reply.size(), 32);
    device.simulator.SetFault(MSG_GET_MAC_ID, Fault::SlowReply(400, false));
    const auto slow = RunRequest(device.link, MSG_GET_MAC_ID, false);
    EXPECT_TRUE(slow.busyAtFirstPoll);
    EXPECT_EQ(slow.result, 0u);
    EXPECT_EQ(slow.reply.toHex(), kMacReply);
    EXPECT_EQ(device.simulator.ConnectionCount(), 1) << "the link stays up between requests";
    device.simulator.SetFault(MSG_GET_STATUS_ID, Fault::SlowReply(4000, false));
    const auto late = RunRequest(device.link, MSG_GET_STATUS_ID, false);
    EXPECT_EQ(late.status, COMM_ERROR_TIMEOUT);
    EXPECT_EQ(late.result, COMM_ERROR_TIMEOUT);
    EXPECT_EQ(RunRequest(device.link, MSG_GET_MAC_ID, false).reply.toHex(), kMacReply);
    EXPECT_EQ(device.simulator.ConnectionCount(), 2);
}

TEST(SerialComm, ReplyNeverOverflowsTheCallersBuffer) {
    SimulatedDevice device(SimulatorConfigAt(Address(6)));
    ASSERT_TRUE(device.started);
    const QByteArray longReply(150, 'r');
    device.simulator.SetReplyOverride(MSG_GET_STATUS_ID, longReply);
    for (const auto& [size, stored] : {std::pair<DWORD, int>{10, 10}, {0, 0}, {200, 100}}) {
        const auto result = RunRequest(device.link, MSG_GET_STATUS_ID, false, {}, 30000, size);
        EXPECT_EQ(result.status, 0u);
        EXPECT_EQ(result.buffer, longReply.left(stored) + QByteArray(200 - stored, char(0xEE)));
    }
}

// Time allowed per request: boot 20 s; exec 5 s plus 1 ms per 64 bytes of the image whose
// length leads its payload, high byte first, at most 120 s; any other request 3 s or the
// caller's own time-out.
TEST(SerialComm, EachRequestHasItsTimeOut) {
    struct Row {
        BYTE code;
        const char* payload;
        int ordinaryMs;
        int expectedMs;
    };
    for (const Row& row : {Row{27, "", 0, 20000},
                           {27, "", 1500, 20000},
                           {28, "00000040", 0, 5001},
                           {28, "00004000", 0, 5256},
                           {28, "00010000AB", 0, 6024},
                           {28, "00200000", 1500, 37768},
                           {28, "01000000", 0, 120000},
                           {28, "000040", 0, 3000},
                           {0x12, "00010000", 0, 3000},
                           {0x12, "", 1500, 1500},
                           {0x2A, "", -5, 3000}}) {
        const QByteArray payload = QByteArray::fromHex(row.payload);
        EXPECT_EQ(commdll::RequestTimeoutMs(row.code,
                                            reinterpret_cast<const BYTE*>(payload.constData()),
                                            static_cast<DWORD>(payload.size()), row.ordinaryMs),
                  row.expectedMs)
            << int(row.code) << " " << row.payload;
    }
}

// After a restart request, any link of the process waits up to the restart time-out (here
// shortened to 5 s for a device that never comes back) for the device to come back, at its
// address and at the one a set before announced; once it has answered, a refused connection
// fails as usual.
TEST(SerialComm, LinksWaitForARestartingDeviceUpToTheRestartTimeOut) {
    for (const auto& [host, newHost, awayMs, status] :
         {std::tuple<int, int, int, DWORD>{10, 15, 4000, 0}, {14, 14, 60000, COMM_ERROR_TIMEOUT}}) {
        SCOPED_TRACE(awayMs);
        commdll::CRestartWatch::SetTimeoutMs(status != 0 ? 5000 : 20000);
        SimulatedDevice device(SimulatorConfigAt(Address(host), awayMs));
        ASSERT_TRUE(device.started);
        const QByteArray set =
            Hex("01130013017f0001") + char(newHost) + Hex("ffff00007f00000100000021");
        EXPECT_EQ(RunRequest(device.link, MSG_SET_ETHERNET_PARAMS, true, set).status, 0u);
        EXPECT_EQ(RunRequest(device.link, MSG_RESTART_DEVICE, false).status, 0u);
        QElapsedTimer elapsed;
        elapsed.start();
        CSerialComm other; // as a reconnect after a settings change makes it
        OpenLink(other, Address(newHost));
        const auto back = RunRequest(other, MSG_GET_STATUS_ID, false, {}, 40000);
        EXPECT_EQ(back.status, status);
        if (status != 0) {
            EXPECT_GE(elapsed.elapsed(), 4000);
            EXPECT_LE(elapsed.elapsed(), 6000);
            continue;
        }
        EXPECT_EQ(back.reply.size(), 32);
        device.simulator.SetRefuseConnections(true);
        other.CloseComPort();
        elapsed.restart();
        EXPECT_EQ(RunRequest(other, MSG_GET_STATUS_ID, false).status, COMM_ERROR_CONNECT);
        EXPECT_LE(elapsed.elapsed(), 4000);
    }
    // As shipped, a device is waited for 20 s after its restart request.
    commdll::CRestartWatch::SetTimeoutMs(commdll::CRestartWatch::RESTART_TIMEOUT_MS);
    commdll::CRestartWatch::Begin(Address(16), QString(), 49999);
    const auto shipped = commdll::CRestartWatch::Deadline(Address(16), 49999);
    ASSERT_TRUE(shipped.has_value());
    EXPECT_GT(shipped->remainingTime(), 19000);
    EXPECT_LE(shipped->remainingTime(), 20000);
    commdll::CRestartWatch::End(Address(16), 49999);
}

// Block flags belong to firmware blocks only: a boot or exec request never carries them, and
// flags given with a block replace those the link holds. A request resent on a new link after
// a drop keeps its sequence number; the device acts once.
TEST(SerialComm, RequestsCarryFlagsPayloadAndSequenceNumbersRisingExceptOnAResend) {
    SimulatedDevice device(SimulatorConfigAt(Address(11)));
    ASSERT_TRUE(device.started);
    device.link.m_byBlockFlags = 0x03; // left over from an earlier upgrade
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    device.simulator.SetFault(MSG_FIRMWARE_BLOCK, Fault::FailFirstAttempt());
    ASSERT_EQ(
        RunRequest(device.link, MSG_FIRMWARE_BLOCK, true, Hex("00112233"), 30000, 100, 0x02).status,
        0u);
    RunRequest(device.link, MSG_EXECUTE_EXEC, false, Hex("000000040000"));
    const auto requests = device.simulator.Requests();
    QStringList sent; // code, flag, block flags, sequence step, then the payload
    for (const auto& r : requests)
        sent << QString::asprintf("%02x%02x%02x%02x", r.code, r.flag, r.blockFlags,
                                  unsigned(r.sequence - requests[0].sequence)) +
                    QLatin1String(r.payload.toHex());
    EXPECT_EQ(sent.join(u','), u"1b000000,1a01020100112233,1a01020100112233,1c000002000000040000");
    EXPECT_EQ(device.simulator.AppliedCount(MSG_FIRMWARE_BLOCK), 1);
    EXPECT_EQ(device.simulator.ConnectionCount(), 2);
    EXPECT_EQ(device.link.m_dwProgressCount, 4u);
}

// Refused at once: requests before set-up, with bad arguments, or while one runs. Closing the
// link abandons the running one; the link can be opened again.
TEST(SerialComm, RefusesAtOnceWhatItCannotStartOrReachAndClosingAbandonsTheRunningOne) {
    SimulatedDevice device(SimulatorConfigAt(Address(13)));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_GET_STATUS_ID, Fault::NoReply(false));
    CSerialComm& link = device.link;
    BYTE response[100];
    BYTE big[513] = {};
    DWORD length = 0;
    const auto start = [&](BYTE* payload, DWORD size, BYTE* buffer, DWORD* stored) {
        return link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, true, payload, size, buffer, 100,
                                             stored);
    };
    EXPECT_EQ(start(nullptr, 0, nullptr, &length), COMM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(start(nullptr, 0, response, nullptr), COMM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(start(nullptr, 4, response, &length), COMM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(start(big, sizeof big, response, &length), COMM_ERROR_INVALID_ARGUMENT);
    ASSERT_EQ(start(nullptr, 0, response, &length), 0u);
    EXPECT_EQ(link.GetCommunicationStatusOfDll(), COMM_STATUS_BUSY);
    EXPECT_EQ(start(nullptr, 0, response, &length), COMM_ERROR_PORT_CONFLICT);
    link.CloseComPort();
    link.EthernetClose();
    EXPECT_EQ(link.GetCommunicationStatusOfDll(), COMM_STATUS_FAILED_SILENT);
    EXPECT_EQ(start(nullptr, 0, response, &length), COMM_ERROR_NOT_INITIALIZED);
    OpenLink(link, Address(13));
    EXPECT_EQ(RunRequest(link, MSG_GET_MAC_ID, false).reply.toHex(), kMacReply);
    CSerialComm fresh;
    // An address that cannot be reached ends the request at once, with the reason on the calling
    // thread; the loopback switch answers before any connect.
    ASSERT_EQ(qgetenv("RIVIVOZUZUVOD_LOOPBACK_ONLY"), QByteArray("1"));
    for (const auto& [address, error] : {std::pair{QStringLiteral("300.1.2.3"), EINVAL},
                                         std::pair{QStringLiteral("192.168.0.20"), ENETUNREACH}}) {
        OpenLink(fresh, address);
        platform::SetLastSystemError(0);
        const auto result = RunRequest(fresh, MSG_GET_STATUS_ID, false);
        EXPECT_EQ(result.status, COMM_ERROR_CONNECT);
        EXPECT_EQ(result.result, COMM_ERROR_CONNECT);
        EXPECT_FALSE(result.busyAtFirstPoll);
        EXPECT_EQ(platform::GetLastSystemError(), error);
    }
}

// Whatever the device sent, the next request starts clean: the rest of a cut-short reply or a
// late one is never read as its answer. A link dropped twice is not tried a third time.
TEST(SerialComm, UntrustedRepliesEndAsFailureCodesAndTheNextRequestIsClean) {
    using Seq = std::uint32_t;
    const auto status = [](Seq sequence, const QByteArray& payload) {
        return ReplyFrame(sequence, MSG_GET_STATUS_ID, payload);
    };
    const std::tuple<bool, DWORD, std::function<QByteArray(Seq)>> rows[] = {
        {false, COMM_ERROR_TYPE, [](Seq) { return Hex("aa0200000001120000000000"); }},
        // Refused from the header alone, without waiting for the announced bytes.
        {false, COMM_ERROR_LENGTH, [&](Seq s) { return status(s, {}).left(8) + Hex("ffff"); }},
        // A header announcing 512 bytes, then silence; a cut header, then the end of the link.
        {false, COMM_ERROR_LENGTH, [&](Seq s) { return status(s, QByteArray(512, 'q')).left(10); }},
        {true, COMM_ERROR_LENGTH, [](Seq) { return Hex("d502"); }},
        {true, COMM_ERROR_TRANSMIT, [](Seq) { return QByteArray(); }},
        // The right reply after a late one to another request. (One from the future is the
        // command layer's wrong-sequence fault.)
        {false, 0,
         [&](Seq s) {
             return ReplyFrame(s - 3, MSG_SET_ETHERNET_PARAMS, Hex("01")) + status(s, Hex("0203"));
         }},
    };
    int host = 100;
    for (const auto& [close, code, reply] : rows) {
        SCOPED_TRACE(host);
        RawDevice device(host, reply, close);
        ASSERT_TRUE(device.isListening());
        CSerialComm link;
        OpenLink(link, Address(host++));
        const auto result = RunRequest(link, MSG_GET_STATUS_ID, false);
        EXPECT_EQ(result.status, code);
        EXPECT_EQ(result.reply.toHex(), QByteArray(code == 0 ? "0203" : ""));
        EXPECT_EQ(RunRequest(link, MSG_GET_MAC_ID, false).reply.toHex(), QByteArray("0203"));
    }
}
