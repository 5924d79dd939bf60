// The simulated encoder over loopback and the encoder-sim program; each test has its own address
// in 127.0.2.0/24 (firmware tests 100 and up, the program 150 and up).
#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/Crc16.h"
#include "commdll/Frame.h"
#include "sim/EncoderSimulator.h"
#include "sim/FaultSpec.h"

#include "tests/commdll/RequestRunner.h"
#include "tests/commdll/SimulatedDevice.h"

#include "LoopbackAddress.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTcpSocket>

using sim::Fault;
using sim::FaultKind;
using testsupport::Hex;
using testsupport::RunRequest;

namespace {

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

// Whether a connection to the device port at `address` is taken.
bool Listens(const QString& address) {
    QTcpSocket probe;
    probe.connectToHost(address, sim::SimulatorConfig{}.port);
    return probe.waitForConnected(5000);
}

// The encoder-sim program as a user starts it.
struct SimProcess {
    explicit SimProcess(const QString& commandLine) {
        process.start(QStringLiteral(ENCODER_SIM_PATH), commandLine.split(u' '));
    }
    ~SimProcess() {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
};

} // namespace

// Exact reply bytes per request (protocol byte, identity, position); it listens until told to
// refuse connections or stopped, and never outside loopback.
TEST(Simulator, RequestsGetTheirExactRepliesOnLoopbackOnly) {
    const QString at = Address(1);
    sim::SimulatorConfig config = Config(1);
    config.protocolByte = 0x03;
    sim::CEncoderSimulator device(config);
    ASSERT_TRUE(testsupport::Started(device));
    device.SetPosition(-2);
    device.PinPosition(true);
    // code, flag, payload, status, reply
    const std::tuple<BYTE, bool, const char*, DWORD, const char*> rows[] = {
        {MSG_GET_STATUS_ID, false, "", 0,
         "71024207430300000000000000000000000000000000fffffffe000000000000"},
        {MSG_GET_MAC_ID, false, "", 0, "010006001a2b3c4d5e"},
        {MSG_GET_PARAMS, true, "01", 0, "01130013017f000201ff0000007f00000100000003"},
        {MSG_GET_PARAMS, true, "05", 0, "050000000000000004000800000000640065"},
        {MSG_GET_PARAMS, true, "02", 15, ""},
        {MSG_GET_PARAMS, true, "0105", 15, ""},
        {MSG_SET_ETHERNET_PARAMS, true, "0113", 15, ""},
        {0x77, false, "", COMM_ERROR_DEVICE_STATUS, ""}, // device status 9 is a library code
    };
    for (const auto& [code, flag, payload, status, reply] : rows) {
        const auto result = Ask(at, code, flag, payload);
        EXPECT_EQ(result.status, status) << int(code) << " " << payload;
        EXPECT_EQ(result.reply.toHex(), QByteArray(reply)) << int(code);
    }
    // The position moves on per status request, wrapping to negative, unless pinned.
    device.SetPosition(0x7FFFFFFE);
    for (const char* position : {"7ffffffe", "7fffffff", "80000000", "80000001", "80000001"}) {
        device.PinPosition(QByteArray(position) == "80000001");
        EXPECT_EQ(Ask(at, MSG_GET_STATUS_ID).reply.mid(22, 4).toHex(), QByteArray(position));
    }
    EXPECT_EQ(device.Position(), static_cast<qint32>(0x80000001));
    EXPECT_EQ(device.RestartCount(), 0); // only the restart request restarts it
    device.SetRefuseConnections(true);
    EXPECT_FALSE(Listens(at));
    device.SetRefuseConnections(false);
    device.Stop();
    EXPECT_FALSE(Listens(at));
    for (const char* address : {"192.0.2.1", "0.0.0.0", "::1", "not an address"}) {
        sim::CEncoderSimulator outside(testsupport::SimulatorConfigAt(QLatin1String(address)));
        EXPECT_FALSE(outside.Start()) << address;
        EXPECT_FALSE(outside.ErrorString().isEmpty()) << address;
    }
}

// One-shot faults act once, persistent ones until cleared, each on its own code only.
TEST(Simulator, FaultsAndOverridesLastAsLongAsTold) {
    const QString at = Address(4);
    sim::CEncoderSimulator device(Config(4));
    ASSERT_TRUE(testsupport::Started(device));
    device.SetFault(MSG_GET_STATUS_ID, Fault::NotValidDevice(false));
    EXPECT_EQ(Ask(at, MSG_GET_STATUS_ID).reply.left(1), "p");
    EXPECT_EQ(Ask(at, MSG_GET_STATUS_ID).reply.left(1), "q");

    device.SetFault(MSG_GET_MAC_ID, Fault::DeviceError(6, false));
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).status, 6u);
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).status, 0u);
    device.SetFault(MSG_GET_MAC_ID, Fault::BadChecksum());
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(at, MSG_GET_STATUS_ID).status, 0u);
    device.ClearFaults();
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).status, 0u);
    EXPECT_EQ(device.RequestCount(MSG_GET_MAC_ID), 5);
    EXPECT_EQ(device.AppliedCount(MSG_GET_MAC_ID), 4); // the device error was not acted on

    device.SetReplyOverride(MSG_GET_MAC_ID, Hex("0100060102030405"), false);
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).reply.toHex(), QByteArray("0100060102030405"));
    EXPECT_EQ(Ask(at, MSG_GET_MAC_ID).reply.size(), 9);
}

