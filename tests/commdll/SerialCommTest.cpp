#include "commdll/SerialComm.h"
#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/Frame.h"
#include "platform/LastError.h"

#include "tests/commdll/RawDevice.h"
#include "tests/commdll/RequestRunner.h"
#include "tests/commdll/SimulatedDevice.h"

#include "LoopbackAddress.h"
#include "SimulatorSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

using sim::Fault;
using testsupport::Hex;
using testsupport::OpenLink;
using testsupport::RunRequest;
using testsupport::SimulatedDevice;

namespace {

// Every test has its own device address in 127.0.1.0/24, so tests can run in parallel.
QString Address(int host) {
    return testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Commdll, host);
}

sim::SimulatorConfig Config(int host, int restartAwayMs = sim::SimulatorConfig{}.restartAwayMs) {
    return testsupport::SimulatorConfigAt(Address(host), restartAwayMs);
}

QByteArray ReplyFrame(std::uint32_t sequence, BYTE code, BYTE status, const QByteArray& payload) {
    return commdll::EncodeFrame({commdll::FRAME_KIND_REPLY, sequence, code, status, payload});
}

} // namespace

TEST(SerialComm, FastDeviceCompletesInsideTheRequestCall) {
    SimulatedDevice device(Config(1));
    ASSERT_TRUE(device.started);
    for (int round = 0; round < 3; ++round) {
        const auto result = RunRequest(device.link, MSG_GET_STATUS_ID, false);
        EXPECT_EQ(result.started, 0u);
        EXPECT_FALSE(result.busyAtFirstPoll) << "round " << round;
        EXPECT_EQ(result.status, 0u);
        EXPECT_EQ(result.result, 0u);
        ASSERT_EQ(result.reply.size(), 32);
        EXPECT_EQ(result.reply[0], 'q');
    }
    EXPECT_EQ(device.simulator.ConnectionCount(), 1); // the link stays up between requests
}

TEST(SerialComm, SlowDeviceReadsBusyThenDone) {
    SimulatedDevice device(Config(2));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_GET_MAC_ID, Fault::SlowReply(400, false));
    const auto result = RunRequest(device.link, MSG_GET_MAC_ID, false);
    EXPECT_EQ(result.started, 0u);
    EXPECT_TRUE(result.busyAtFirstPoll);
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.result, 0u);
    EXPECT_EQ(result.reply.toHex(), QByteArray("010006001a2b3c4d5e"));
}

TEST(SerialComm, TransportFaultsGiveTheirCodes) {
    SimulatedDevice device(Config(3));
    ASSERT_TRUE(device.started);
    struct Row {
        const char* name;
        Fault fault;
        DWORD status;
    };
    const Row rows[] = {
        {"bad checksum", Fault::BadChecksum(), COMM_ERROR_CHECKSUM},
        {"reply to another code", Fault::WrongCode(), COMM_ERROR_MESSAGE_CODE},
        {"sequence number never sent", Fault::WrongSequence(), COMM_ERROR_SEQUENCE},
        {"reply cut short", Fault::ShortReply(), COMM_ERROR_LENGTH},
        {"out of memory", Fault::DeviceError(6), 6},
        {"EEPROM error", Fault::DeviceError(10), 10},
        {"message load", Fault::DeviceError(11), 11},
        {"read only", Fault::DeviceError(14), 14},
        {"format", Fault::DeviceError(15), 15},
        {"image not found", Fault::DeviceError(16), 16},
        {"protection", Fault::DeviceError(19), 19},
        {"password", Fault::DeviceError(20), 20},
        {"init", Fault::DeviceError(21), 21},
        {"starting address", Fault::DeviceError(100), 100},
        {"driver or hex file", Fault::DeviceError(101), 101},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        device.simulator.SetFault(MSG_GET_PARAMS, row.fault);
        const auto failed = RunRequest(device.link, MSG_GET_PARAMS, true, Hex("01"));
        EXPECT_EQ(failed.started, 0u);
        EXPECT_EQ(failed.status, row.status);
        EXPECT_EQ(failed.result, row.status);
        EXPECT_TRUE(failed.reply.isEmpty());
        // The link recovers: the next request on the same object succeeds.
        device.simulator.ClearFault(MSG_GET_PARAMS);
        const auto next = RunRequest(device.link, MSG_GET_PARAMS, true, Hex("01"));
        EXPECT_EQ(next.status, 0u);
        EXPECT_EQ(next.reply.size(), 21);
    }
}

