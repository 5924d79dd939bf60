#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/SerialComm.h"
#include "sim/EncoderSimulator.h"

#include "tests/commdll/RequestRunner.h"

#include "LoopbackAddress.h"
#include "SimulatorSupport.h"

#include <gtest/gtest.h>

using sim::CEncoderSimulator;
using sim::Fault;
using testsupport::Hex;
using testsupport::OpenLink;
using testsupport::RunRequest;
using testsupport::Started;

namespace {

// Every test has its own device address in 127.0.2.0/24, so tests can run in parallel.
QString Address(int host) {
    return testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Sim, host);
}

// A short time away on restart keeps the restart tests quick.
sim::SimulatorConfig Config(int host, int restartAwayMs = 200) {
    return testsupport::SimulatorConfigAt(Address(host), restartAwayMs);
}

// A client for one request at a time, as the command layer would run it.
testsupport::RequestResult Ask(const QString& address, BYTE code, bool flag,
                               const QByteArray& payload = {}) {
    CSerialComm link;
    OpenLink(link, address);
    return RunRequest(link, code, flag, payload);
}

QByteArray SetPayload(const char* ip, const char* mask, const char* gateway, const char* options) {
    return Hex("0113001301") + Hex(ip) + Hex(mask) + Hex(gateway) + Hex(options);
}

} // namespace

TEST(Simulator, AnswersWithItsDefaultRecords) {
    CEncoderSimulator simulator(Config(1));
    ASSERT_TRUE(Started(simulator));
    simulator.SetPosition(-2);
    simulator.PinPosition(true);
    struct Row {
        const char* name;
        BYTE code;
        bool flag;
        const char* payload;
        const char* reply;
    };
    const Row rows[] = {
        {"status record", MSG_GET_STATUS_ID, false, "",
         "71024207430300000000000000000000000000000000fffffffe000000000000"},
        {"MAC", MSG_GET_MAC_ID, false, "", "010006001a2b3c4d5e"},
        {"Ethernet parameters", MSG_GET_PARAMS, true, "01",
         "01130013017f000201ffffff007f00000100000021"},
        {"connection parameters", MSG_GET_PARAMS, true, "05",
         "050000000000000004000800000000640065"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto result = Ask(Address(1), row.code, row.flag, Hex(row.payload));
        EXPECT_EQ(result.status, 0u);
        EXPECT_EQ(result.reply.toHex(), QByteArray(row.reply));
    }
}

TEST(Simulator, PositionMovesPerStatusRequestUnlessPinned) {
    CEncoderSimulator simulator(Config(2));
    ASSERT_TRUE(Started(simulator));
    simulator.SetPosition(0x7FFFFFFE);
    CSerialComm link;
    OpenLink(link, Address(2));
    const char* expected[] = {"7ffffffe", "7fffffff", "80000000"}; // wraps to negative
    for (const char* position : expected)
        EXPECT_EQ(RunRequest(link, MSG_GET_STATUS_ID, false).reply.mid(22, 4).toHex(),
                  QByteArray(position));
    simulator.PinPosition(true);
    EXPECT_EQ(RunRequest(link, MSG_GET_STATUS_ID, false).reply.mid(22, 4).toHex(),
              QByteArray("80000001"));
    EXPECT_EQ(RunRequest(link, MSG_GET_STATUS_ID, false).reply.mid(22, 4).toHex(),
              QByteArray("80000001"));
    EXPECT_EQ(simulator.Position(), static_cast<qint32>(0x80000001));
}

TEST(Simulator, ReportsChangedIdentityAndRefusesUnknownRequests) {
    CEncoderSimulator simulator(Config(3));
    ASSERT_TRUE(Started(simulator));
    sim::DeviceIdentity identity;
    identity.hardwareRevision = 5;
    identity.bootLetter = 'A';
    identity.bootNumber = 1;
    identity.execLetter = 'D';
    identity.execNumber = 200;
    identity.mac = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01};
    simulator.SetIdentity(identity);
    EXPECT_EQ(Ask(Address(3), MSG_GET_STATUS_ID, false).reply.left(6).toHex(),
              QByteArray("7105410144c8"));
    EXPECT_EQ(Ask(Address(3), MSG_GET_MAC_ID, false).reply.toHex(),
              QByteArray("010006deadbeef0001"));
    EXPECT_EQ(Ask(Address(3), MSG_GET_PARAMS, true, Hex("02")).status, 15u);
    EXPECT_EQ(Ask(Address(3), MSG_GET_PARAMS, true, Hex("0105")).status, 15u);
    EXPECT_EQ(Ask(Address(3), MSG_SET_ETHERNET_PARAMS, true, Hex("0113")).status, 15u);
    // An unknown code gets device status 9; a library code, so the library reports 23.
    EXPECT_EQ(Ask(Address(3), 0x77, false).status, COMM_ERROR_DEVICE_STATUS);
}