namespace {

constexpr int BLOCK_SIZE = 230;

QByteArray Image(int size) {
    const auto bytes = testsupport::TestImage(static_cast<std::size_t>(size));
    return {reinterpret_cast<const char*>(bytes.data()), size};
}

// The exec payload for an image: its length (4 bytes) and CRC (2 bytes), big-endian, each
// off by the amount given.
QByteArray ExecPayload(const QByteArray& image, int lengthOff = 0, int crcOff = 0) {
    const int crc = (commdll::Crc16Xmodem(image) + crcOff) & 0xFFFF;
    const quint64 value = (quint64(image.size() + lengthOff) << 16) | quint64(crc);
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(12, '0'));
}

// A simulated device with its client.
struct Device : testsupport::SimulatedDevice {
    explicit Device(int host) : SimulatedDevice(Config(host)) {}
    DWORD Run(BYTE code, const QByteArray& payload = {},
              std::optional<BYTE> blockFlags = std::nullopt) {
        return RunRequest(link, code, code == MSG_FIRMWARE_BLOCK, payload, 30000,
                          RESPONSE_BUFFER_SIZE, blockFlags)
            .status;
    }
    // Sends the blocks as the upgrade does; the status of the first failing block (or 0).
    DWORD SendBlocks(const QByteArray& image) {
        BYTE flags = BLOCK_FLAG_FIRST;
        for (int offset = 0; offset < image.size(); offset += BLOCK_SIZE) {
            if (offset + BLOCK_SIZE >= image.size())
                flags |= BLOCK_FLAG_LAST;
            if (const DWORD status = Run(MSG_FIRMWARE_BLOCK, image.mid(offset, BLOCK_SIZE), flags))
                return status;
            flags &= static_cast<BYTE>(~BLOCK_FLAG_FIRST);
        }
        return 0;
    }
    int Exec() const { return simulator.Identity().execNumber; }
    std::size_t Blocks() const { return simulator.FirmwareBlocks().size(); }
};

} // namespace

// Exec only in boot mode and only for the whole image with its length and CRC; blocks only in
// boot mode. A refused block ends the collection; no refusal restarts the device.
TEST(FirmwareSimulation, ExecAndBlocksAreRefusedUnlessTheyMatch) {
    Device device(101);
    ASSERT_TRUE(device.started);
    const int exec = device.Exec();
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    EXPECT_EQ(device.Run(MSG_FIRMWARE_BLOCK, Image(10)), 19u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload({})), 19u);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload({})), 0u) << "an empty image";
    EXPECT_EQ(device.Exec(), exec + 1);

    const QByteArray image = Image(1000);
    device.simulator.RejectBlock(3, 11);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.SendBlocks(image), 11u);
    EXPECT_EQ(device.Blocks(), 2u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 4);
    device.simulator.ClearBlockFaults();
    device.simulator.DropAtBlock(2);
    EXPECT_EQ(device.SendBlocks(image), COMM_ERROR_TRANSMIT); // dropped, resent, dropped again
    EXPECT_EQ(device.Blocks(), 1u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 4 + 1 + 2);
    device.simulator.ClearBlockFaults(); // a first block starts the collection afresh
    ASSERT_EQ(device.SendBlocks(image), 0u);
    QByteArray collected;
    for (const auto& block : device.simulator.FirmwareBlocks())
        collected += block.data;
    EXPECT_EQ(collected, image);

    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image, 0, 1)), 16u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image, -1)), 16u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, Hex("000003e8")), 15u);
    EXPECT_EQ(device.Exec(), exec + 1);
    EXPECT_TRUE(device.simulator.InBootMode());
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 0u);
    EXPECT_FALSE(device.simulator.InBootMode());
    EXPECT_EQ(RunRequest(device.link, MSG_GET_STATUS_ID, false).reply[5], exec + 2);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 19u) << "boot mode is over";

    // A first block without its last one: the image is incomplete.
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST;
    ASSERT_EQ(device.Run(MSG_FIRMWARE_BLOCK, Image(230)), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(Image(230))), 16u);
    EXPECT_EQ(device.simulator.RestartCount(), 0);

    // The new revision once the exec's work is over; a resend that arrives during the work is
    // answered when the work ends, and not acted on again.
    const int before = device.Exec();
    device.simulator.SetExecDelayMs(600);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    QByteArray empty = ExecPayload({});
    BYTE response[RESPONSE_BUFFER_SIZE];
    DWORD length = 0;
    ASSERT_EQ(device.link.ProccessMsgCode_NoThread(MSG_EXECUTE_EXEC, false,
                                                   reinterpret_cast<BYTE*>(empty.data()), 6,
                                                   response, RESPONSE_BUFFER_SIZE, &length),
              0u);
    EXPECT_EQ(device.Exec(), before) << "still programming";
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return device.link.GetCommunicationStatusOfDll() != COMM_STATUS_BUSY; }));
    EXPECT_EQ(device.link.m_dwResult, 0u);
    EXPECT_EQ(device.Exec(), before + 1);
}

