#include "comm/MessageCodes.h"
#include "commdll/CommStatus.h"
#include "commdll/Frame.h"
#include "commdll/SerialComm.h"
#include "sim/EncoderSimulator.h"

#include "tests/commdll/RequestRunner.h"
#include "tests/commdll/SimulatedDevice.h"

#include "LoopbackAddress.h"
#include "SimulatorSupport.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

using testsupport::Hex;
using testsupport::RunRequest;
using testsupport::SimulatedDevice;

namespace {

constexpr int BLOCK_SIZE = 230;

// Firmware tests use 127.0.2.100 and up.
sim::SimulatorConfig Config(int host) {
    return testsupport::SimulatorConfigAt(
        testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Sim, host));
}

QByteArray Image(int size) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return image;
}

QByteArray ExecPayload(std::uint32_t length, std::uint16_t crc) {
    QByteArray payload(6, '\0');
    for (int i = 0; i < 4; ++i)
        payload[i] = static_cast<char>(length >> (24 - 8 * i));
    payload[4] = static_cast<char>(crc >> 8);
    payload[5] = static_cast<char>(crc & 0xFF);
    return payload;
}

QByteArray ExecPayloadFor(const QByteArray& image) {
    return ExecPayload(static_cast<std::uint32_t>(image.size()),
                       commdll::Crc16Xmodem(image.constData(), image.size()));
}

// Sends the blocks as the upgrade does; returns the status of the first failing block (or 0).
DWORD SendBlocks(CSerialComm& link, const QByteArray& image) {
    BYTE flags = BLOCK_FLAG_FIRST;
    for (int offset = 0; offset < image.size(); offset += BLOCK_SIZE) {
        const bool last = offset + BLOCK_SIZE >= image.size();
        if (last)
            flags |= BLOCK_FLAG_LAST;
        link.m_byBlockFlags = flags;
        const auto result =
            RunRequest(link, MSG_FIRMWARE_BLOCK, true, image.mid(offset, BLOCK_SIZE));
        if (result.status != 0)
            return result.status;
        flags &= static_cast<BYTE>(~BLOCK_FLAG_FIRST);
    }
    return 0;
}

} // namespace

TEST(FirmwareSimulation, CollectsBlocksChecksTheImageAndRaisesTheExecRevision) {
    struct Row {
        int imageSize;
        std::vector<BYTE> flags;
    };
    const Row rows[] = {
        {230, {0x03}},
        {231, {0x01, 0x02}},
        {1000, {0x01, 0x00, 0x00, 0x00, 0x02}},
    };
    SimulatedDevice device(Config(100));
    ASSERT_TRUE(device.started);
    BYTE execNumber = device.simulator.Identity().execNumber;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.imageSize);
        const QByteArray image = Image(row.imageSize);
        EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
        EXPECT_TRUE(device.simulator.InBootMode());
        EXPECT_EQ(SendBlocks(device.link, image), 0u);
        const auto blocks = device.simulator.FirmwareBlocks();
        ASSERT_EQ(blocks.size(), row.flags.size());
        QByteArray collected;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i].flags, row.flags[i]) << "block " << i;
            collected += blocks[i].data;
        }
        EXPECT_EQ(collected, image);
        EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, ExecPayloadFor(image)).status,
                  0u);
        EXPECT_FALSE(device.simulator.InBootMode());
        ++execNumber;
        EXPECT_EQ(device.simulator.Identity().execNumber, execNumber);
        EXPECT_EQ(static_cast<BYTE>(RunRequest(device.link, MSG_GET_STATUS_ID, false).reply[5]),
                  execNumber);
    }
}

TEST(FirmwareSimulation, ExecRefusesAnImageThatDoesNotMatch) {
    SimulatedDevice device(Config(101));
    ASSERT_TRUE(device.started);
    const QByteArray image = Image(500);
    const auto crc = commdll::Crc16Xmodem(image.constData(), image.size());
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    ASSERT_EQ(SendBlocks(device.link, image), 0u);
    struct Row {
        const char* name;
        QByteArray payload;
        DWORD status;
    };
    const Row rows[] = {
        {"CRC off by one", ExecPayload(500, static_cast<std::uint16_t>(crc + 1)), 16},
        {"length short", ExecPayload(499, crc), 16},
        {"payload not 6 bytes", Hex("000001f4"), 15},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, row.payload).status, row.status);
    }
    EXPECT_EQ(device.simulator.Identity().execNumber, sim::DeviceIdentity{}.execNumber);
    EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, ExecPayload(500, crc)).status, 0u);
}