TEST(SerialComm, SilentDeviceTimesOut) {
    SimulatedDevice device(Config(4));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_GET_STATUS_ID, Fault::NoReply());
    const auto result = RunRequest(device.link, MSG_GET_STATUS_ID, false);
    EXPECT_TRUE(result.busyAtFirstPoll);
    EXPECT_EQ(result.status, COMM_ERROR_TIMEOUT);
    EXPECT_EQ(result.result, COMM_ERROR_TIMEOUT);
}

TEST(SerialComm, NothingListeningGivesConnectErrorWithErrnoOnTheCallingThread) {
    CSerialComm link;
    OpenLink(link, Address(5)); // no device there
    platform::SetLastSystemError(0);
    const auto result = RunRequest(link, MSG_GET_STATUS_ID, false);
    EXPECT_EQ(result.status, COMM_ERROR_CONNECT);
    EXPECT_EQ(result.result, COMM_ERROR_CONNECT);
    EXPECT_EQ(platform::GetLastSystemError(), ECONNREFUSED);
}

TEST(SerialComm, LoopbackSwitchRefusesOtherDestinations) {
    ASSERT_EQ(qgetenv("RIVIVOZUZUVOD_LOOPBACK_ONLY"), QByteArray("1"));
    for (const char* address : {"192.0.2.1", "192.168.0.20", "10.0.0.1"}) {
        SCOPED_TRACE(address);
        CSerialComm link;
        OpenLink(link, QString::fromLatin1(address));
        platform::SetLastSystemError(0);
        const auto result = RunRequest(link, MSG_GET_STATUS_ID, false);
        EXPECT_EQ(result.status, COMM_ERROR_CONNECT);
        // The switch answers before any connect: no retrying, so the request ends at once.
        EXPECT_FALSE(result.busyAtFirstPoll);
        EXPECT_EQ(platform::GetLastSystemError(), ENETUNREACH);
    }
}

TEST(SerialComm, ReplyNeverOverflowsTheCallersBuffer) {
    SimulatedDevice device(Config(6));
    ASSERT_TRUE(device.started);
    QByteArray longReply(150, '\0');
    for (int i = 0; i < longReply.size(); ++i)
        longReply[i] = static_cast<char>(i);
    device.simulator.SetReplyOverride(MSG_GET_STATUS_ID, longReply);

    struct Row {
        DWORD responseSize;
        DWORD stored;
    };
    for (const Row row : {Row{100, 100}, Row{10, 10}, Row{0, 0}, Row{500, 100}}) {
        SCOPED_TRACE(row.responseSize);
        BYTE buffer[600];
        std::memset(buffer, 0xEE, sizeof buffer);
        DWORD length = 12345;
        ASSERT_EQ(device.link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, buffer,
                                                       row.responseSize, &length),
                  0u);
        DWORD status = COMM_STATUS_BUSY;
        ASSERT_TRUE(testsupport::WaitFor([&] {
            status = device.link.GetCommunicationStatusOfDll();
            return status != COMM_STATUS_BUSY;
        }));
        EXPECT_EQ(status, 0u);
        EXPECT_EQ(length, row.stored);
        EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), static_cast<int>(row.stored)),
                  longReply.left(static_cast<int>(row.stored)));
        for (DWORD i = row.stored; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "byte " << i << " written";
    }
}

TEST(SerialComm, LateReplyIsNotTakenForTheNextRequest) {
    SimulatedDevice device(Config(7));
    ASSERT_TRUE(device.started);
    // The status reply comes after the request's time-out, ahead of the MAC reply.
    device.simulator.SetFault(MSG_GET_STATUS_ID, Fault::SlowReply(4000, false));
    const auto timedOut = RunRequest(device.link, MSG_GET_STATUS_ID, false);
    EXPECT_EQ(timedOut.status, COMM_ERROR_TIMEOUT);
    const auto mac = RunRequest(device.link, MSG_GET_MAC_ID, false);
    EXPECT_EQ(mac.status, 0u);
    EXPECT_EQ(mac.reply.toHex(), QByteArray("010006001a2b3c4d5e"));
    EXPECT_EQ(device.simulator.ConnectionCount(), 2); // a timed-out connection is not reused
}