TEST(Simulator, NotValidDeviceAndReplyOverrides) {
    CEncoderSimulator simulator(Config(4));
    ASSERT_TRUE(Started(simulator));
    simulator.SetFault(MSG_GET_STATUS_ID, Fault::NotValidDevice(false));
    const auto invalid = Ask(Address(4), MSG_GET_STATUS_ID, false);
    EXPECT_EQ(invalid.status, 0u);
    EXPECT_NE(invalid.reply[0], 'q');
    EXPECT_EQ(Ask(Address(4), MSG_GET_STATUS_ID, false).reply[0], 'q'); // one-shot

    simulator.SetReplyOverride(MSG_GET_MAC_ID, Hex("0100060102030405"), false);
    EXPECT_EQ(Ask(Address(4), MSG_GET_MAC_ID, false).reply.toHex(), QByteArray("0100060102030405"));
    EXPECT_EQ(Ask(Address(4), MSG_GET_MAC_ID, false).reply.size(), 9);

    simulator.SetReplyOverride(MSG_GET_STATUS_ID, QByteArray(40, 'q'));
    EXPECT_EQ(Ask(Address(4), MSG_GET_STATUS_ID, false).reply.size(), 40);
    EXPECT_EQ(Ask(Address(4), MSG_GET_STATUS_ID, false).reply.size(), 40); // persistent
    simulator.ClearReplyOverride(MSG_GET_STATUS_ID);
    EXPECT_EQ(Ask(Address(4), MSG_GET_STATUS_ID, false).reply.size(), 32);
}

TEST(Simulator, OneShotAndPersistentFaults) {
    CEncoderSimulator simulator(Config(5));
    ASSERT_TRUE(Started(simulator));
    simulator.SetFault(MSG_GET_MAC_ID, Fault::DeviceError(6, false));
    EXPECT_EQ(Ask(Address(5), MSG_GET_MAC_ID, false).status, 6u);
    EXPECT_EQ(Ask(Address(5), MSG_GET_MAC_ID, false).status, 0u);
    simulator.SetFault(MSG_GET_MAC_ID, Fault::BadChecksum());
    EXPECT_EQ(Ask(Address(5), MSG_GET_MAC_ID, false).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(Address(5), MSG_GET_MAC_ID, false).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(Address(5), MSG_GET_STATUS_ID, false).status, 0u); // other codes unaffected
    simulator.ClearFaults();
    EXPECT_EQ(Ask(Address(5), MSG_GET_MAC_ID, false).status, 0u);
    EXPECT_EQ(simulator.RequestCount(MSG_GET_MAC_ID), 5);
    EXPECT_EQ(simulator.AppliedCount(MSG_GET_MAC_ID), 4); // the device error was not acted on
    simulator.ClearLog();
    EXPECT_EQ(simulator.RequestCount(MSG_GET_MAC_ID), 0);
    EXPECT_TRUE(simulator.Requests().empty());
}

TEST(Simulator, RefusedConnectionsGiveTheConnectError) {
    CEncoderSimulator simulator(Config(6));
    ASSERT_TRUE(Started(simulator));
    simulator.SetRefuseConnections(true);
    EXPECT_FALSE(simulator.IsListening());
    EXPECT_EQ(Ask(Address(6), MSG_GET_STATUS_ID, false).status, COMM_ERROR_CONNECT);
    simulator.SetRefuseConnections(false);
    EXPECT_TRUE(simulator.IsListening());
    EXPECT_EQ(Ask(Address(6), MSG_GET_STATUS_ID, false).status, 0u);
}

TEST(Simulator, SetAndRestartMoveTheDeviceToItsNewLoopbackAddress) {
    CEncoderSimulator simulator(Config(7, 300));
    ASSERT_TRUE(Started(simulator));
    const QByteArray set = SetPayload("7f0002c8", "ffff0000", "7f000002", "a1b2c332");
    CSerialComm link;
    OpenLink(link, Address(7));
    EXPECT_EQ(RunRequest(link, MSG_SET_ETHERNET_PARAMS, true, set).status, 0u);
    // Stored, not applied yet.
    EXPECT_EQ(RunRequest(link, MSG_GET_PARAMS, true, Hex("01")).reply.mid(5).toHex(),
              QByteArray("7f000207ffffff007f00000100000021"));
    EXPECT_EQ(RunRequest(link, MSG_RESTART_DEVICE, false).status, 0u);
    ASSERT_TRUE(simulator.WaitForRestarts(1, 10000));
    EXPECT_EQ(simulator.Address(), QStringLiteral("127.0.2.200"));
    EXPECT_TRUE(simulator.IsListening());

    const auto moved = Ask(QStringLiteral("127.0.2.200"), MSG_GET_PARAMS, true, Hex("01"));
    EXPECT_EQ(moved.status, 0u);
    EXPECT_EQ(moved.reply.toHex(), set.toHex());
    EXPECT_EQ(Ask(Address(7), MSG_GET_STATUS_ID, false).status, COMM_ERROR_CONNECT); // old one gone
    ASSERT_EQ(simulator.SetPayloads().size(), 1u);
    EXPECT_EQ(simulator.SetPayloads()[0], set);
    sim::NetworkSettings expected;
    expected.ip = {127, 0, 2, 200};
    expected.mask = {255, 255, 0, 0};
    expected.gateway = {127, 0, 0, 2};
    expected.options = {0xA1, 0xB2, 0xC3, 0x32};
    EXPECT_EQ(simulator.Settings(), expected);
}

