#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/SerialComm.h"
#include "sim/EncoderSimulator.h"

#include "tests/commdll/RequestRunner.h"

#include "LoopbackAddress.h"
#include "SimulatorSupport.h"

#include <gtest/gtest.h>

#include <QTcpSocket>

using sim::Fault;
using testsupport::Hex;
using testsupport::RunRequest;

namespace {

// Every test has its own device address in 127.0.2.0/24, so tests can run in parallel.
QString Address(int host) {
    return testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Sim, host);
}

// A short time away on restart keeps the tests quick.
sim::SimulatorConfig Config(int host) {
    return testsupport::SimulatorConfigAt(Address(host), 200);
}

// One request on a connection of its own, as the command layer would run it.
testsupport::RequestResult Ask(const QString& address, BYTE code, bool flag = false,
                               const QByteArray& payload = {}) {
    CSerialComm link;
    testsupport::OpenLink(link, address);
    return RunRequest(link, code, flag, QByteArray::fromHex(payload));
}
testsupport::RequestResult Ask(int host, BYTE code, bool flag = false,
                               const QByteArray& payload = {}) {
    return Ask(Address(host), code, flag, payload);
}

// Whether a connection to the device port at `address` is taken.
bool Listens(const QString& address) {
    QTcpSocket probe;
    probe.connectToHost(address, sim::SimulatorConfig{}.port);
    return probe.waitForConnected(5000);
}

// The Ethernet parameters, as read back after a restart.
QByteArray Params(const QString& address) {
    return Ask(address, MSG_GET_PARAMS, true, "01").reply.toHex();
}

} // namespace

// Each request gets its exact reply bytes; the identity and position show in them.
TEST(Simulator, RequestsGetTheirExactReplies) {
    sim::CEncoderSimulator device(Config(1));
    ASSERT_TRUE(testsupport::Started(device));
    device.SetPosition(-2);
    device.PinPosition(true);
    struct Row {
        BYTE code;
        bool flag;
        const char* payload;
        DWORD status;
        const char* reply;
    };
    const Row rows[] = {
        {MSG_GET_STATUS_ID, false, "", 0,
         "71024207430300000000000000000000000000000000fffffffe000000000000"},
        {MSG_GET_MAC_ID, false, "", 0, "010006001a2b3c4d5e"},
        {MSG_GET_PARAMS, true, "01", 0, "01130013017f000201ffffff007f00000100000021"},
        {MSG_GET_PARAMS, true, "05", 0, "050000000000000004000800000000640065"},
        {MSG_GET_PARAMS, true, "02", 15, ""},
        {MSG_GET_PARAMS, true, "0105", 15, ""},
        {MSG_SET_ETHERNET_PARAMS, true, "0113", 15, ""},
        {0x77, false, "", COMM_ERROR_DEVICE_STATUS, ""}, // device status 9 is a library code
    };
    for (const Row& row : rows) {
        const auto result = Ask(1, row.code, row.flag, row.payload);
        EXPECT_EQ(result.status, row.status) << int(row.code) << " " << row.payload;
        EXPECT_EQ(result.reply.toHex(), QByteArray(row.reply)) << int(row.code);
    }
    device.SetIdentity({5, 'A', 1, 'D', 200, {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x01}});
    EXPECT_EQ(Ask(1, MSG_GET_STATUS_ID).reply.left(6).toHex(), QByteArray("7105410144c8"));
    EXPECT_EQ(Ask(1, MSG_GET_MAC_ID).reply.toHex(), QByteArray("010006deadbeef0001"));

    // The position moves on per status request, wrapping to negative, unless pinned.
    device.SetPosition(0x7FFFFFFE);
    device.PinPosition(false);
    for (const char* position : {"7ffffffe", "7fffffff", "80000000", "80000001", "80000001"}) {
        device.PinPosition(QByteArray(position) == "80000001");
        EXPECT_EQ(Ask(1, MSG_GET_STATUS_ID).reply.mid(22, 4).toHex(), QByteArray(position));
    }
    EXPECT_EQ(device.Position(), static_cast<qint32>(0x80000001));
    EXPECT_EQ(device.RestartCount(), 0); // only the restart request restarts it
}

