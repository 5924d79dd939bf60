#include "commdll/CommStatus.h"
#include "commdll/Frame.h"
#include "commdll/SerialComm.h"
#include "sim/EncoderSimulator.h"

#include "tests/commdll/RequestRunner.h"

#include <gtest/gtest.h>

using sim::CEncoderSimulator;
using testsupport::Hex;
using testsupport::OpenLink;
using testsupport::RunRequest;

// Firmware tests use 127.0.2.100 and up.
namespace {

constexpr BYTE CODE_STATUS = 0x12;
constexpr BYTE CODE_BLOCK = 0x1A;
constexpr BYTE CODE_BOOT = 0x1B;
constexpr BYTE CODE_EXEC = 0x1C;
constexpr int BLOCK_SIZE = 230;

QString Address(int host) {
    return QStringLiteral("127.0.2.%1").arg(host);
}

sim::SimulatorConfig Config(int host) {
    sim::SimulatorConfig config;
    config.address = Address(host);
    return config;
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
        const auto result = RunRequest(link, CODE_BLOCK, true, image.mid(offset, BLOCK_SIZE));
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
    CEncoderSimulator simulator(Config(100));
    ASSERT_TRUE(simulator.Start());
    CSerialComm link;
    OpenLink(link, Address(100));
    BYTE execNumber = simulator.Identity().execNumber;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.imageSize);
        const QByteArray image = Image(row.imageSize);
        EXPECT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
        EXPECT_TRUE(simulator.InBootMode());
        EXPECT_EQ(SendBlocks(link, image), 0u);
        const auto blocks = simulator.FirmwareBlocks();
        ASSERT_EQ(blocks.size(), row.flags.size());
        QByteArray collected;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(blocks[i].flags, row.flags[i]) << "block " << i;
            collected += blocks[i].data;
        }
        EXPECT_EQ(collected, image);
        EXPECT_EQ(RunRequest(link, CODE_EXEC, false, ExecPayloadFor(image)).status, 0u);
        EXPECT_FALSE(simulator.InBootMode());
        ++execNumber;
        EXPECT_EQ(simulator.Identity().execNumber, execNumber);
        EXPECT_EQ(static_cast<BYTE>(RunRequest(link, CODE_STATUS, false).reply[5]), execNumber);
    }
}

TEST(FirmwareSimulation, ExecRefusesAnImageThatDoesNotMatch) {
    CEncoderSimulator simulator(Config(101));
    ASSERT_TRUE(simulator.Start());
    CSerialComm link;
    OpenLink(link, Address(101));
    const QByteArray image = Image(500);
    const auto crc = commdll::Crc16Xmodem(image.constData(), image.size());
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    ASSERT_EQ(SendBlocks(link, image), 0u);
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
        EXPECT_EQ(RunRequest(link, CODE_EXEC, false, row.payload).status, row.status);
    }
    EXPECT_EQ(simulator.Identity().execNumber, sim::DeviceIdentity{}.execNumber);
    EXPECT_EQ(RunRequest(link, CODE_EXEC, false, ExecPayload(500, crc)).status, 0u);
}

TEST(FirmwareSimulation, EmptyImageAndIncompleteImage) {
    CEncoderSimulator simulator(Config(102));
    ASSERT_TRUE(simulator.Start());
    CSerialComm link;
    OpenLink(link, Address(102));
    // Blocks outside boot mode are refused.
    link.m_byBlockFlags = BLOCK_FLAG_FIRST | BLOCK_FLAG_LAST;
    EXPECT_EQ(RunRequest(link, CODE_BLOCK, true, Image(10)).status, 19u);
    // Boot, then exec of an empty image (the checksum of nothing is 0).
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    EXPECT_EQ(RunRequest(link, CODE_EXEC, false, Hex("000000000000")).status, 0u);
    // Boot, a first block without its last one: the image is incomplete.
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    link.m_byBlockFlags = BLOCK_FLAG_FIRST;
    const QByteArray part = Image(230);
    ASSERT_EQ(RunRequest(link, CODE_BLOCK, true, part).status, 0u);
    EXPECT_EQ(RunRequest(link, CODE_EXEC, false, ExecPayloadFor(part)).status, 16u);
}

TEST(FirmwareSimulation, BlockFaults) {
    CEncoderSimulator simulator(Config(103));
    ASSERT_TRUE(simulator.Start());
    const QByteArray image = Image(1000);
    CSerialComm link;
    OpenLink(link, Address(103));

    simulator.RejectBlock(3, 11);
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    EXPECT_EQ(SendBlocks(link, image), 11u);
    EXPECT_EQ(simulator.FirmwareBlocks().size(), 2u);
    EXPECT_EQ(simulator.RequestCount(CODE_BLOCK), 3);

    simulator.ClearBlockFaults();
    simulator.DropAtBlock(2);
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    EXPECT_EQ(SendBlocks(link, image), COMM_ERROR_TRANSMIT); // dropped, resent, dropped again
    EXPECT_EQ(simulator.FirmwareBlocks().size(), 1u);
    EXPECT_EQ(simulator.RequestCount(CODE_BLOCK), 3 + 1 + 2);

    // A first block starts the collection afresh.
    simulator.ClearBlockFaults();
    ASSERT_EQ(RunRequest(link, CODE_BOOT, false).status, 0u);
    EXPECT_EQ(SendBlocks(link, image), 0u);
    EXPECT_EQ(simulator.FirmwareBlocks().size(), 5u);
    EXPECT_EQ(RunRequest(link, CODE_EXEC, false, ExecPayloadFor(image)).status, 0u);
}

TEST(FirmwareSimulation, BootAndExecDelaysKeepTheClientBusy) {
    CEncoderSimulator simulator(Config(104));
    ASSERT_TRUE(simulator.Start());
    simulator.SetBootDelayMs(300);
    simulator.SetExecDelayMs(300);
    CSerialComm link;
    OpenLink(link, Address(104));
    const auto boot = RunRequest(link, CODE_BOOT, false);
    EXPECT_TRUE(boot.busyAtFirstPoll);
    EXPECT_EQ(boot.status, 0u);
    const auto exec = RunRequest(link, CODE_EXEC, false, Hex("000000000000"));
    EXPECT_TRUE(exec.busyAtFirstPoll);
    EXPECT_EQ(exec.status, 0u);
}