// Part of a reply, then silence: the request fails, and whatever the device sends later can
// never be read as the answer to the next request.
TEST(SerialComm, CutShortReplyLeavesTheNextRequestClean) {
    using Fragment = QByteArray (*)(std::uint32_t sequence, BYTE code);
    const std::pair<const char*, Fragment> rows[] = {
        {"six stray bytes", [](std::uint32_t sequence,
                               BYTE code) { return ReplyFrame(sequence, code, 0, {}).left(6); }},
        {"header announcing 512 bytes",
         [](std::uint32_t sequence, BYTE code) {
             return ReplyFrame(sequence, code, 0, QByteArray(512, 'q')).left(10);
         }},
    };
    int host = 130;
    for (const auto& [name, fragment] : rows) {
        SCOPED_TRACE(name);
        int requests = 0;
        testsupport::RawDevice device(
            Address(host++),
            [&requests, fragment](std::uint32_t sequence, BYTE code) {
                return requests++ == 0 ? fragment(sequence, code)
                                       : ReplyFrame(sequence, code, 0, Hex("0203"));
            },
            testsupport::RawDevice::AfterReply::KeepOpen);
        ASSERT_TRUE(device.Start());
        CSerialComm link;
        OpenLink(link, Address(host - 1));
        EXPECT_EQ(RunRequest(link, MSG_GET_STATUS_ID, false).status, COMM_ERROR_LENGTH);
        for (int round = 0; round < 3; ++round) {
            const auto next = RunRequest(link, MSG_GET_STATUS_ID, false);
            EXPECT_EQ(next.status, 0u) << "round " << round;
            EXPECT_EQ(next.reply.toHex(), QByteArray("0203"));
        }
    }
}

TEST(SerialComm, DroppedLinkIsResentOnceAndTheDeviceActsOnce) {
    SimulatedDevice device(Config(8));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_SET_ETHERNET_PARAMS, Fault::FailFirstAttempt());
    const QByteArray payload = Hex("01130013017f0001c8ffffff007f00000100000021");
    const auto result = RunRequest(device.link, MSG_SET_ETHERNET_PARAMS, true, payload);
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.result, 0u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_SET_ETHERNET_PARAMS), 2);
    EXPECT_EQ(device.simulator.AppliedCount(MSG_SET_ETHERNET_PARAMS), 1);
    ASSERT_EQ(device.simulator.SetPayloads().size(), 1u);
    EXPECT_EQ(device.simulator.SetPayloads()[0], payload);
    const auto requests = device.simulator.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].sequence, requests[1].sequence);
    EXPECT_EQ(device.simulator.ConnectionCount(), 2);
}

TEST(SerialComm, LinkDroppedTwiceGivesTransmitError) {
    SimulatedDevice device(Config(9));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_GET_MAC_ID, Fault::DropConnection());
    const auto result = RunRequest(device.link, MSG_GET_MAC_ID, false);
    EXPECT_EQ(result.status, COMM_ERROR_TRANSMIT);
    EXPECT_EQ(device.simulator.RequestCount(MSG_GET_MAC_ID), 2);
    EXPECT_EQ(device.simulator.AppliedCount(MSG_GET_MAC_ID), 0);
}

// After a restart request, any link of the process waits up to the restart time-out for the
// device to come back; once it has answered, a refused connection fails as usual.
TEST(SerialComm, LinksWaitForARestartingDeviceUpToTheRestartTimeOut) {
    struct Row {
        int host;
        int awayMs;
        DWORD status;
    };
    for (const Row row : {Row{10, 4000, 0}, Row{14, 60000, COMM_ERROR_TIMEOUT}}) {
        SCOPED_TRACE(row.awayMs);
        SimulatedDevice device(Config(row.host, row.awayMs));
        ASSERT_TRUE(device.started);
        EXPECT_EQ(RunRequest(device.link, MSG_RESTART_DEVICE, false).status, 0u);
        QElapsedTimer elapsed;
        elapsed.start();
        CSerialComm other; // as a reconnect after a settings change makes it
        OpenLink(other, Address(row.host));
        const auto status = RunRequest(other, MSG_GET_STATUS_ID, false, {}, 40000);
        EXPECT_EQ(status.status, row.status);
        if (row.status != 0) {
            EXPECT_GE(elapsed.elapsed(), 19000);
            EXPECT_LE(elapsed.elapsed(), 21000);
            continue;
        }
        EXPECT_EQ(status.reply.size(), 32);
        device.simulator.SetRefuseConnections(true);
        other.CloseComPort();
        elapsed.restart();
        EXPECT_EQ(RunRequest(other, MSG_GET_STATUS_ID, false).status, COMM_ERROR_CONNECT);
        EXPECT_LE(elapsed.elapsed(), 4000);
    }
}

