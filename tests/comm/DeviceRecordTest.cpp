// Links bound to records of their own, used on several threads at once, against the window's
// link on the global record.
#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "comm/CommInterface.h"
#include "comm/DeviceData.h"
#include "comm/DeviceSequences.h"
#include "sim/EncoderSimulator.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

TEST(DeviceRecordTest, ConcurrentLinksFillOnlyTheirOwnRecords) {
    constexpr int kDevices = 4;
    testsupport::MessageRecorder messages;
    std::vector<std::unique_ptr<sim::CEncoderSimulator>> simulators;
    std::vector<DeviceDataRecord> records(kDevices);
    for (int i = 0; i < kDevices; ++i) {
        const QString address =
            testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::Comm, i);
        simulators.push_back(
            std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address)));
        ASSERT_TRUE(testsupport::Started(*simulators.back()));
        sim::DeviceIdentity identity;
        identity.mac[5] = static_cast<BYTE>(0xA0 + i);
        simulators.back()->SetIdentity(identity);
        simulators.back()->SetPosition(1000 * i);
        simulators.back()->PinPosition(true);
        records[static_cast<std::size_t>(i)].m_DeviceIp = testsupport::Octets(address);
    }
    DeviceData = {};
    DeviceData.m_DeviceIp = {127, 0, 0, 1}; // the window's record: no link touches it

    std::vector<std::thread> threads;
    std::vector<int> succeeded(kDevices, 0);
    for (int i = 0; i < kDevices; ++i) {
        threads.emplace_back([&records, &succeeded, i] {
            auto& record = records[static_cast<std::size_t>(i)];
            for (int round = 0; round < 5; ++round) {
                CCommInterface comm(record);
                succeeded[static_cast<std::size_t>(i)] += CDeviceSequences::ReadOut(comm);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    for (int i = 0; i < kDevices; ++i) {
        const auto& record = records[static_cast<std::size_t>(i)];
        EXPECT_EQ(succeeded[static_cast<std::size_t>(i)], 5);
        EXPECT_EQ(record.m_Current.m_Mac[5], 0xA0 + i) << "device " << i;
        EXPECT_EQ(record.ResolverPosition(), 1000 * i);
        EXPECT_EQ(record.m_Current.m_Ip, record.m_DeviceIp);
    }
    EXPECT_EQ(DeviceData.m_Status[0], 0);
    EXPECT_EQ(DeviceData.m_Current.m_Mac, (std::array<BYTE, 6>{}));
    EXPECT_EQ(messages.count(), 0u);
}