TEST(EncoderSimProgram, RunsWithFaultsAndSettingsFromTheCommandLine) {
    SimProcess sim(QStringLiteral("--address 127.0.2.150 --protocol-byte 0x02 --fault 47:error=14 "
                                  "--fault 43:badchecksum,once --position -5 --pin-position"));
    QByteArray output;
    ASSERT_TRUE(testsupport::WaitFor([&] {
        output += sim.process.readAllStandardOutput();
        return output.contains("listening on 127.0.2.150:49999");
    })) << output.toStdString()
        << sim.process.readAllStandardError().toStdString();
    const QString at = QStringLiteral("127.0.2.150");
    EXPECT_EQ(Ask(at, 0x2F).status, 14u);
    EXPECT_EQ(Ask(at, 0x2B, true, "01").status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(Ask(at, 0x2B, true, "01").reply.toHex().right(2), "02");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(Ask(at, 0x12).reply.mid(22, 4).toHex(), QByteArray("fffffffb"));
}

// The --fault syntax.
TEST(FaultSpec, ParsesTheCommandLineSyntaxAndRefusesTheRest) {
    // text, code, kind, value, persistent
    const std::tuple<const char*, BYTE, FaultKind, int, bool> rows[] = {
        {"18:noreply", 18, FaultKind::NoReply, 0, true},
        {"0x2B:slow=800", 0x2B, FaultKind::SlowReply, 800, true},
        {"47:error=11,once", 47, FaultKind::DeviceError, 11, false},
        {"18:notvalid", 18, FaultKind::NotValidDevice, 0, true},
        {"43:badchecksum", 43, FaultKind::BadChecksum, 0, true},
        {"43:wrongcode,once", 43, FaultKind::WrongCode, 0, false},
        {"43:wrongsequence", 43, FaultKind::WrongSequence, 0, true},
        {"43:shortreply", 43, FaultKind::ShortReply, 0, true},
        {"26:drop", 26, FaultKind::DropConnection, 0, true},
        {"42:failfirst", 42, FaultKind::FailFirstAttempt, 0, false},
        {"1:NoReply", 1, FaultKind::NoReply, 0, true},
    };
    QString error;
    for (const auto& row : rows) {
        const char* text = std::get<0>(row);
        const auto spec = sim::FaultSpec::Parse(QString::fromLatin1(text), &error);
        ASSERT_TRUE(spec.has_value()) << text << ": " << error.toStdString();
        EXPECT_EQ(std::tuple(text, spec->code, spec->fault.kind, spec->fault.value,
                             spec->fault.persistent),
                  row);
    }
    for (const char* text : {"", "noreply", ":noreply", "256:noreply", "18:", "18:sleep", "18:slow",
                             "18:noreply=5", "18:error=0", "18:error=300", "18:slow=x",
                             "18:noreply,twice", "18:slow=1=2", "-1:drop"}) {
        error.clear();
        EXPECT_FALSE(sim::FaultSpec::Parse(QString::fromLatin1(text), &error).has_value()) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}