TEST(SerialComm, RequestsCarryFlagsBlockFlagsPayloadAndRisingSequenceNumbers) {
    SimulatedDevice device(Config(11));
    ASSERT_TRUE(device.started);
    device.link.m_byBlockFlags = 0x03; // left over: only block requests carry block flags
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    struct Row {
        BYTE blockFlags;
        const char* payload;
    };
    const Row rows[] = {{0x01, "00112233"}, {0x00, "44"}, {0x02, "5566"}};
    for (const auto& row : rows) {
        device.link.m_byBlockFlags = row.blockFlags;
        EXPECT_EQ(RunRequest(device.link, MSG_FIRMWARE_BLOCK, true, Hex(row.payload)).status, 0u);
    }
    RunRequest(device.link, MSG_EXECUTE_EXEC, false, Hex("000000070000"));
    RunRequest(device.link, MSG_GET_STATUS_ID, false);
    const auto requests = device.simulator.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_EQ(requests[0].code, MSG_EXECUTE_BOOT);
    EXPECT_FALSE(requests[0].flag);
    for (const std::size_t other : {0u, 4u, 5u})
        EXPECT_EQ(requests[other].blockFlags, 0) << "request " << other;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const auto& request = requests[static_cast<std::size_t>(i) + 1];
        EXPECT_EQ(request.code, MSG_FIRMWARE_BLOCK);
        EXPECT_TRUE(request.flag);
        EXPECT_EQ(request.blockFlags, rows[i].blockFlags);
        EXPECT_EQ(request.payload.toHex(), QByteArray(rows[i].payload));
        EXPECT_EQ(request.sequence, requests[0].sequence + static_cast<std::uint32_t>(i) + 1);
    }
    EXPECT_EQ(device.link.m_dwProgressCount, 7u);
}

TEST(SerialComm, RefusesRequestsBeforeSetUpAndBadArguments) {
    CSerialComm link;
    BYTE response[100];
    DWORD length = 0;
    EXPECT_EQ(
        link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, response, 100, &length),
        COMM_ERROR_NOT_INITIALIZED);
    OpenLink(link, Address(12));
    EXPECT_EQ(
        link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, nullptr, 100, &length),
        COMM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(
        link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, response, 100, nullptr),
        COMM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(
        link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 4, response, 100, &length),
        COMM_ERROR_INVALID_ARGUMENT);
    BYTE big[513] = {};
    EXPECT_EQ(link.ProccessMsgCode_NoThread(MSG_FIRMWARE_BLOCK, true, big, sizeof big, response,
                                            100, &length),
              COMM_ERROR_INVALID_ARGUMENT);
    link.CloseComPort();
    link.EthernetClose();
    EXPECT_EQ(
        link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, response, 100, &length),
        COMM_ERROR_NOT_INITIALIZED);
}

TEST(SerialComm, ClosingDuringAnExchangeAbandonsItAndTheLinkCanBeReopened) {
    SimulatedDevice device(Config(13));
    ASSERT_TRUE(device.started);
    device.simulator.SetFault(MSG_GET_STATUS_ID, Fault::NoReply(false));
    BYTE response[100];
    DWORD length = 0;
    ASSERT_EQ(device.link.ProccessMsgCode_NoThread(MSG_GET_STATUS_ID, false, nullptr, 0, response,
                                                   100, &length),
              0u);
    EXPECT_EQ(device.link.GetCommunicationStatusOfDll(), COMM_STATUS_BUSY);
    EXPECT_EQ(device.link.ProccessMsgCode_NoThread(MSG_GET_MAC_ID, false, nullptr, 0, response, 100,
                                                   &length),
              COMM_ERROR_PORT_CONFLICT);
    device.link.CloseComPort();
    device.link.EthernetClose();
    EXPECT_EQ(device.link.GetCommunicationStatusOfDll(), COMM_STATUS_FAILED_SILENT);

    OpenLink(device.link, Address(13));
    const auto result = RunRequest(device.link, MSG_GET_MAC_ID, false);
    EXPECT_EQ(result.status, 0u);
    EXPECT_EQ(result.reply.size(), 9);
}