TEST(FirmwareSimulation, EmptyImageAndIncompleteImage) {
    SimulatedDevice device(Config(102));
    ASSERT_TRUE(device.started);
    // Blocks outside boot mode are refused.
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    EXPECT_EQ(RunRequest(device.link, MSG_FIRMWARE_BLOCK, true, Image(10)).status, 19u);
    // Boot, then exec of an empty image (the checksum of nothing is 0).
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, Hex("000000000000")).status, 0u);
    // Boot, a first block without its last one: the image is incomplete.
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST;
    const QByteArray part = Image(230);
    ASSERT_EQ(RunRequest(device.link, MSG_FIRMWARE_BLOCK, true, part).status, 0u);
    EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, ExecPayloadFor(part)).status, 16u);
}

TEST(FirmwareSimulation, BlockFaults) {
    SimulatedDevice device(Config(103));
    ASSERT_TRUE(device.started);
    const QByteArray image = Image(1000);

    device.simulator.RejectBlock(3, 11);
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    EXPECT_EQ(SendBlocks(device.link, image), 11u);
    EXPECT_EQ(device.simulator.FirmwareBlocks().size(), 2u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 3);

    device.simulator.ClearBlockFaults();
    device.simulator.DropAtBlock(2);
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    // Dropped, resent, dropped again.
    EXPECT_EQ(SendBlocks(device.link, image), COMM_ERROR_TRANSMIT);
    EXPECT_EQ(device.simulator.FirmwareBlocks().size(), 1u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 3 + 1 + 2);

    // A first block starts the collection afresh.
    device.simulator.ClearBlockFaults();
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    EXPECT_EQ(SendBlocks(device.link, image), 0u);
    EXPECT_EQ(device.simulator.FirmwareBlocks().size(), 5u);
    EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, ExecPayloadFor(image)).status, 0u);
}

TEST(FirmwareSimulation, BootAndExecDelaysKeepTheClientBusy) {
    SimulatedDevice device(Config(104));
    ASSERT_TRUE(device.started);
    device.simulator.SetBootDelayMs(300);
    device.simulator.SetExecDelayMs(300);
    const auto boot = RunRequest(device.link, MSG_EXECUTE_BOOT, false);
    EXPECT_TRUE(boot.busyAtFirstPoll);
    EXPECT_EQ(boot.status, 0u);
    const auto exec = RunRequest(device.link, MSG_EXECUTE_EXEC, false, Hex("000000000000"));
    EXPECT_TRUE(exec.busyAtFirstPoll);
    EXPECT_EQ(exec.status, 0u);
}

// As a device: exec only in boot mode, the new revision once the exec's work is over, a resend
// that arrives during the work answered when the work ends, and a flash write time per block.
TEST(FirmwareSimulation, ExecResendAndBlockTakeTheDevicesTime) {
    SimulatedDevice device(Config(105));
    ASSERT_TRUE(device.started);
    const BYTE before = device.simulator.Identity().execNumber;
    device.simulator.SetExecDelayMs(600);
    ASSERT_EQ(RunRequest(device.link, MSG_EXECUTE_BOOT, false).status, 0u);
    QByteArray exec = Hex("000000000000");
    BYTE response[RESPONSE_BUFFER_SIZE];
    DWORD length = 0;
    ASSERT_EQ(device.link.ProccessMsgCode_NoThread(MSG_EXECUTE_EXEC, false,
                                                   reinterpret_cast<BYTE*>(exec.data()), 6,
                                                   response, RESPONSE_BUFFER_SIZE, &length),
              0u);
    EXPECT_EQ(device.simulator.Identity().execNumber, before) << "still programming";
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return device.link.GetCommunicationStatusOfDll() != COMM_STATUS_BUSY; }));
    EXPECT_EQ(device.link.m_dwResult, 0u);
    EXPECT_EQ(device.simulator.Identity().execNumber, before + 1);
    EXPECT_EQ(RunRequest(device.link, MSG_EXECUTE_EXEC, false, exec).status, 19u) << "not in boot";
    EXPECT_EQ(device.simulator.Identity().execNumber, before + 1);

    struct Row {
        const char* name;
        BYTE code;
        QByteArray payload;
    };
    device.simulator.SetBootDelayMs(800);
    device.simulator.SetBlockTimeMs(800);
    device.simulator.SetFault(MSG_EXECUTE_BOOT, sim::Fault::FailFirstAttempt());
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    for (const Row& row : {Row{"resend during a boot", MSG_EXECUTE_BOOT, {}},
                           Row{"block write", MSG_FIRMWARE_BLOCK, Image(10)}}) {
        SCOPED_TRACE(row.name);
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(
            RunRequest(device.link, row.code, row.code == MSG_FIRMWARE_BLOCK, row.payload).status,
            0u);
        EXPECT_GE(elapsed.elapsed(), 750);
        EXPECT_EQ(device.simulator.AppliedCount(row.code), row.code == MSG_EXECUTE_BOOT ? 2 : 1);
    }
}