// One-shot faults act once, persistent ones until cleared, each on its own code only.
TEST(Simulator, FaultsAndOverridesLastAsLongAsTold) {
    sim::CEncoderSimulator device(Config(4));
    ASSERT_TRUE(testsupport::Started(device));
    const auto signature = [] { return Ask(4, MSG_GET_STATUS_ID).reply.left(1); };
    device.SetFault(MSG_GET_STATUS_ID, Fault::NotValidDevice(false));
    EXPECT_EQ(signature(), "p");
    EXPECT_EQ(signature(), "q");

    device.SetFault(MSG_GET_MAC_ID, Fault::DeviceError(6, false));
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).status, 6u);
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).status, 0u);
    device.SetFault(MSG_GET_MAC_ID, Fault::BadChecksum());
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(4, MSG_GET_STATUS_ID).status, 0u);
    device.ClearFaults();
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).status, 0u);
    EXPECT_EQ(device.RequestCount(MSG_GET_MAC_ID), 5);
    EXPECT_EQ(device.AppliedCount(MSG_GET_MAC_ID), 4); // the device error was not acted on

    device.SetReplyOverride(MSG_GET_MAC_ID, Hex("0100060102030405"), false);
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).reply.toHex(), QByteArray("0100060102030405"));
    EXPECT_EQ(Ask(4, MSG_GET_MAC_ID).reply.size(), 9);
    device.SetReplyOverride(MSG_GET_STATUS_ID, QByteArray(40, 'q'));
    EXPECT_EQ(Ask(4, MSG_GET_STATUS_ID).reply.size(), 40);
    EXPECT_EQ(Ask(4, MSG_GET_STATUS_ID).reply.size(), 40);
    device.ClearReplyOverride(MSG_GET_STATUS_ID);
    EXPECT_EQ(Ask(4, MSG_GET_STATUS_ID).reply.size(), 32);
}

// It listens until told to refuse connections or stopped, and never outside loopback.
TEST(Simulator, ListensUntilToldToRefuseOrStopped) {
    sim::SimulatorConfig config = Config(6);
    config.protocolByte = 0x03;
    sim::CEncoderSimulator simulator(config);
    ASSERT_TRUE(testsupport::Started(simulator));
    EXPECT_EQ(Params(Address(6)).right(2), "03");
    simulator.SetRefuseConnections(true);
    EXPECT_FALSE(Listens(Address(6)));
    simulator.SetRefuseConnections(false);
    EXPECT_TRUE(Listens(Address(6)));
    simulator.Stop();
    EXPECT_FALSE(Listens(Address(6)));
    ASSERT_TRUE(testsupport::Started(simulator));
    EXPECT_EQ(Ask(6, MSG_GET_STATUS_ID).status, 0u);

    for (const char* address : {"192.0.2.1", "0.0.0.0", "::1", "not an address"}) {
        sim::CEncoderSimulator outside(testsupport::SimulatorConfigAt(QLatin1String(address)));
        EXPECT_FALSE(outside.Start()) << address;
        EXPECT_FALSE(outside.ErrorString().isEmpty()) << address;
    }
}

// A restart is away for a while, then takes the stored settings: IP, mask, gateway, options.
// A loopback address moves the device, any other leaves it where it was; the protocol (low
// nibble of the last byte) or mode (high nibble) stays when told to.
TEST(Simulator, RestartTakesTheStoredSettings) {
    sim::CEncoderSimulator device(Config(7));
    ASSERT_TRUE(testsupport::Started(device));
    struct Row {
        bool keepProtocol, keepMode;
        const char* set;
        const char* after;
    };
    const Row rows[] = {
        {false, false, nullptr, "7f000207ffffff007f00000100000021"},
        {false, false, "c0a80014ffffff00c0a8000100000002", "7f000207ffffff00c0a8000100000002"},
        {false, false, "7f0002c8ffff00007f000002a1b2c332", "7f0002c8ffff00007f000002a1b2c332"},
        {false, false, "7f0002c8ffff00007f00000200000002", "7f0002c8ffff00007f00000200000002"},
        {true, false, "7f0002c8ffff00007f00000200000013", "7f0002c8ffff00007f00000200000012"},
        {false, true, "7f0002c8ffff00007f00000200000003", "7f0002c8ffff00007f00000200000013"},
        {true, true, "7f0002c8ffff00007f00000200000024", "7f0002c8ffff00007f00000200000013"},
    };
    const QByteArray header = "0113001301";
    QByteArray shown = Params(Address(7));
    int restarts = 0;
    for (const Row& row : rows) {
        const QString address = device.Address();
        device.SetKeepOldProtocol(row.keepProtocol);
        device.SetKeepOldMode(row.keepMode);
        CSerialComm link; // the set and the restart on one link, as the settings are sent
        testsupport::OpenLink(link, address);
        if (row.set != nullptr) {
            EXPECT_EQ(RunRequest(link, MSG_SET_ETHERNET_PARAMS, true,
                                 QByteArray::fromHex(header + row.set))
                          .status,
                      0u);
            EXPECT_EQ(Params(address), shown) << "stored, not applied yet";
        }
        EXPECT_EQ(RunRequest(link, MSG_RESTART_DEVICE, false).status, 0u);
        EXPECT_TRUE(testsupport::WaitFor([&] { return !device.IsListening(); }, 5000));
        EXPECT_EQ(device.RestartCount(), restarts);
        ASSERT_TRUE(device.WaitForRestarts(++restarts, 10000));
        shown = Params(device.Address());
        EXPECT_EQ(shown, header + row.after) << row.set;
        EXPECT_EQ(Listens(address), device.Address() == address); // the old address is gone
    }
    EXPECT_EQ(device.Address(), QStringLiteral("127.0.2.200"));
    EXPECT_EQ(device.SetPayloads().size(), 6u);
}