TEST(SerialComm, UntrustedRepliesEndAsFailureCodes) {
    struct Row {
        const char* name;
        testsupport::RawDevice::Script script;
        testsupport::RawDevice::AfterReply after;
        DWORD status;
    };
    using After = testsupport::RawDevice::AfterReply;
    const Row rows[] = {
        {"not our magic", [](std::uint32_t, BYTE) { return Hex("aa0200000001120000000000"); },
         After::KeepOpen, COMM_ERROR_TYPE},
        // Refused from the header alone, without waiting for the announced bytes.
        {"length far above the maximum",
         [](std::uint32_t sequence, BYTE code) {
             return ReplyFrame(sequence, code, 0, {}).left(8) + Hex("ffff");
         },
         After::KeepOpen, COMM_ERROR_LENGTH},
        {"header cut, then closed", [](std::uint32_t, BYTE) { return Hex("d502"); }, After::Close,
         COMM_ERROR_LENGTH},
        {"payload cut, then closed",
         [](std::uint32_t sequence, BYTE code) {
             return ReplyFrame(sequence, code, 0, QByteArray(40, 'q')).left(30);
         },
         After::Close, COMM_ERROR_LENGTH},
        {"closed without a byte", [](std::uint32_t, BYTE) { return QByteArray(); }, After::Close,
         COMM_ERROR_TRANSMIT},
        {"late reply, then one from the future",
         [](std::uint32_t sequence, BYTE code) {
             return ReplyFrame(sequence - 1, code, 0, Hex("01")) +
                    ReplyFrame(sequence + 5, code, 0, Hex("02"));
         },
         After::KeepOpen, COMM_ERROR_SEQUENCE},
        {"right reply after a late one",
         [](std::uint32_t sequence, BYTE code) {
             return ReplyFrame(sequence - 3, MSG_SET_ETHERNET_PARAMS, 0, Hex("01")) +
                    ReplyFrame(sequence, code, 0, Hex("0203"));
         },
         After::KeepOpen, 0},
    };
    int host = 100;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testsupport::RawDevice device(Address(host), row.script, row.after);
        ASSERT_TRUE(device.Start());
        CSerialComm link;
        OpenLink(link, Address(host));
        const auto result = RunRequest(link, MSG_GET_STATUS_ID, false);
        EXPECT_EQ(result.status, row.status);
        if (row.status == 0)
            EXPECT_EQ(result.reply.toHex(), QByteArray("0203"));
        else
            EXPECT_TRUE(result.reply.isEmpty());
        ++host;
    }
}

TEST(SerialComm, RandomBytesFromTheDeviceNeverCrashOrHang) {
    QRandomGenerator random(0x5EED);
    testsupport::RawDevice device(
        Address(120),
        [&random](std::uint32_t sequence, BYTE code) {
            // Half the time a plausible header, so that later stages are reached too.
            QByteArray bytes(static_cast<int>(random.bounded(1, 700)), '\0');
            for (auto& byte : bytes)
                byte = static_cast<char>(random.bounded(256));
            if (random.bounded(2) == 0)
                bytes.replace(0, 10, ReplyFrame(sequence, code, 0, {}).left(10));
            return bytes;
        },
        testsupport::RawDevice::AfterReply::Close);
    ASSERT_TRUE(device.Start());
    for (int round = 0; round < 30; ++round) {
        SCOPED_TRACE(round);
        CSerialComm link;
        OpenLink(link, Address(120));
        const auto result = RunRequest(link, MSG_GET_STATUS_ID, false, {}, 10000);
        EXPECT_NE(result.status, COMM_STATUS_BUSY);
        EXPECT_LE(result.reply.size(), 100);
    }
}
