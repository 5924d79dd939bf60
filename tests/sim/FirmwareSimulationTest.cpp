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

namespace {

constexpr int BLOCK_SIZE = 230;

QByteArray Image(int size) {
    QByteArray image(size, '\0');
    for (int i = 0; i < size; ++i)
        image[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    return image;
}

// The exec payload for an image: its length (4 bytes) and CRC (2 bytes), big-endian, each
// off by the amount given.
QByteArray ExecPayload(const QByteArray& image, int lengthOff = 0, int crcOff = 0) {
    const int crc = (commdll::Crc16Xmodem(image.constData(), image.size()) + crcOff) & 0xFFFF;
    const quint64 value = (quint64(image.size() + lengthOff) << 16) | quint64(crc);
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(12, '0'));
}

// A simulated device at 127.0.2.<host> (firmware tests use 100 and up) with its client.
struct Device : testsupport::SimulatedDevice {
    explicit Device(int host)
        : SimulatedDevice(testsupport::SimulatorConfigAt(
              testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Sim, host))) {}
    DWORD Run(BYTE code, const QByteArray& payload = {}) {
        return RunRequest(link, code, code == MSG_FIRMWARE_BLOCK, payload).status;
    }
    // Sends the blocks as the upgrade does; the status of the first failing block (or 0).
    DWORD SendBlocks(const QByteArray& image) {
        BYTE flags = BLOCK_FLAG_FIRST;
        for (int offset = 0; offset < image.size(); offset += BLOCK_SIZE) {
            if (offset + BLOCK_SIZE >= image.size())
                flags |= BLOCK_FLAG_LAST;
            link.m_byBlockFlags = flags;
            if (const DWORD status = Run(MSG_FIRMWARE_BLOCK, image.mid(offset, BLOCK_SIZE)))
                return status;
            flags &= static_cast<BYTE>(~BLOCK_FLAG_FIRST);
        }
        return 0;
    }
    int Exec() const { return simulator.Identity().execNumber; }
};

} // namespace

TEST(FirmwareSimulation, CollectsBlocksChecksTheImageAndRaisesTheExecRevision) {
    struct Row {
        int imageSize;
        std::vector<BYTE> flags;
    };
    const Row rows[] = {{230, {0x03}}, {231, {0x01, 0x02}}, {1000, {0x01, 0, 0, 0, 0x02}}};
    Device device(100);
    ASSERT_TRUE(device.started);
    int exec = device.Exec();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.imageSize);
        const QByteArray image = Image(row.imageSize);
        EXPECT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
        EXPECT_TRUE(device.simulator.InBootMode());
        EXPECT_EQ(device.SendBlocks(image), 0u);
        QByteArray collected;
        std::vector<BYTE> flags;
        for (const auto& block : device.simulator.FirmwareBlocks()) {
            flags.push_back(block.flags);
            collected += block.data;
        }
        EXPECT_EQ(flags, row.flags);
        EXPECT_EQ(collected, image);
        EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 0u);
        EXPECT_FALSE(device.simulator.InBootMode());
        EXPECT_EQ(device.Exec(), ++exec);
        EXPECT_EQ(RunRequest(device.link, MSG_GET_STATUS_ID, false).reply[5], exec);
    }
}

// Exec only in boot mode and only for the whole image with its length and CRC; blocks only in
// boot mode.
TEST(FirmwareSimulation, ExecRefusesAnImageThatDoesNotMatch) {
    Device device(101);
    ASSERT_TRUE(device.started);
    const int exec = device.Exec();
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    EXPECT_EQ(device.Run(MSG_FIRMWARE_BLOCK, Image(10)), 19u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload({})), 19u);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload({})), 0u) << "an empty image";
    EXPECT_EQ(device.Exec(), exec + 1);

    const QByteArray image = Image(500);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    ASSERT_EQ(device.SendBlocks(image), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image, 0, 1)), 16u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image, -1)), 16u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, Hex("000001f4")), 15u);
    EXPECT_EQ(device.Exec(), exec + 1);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 19u) << "boot mode is over";

    // A first block without its last one: the image is incomplete.
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST;
    ASSERT_EQ(device.Run(MSG_FIRMWARE_BLOCK, Image(230)), 0u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(Image(230))), 16u);
}

TEST(FirmwareSimulation, BlockFaults) {
    Device device(103);
    ASSERT_TRUE(device.started);
    const QByteArray image = Image(1000);
    const auto blocks = [&] { return device.simulator.FirmwareBlocks().size(); };
    device.simulator.RejectBlock(3, 11);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.SendBlocks(image), 11u);
    EXPECT_EQ(blocks(), 2u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 3);

    device.simulator.ClearBlockFaults();
    device.simulator.DropAtBlock(2);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.SendBlocks(image), COMM_ERROR_TRANSMIT); // dropped, resent, dropped again
    EXPECT_EQ(blocks(), 1u);
    EXPECT_EQ(device.simulator.RequestCount(MSG_FIRMWARE_BLOCK), 3 + 1 + 2);

    device.simulator.ClearBlockFaults(); // a first block starts the collection afresh
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    EXPECT_EQ(device.SendBlocks(image), 0u);
    EXPECT_EQ(blocks(), 5u);
    EXPECT_EQ(device.Run(MSG_EXECUTE_EXEC, ExecPayload(image)), 0u);
    EXPECT_EQ(device.simulator.RestartCount(), 0); // no refusal restarts the device
}

// As a device: the new revision once the exec's work is over, a resend that arrives during
// the work answered when the work ends (and not acted on again), a flash write time per block.
TEST(FirmwareSimulation, ExecResendAndBlockTakeTheDevicesTime) {
    Device device(105);
    ASSERT_TRUE(device.started);
    const int before = device.Exec();
    device.simulator.SetExecDelayMs(600);
    ASSERT_EQ(device.Run(MSG_EXECUTE_BOOT), 0u);
    QByteArray exec = ExecPayload({});
    BYTE response[RESPONSE_BUFFER_SIZE];
    DWORD length = 0;
    ASSERT_EQ(device.link.ProccessMsgCode_NoThread(MSG_EXECUTE_EXEC, false,
                                                   reinterpret_cast<BYTE*>(exec.data()), 6,
                                                   response, RESPONSE_BUFFER_SIZE, &length),
              0u);
    EXPECT_EQ(device.Exec(), before) << "still programming";
    ASSERT_TRUE(testsupport::WaitFor(
        [&] { return device.link.GetCommunicationStatusOfDll() != COMM_STATUS_BUSY; }));
    EXPECT_EQ(device.link.m_dwResult, 0u);
    EXPECT_EQ(device.Exec(), before + 1);

    device.simulator.SetBootDelayMs(800);
    device.simulator.SetBlockTimeMs(800);
    device.simulator.SetFault(MSG_EXECUTE_BOOT, sim::Fault::FailFirstAttempt());
    device.link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    for (const BYTE code : {MSG_EXECUTE_BOOT, MSG_FIRMWARE_BLOCK}) {
        QElapsedTimer elapsed;
        elapsed.start();
        EXPECT_EQ(device.Run(code, code == MSG_FIRMWARE_BLOCK ? Image(10) : QByteArray()), 0u);
        EXPECT_GE(elapsed.elapsed(), 750) << int(code);
        EXPECT_EQ(device.simulator.AppliedCount(code), code == MSG_EXECUTE_BOOT ? 2 : 1);
    }
}