TEST(Simulator, AnAddressOutsideLoopbackLeavesTheDeviceWhereItWas) {
    CEncoderSimulator simulator(Config(8));
    ASSERT_TRUE(Started(simulator));
    EXPECT_EQ(Ask(Address(8), MSG_SET_ETHERNET_PARAMS, true,
                  SetPayload("c0a80014", "ffffff00", "c0a80001", "00000002"))
                  .status,
              0u);
    EXPECT_EQ(Ask(Address(8), MSG_RESTART_DEVICE, false).status, 0u);
    ASSERT_TRUE(simulator.WaitForRestarts(1, 10000));
    EXPECT_EQ(simulator.Address(), Address(8));
    const auto params = Ask(Address(8), MSG_GET_PARAMS, true, Hex("01"));
    EXPECT_EQ(params.reply.mid(5).toHex(), QByteArray("7f000208ffffff00c0a8000100000002"));
}

TEST(Simulator, KeepsItsOldProtocolOrModeWhenToldTo) {
    struct Row {
        const char* name;
        bool keepProtocol;
        bool keepMode;
        BYTE sent;
        BYTE reported; // device starts at 0x21
    };
    const Row rows[] = {
        {"applies both", false, false, 0x02, 0x02},
        {"keeps protocol", true, false, 0x02, 0x01},
        {"keeps mode", false, true, 0x03, 0x23},
        {"keeps both", true, true, 0x02, 0x21},
    };
    int host = 20;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CEncoderSimulator simulator(Config(host));
        ASSERT_TRUE(Started(simulator));
        simulator.SetKeepOldProtocol(row.keepProtocol);
        simulator.SetKeepOldMode(row.keepMode);
        QByteArray set = Ask(Address(host), MSG_GET_PARAMS, true, Hex("01")).reply;
        set[20] = static_cast<char>(row.sent);
        EXPECT_EQ(Ask(Address(host), MSG_SET_ETHERNET_PARAMS, true, set).status, 0u);
        EXPECT_EQ(Ask(Address(host), MSG_RESTART_DEVICE, false).status, 0u);
        ASSERT_TRUE(simulator.WaitForRestarts(1, 10000));
        const auto read = Ask(Address(host), MSG_GET_PARAMS, true, Hex("01"));
        ASSERT_EQ(read.reply.size(), 21);
        EXPECT_EQ(static_cast<BYTE>(read.reply[20]), row.reported);
        ++host;
    }
}

TEST(Simulator, RestartWithoutASetKeepsEverythingAndIsAwayMeanwhile) {
    CEncoderSimulator simulator(Config(9, 400));
    ASSERT_TRUE(Started(simulator));
    const auto before = simulator.Settings();
    EXPECT_EQ(Ask(Address(9), MSG_RESTART_DEVICE, false).status, 0u);
    EXPECT_TRUE(testsupport::WaitFor([&] { return !simulator.IsListening(); }, 5000));
    EXPECT_EQ(simulator.RestartCount(), 0);
    ASSERT_TRUE(simulator.WaitUntilListening(10000));
    EXPECT_EQ(simulator.RestartCount(), 1);
    EXPECT_EQ(simulator.Settings(), before);
    EXPECT_EQ(simulator.Address(), Address(9));
}

TEST(Simulator, RefusesToStartOutsideLoopback) {
    for (const char* address : {"192.0.2.1", "0.0.0.0", "::1", "not an address"}) {
        SCOPED_TRACE(address);
        sim::SimulatorConfig config;
        config.address = QString::fromLatin1(address);
        CEncoderSimulator simulator(config);
        EXPECT_FALSE(simulator.Start());
        EXPECT_FALSE(simulator.ErrorString().isEmpty());
        EXPECT_FALSE(simulator.IsListening());
    }
}

TEST(Simulator, InitialProtocolByteAndAStartStopCycle) {
    sim::SimulatorConfig config = Config(10);
    config.protocolByte = 0x03;
    CEncoderSimulator simulator(config);
    ASSERT_TRUE(Started(simulator));
    EXPECT_EQ(static_cast<BYTE>(Ask(Address(10), MSG_GET_PARAMS, true, Hex("01")).reply[20]), 0x03);
    simulator.Stop();
    EXPECT_FALSE(simulator.IsListening());
    EXPECT_EQ(Ask(Address(10), MSG_GET_STATUS_ID, false).status, COMM_ERROR_CONNECT);
    ASSERT_TRUE(Started(simulator));
    EXPECT_EQ(Ask(Address(10), MSG_GET_STATUS_ID, false).status, 0u);
}
