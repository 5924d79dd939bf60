#include "comm/CommInterface.h"
#include "Bytes.h"
#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"
#include "res/Texts.h"
#include "sim/EncoderSimulator.h"

#include <gtest/gtest.h>

#include <memory>

using namespace res;
using testsupport::Bytes;
using testsupport::Octets;

namespace {
QByteArray Filled(int length, int first = 1) {
    QByteArray bytes;
    for (int i = 0; i < length; ++i)
        bytes.append(static_cast<char>(first + i));
    return bytes;
}
} // namespace

// The command layer against a simulated encoder of the test's own on loopback.
class CommInterfaceTest : public ::testing::Test {
protected:
    static constexpr auto kAddressArea = testsupport::LoopbackArea::Comm;

    void SetUp() override {
        DeviceData = {};
        m_address = testsupport::UniqueLoopbackAddress(kAddressArea);
        m_sim = StartSimulator(m_address);
        DeviceData.m_DeviceIp = Octets(m_address);
    }

    static std::unique_ptr<sim::CEncoderSimulator> StartSimulator(const QString& address) {
        auto simulator =
            std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address));
        EXPECT_TRUE(testsupport::Started(*simulator));
        return simulator;
    }

    QString m_address;
    std::unique_ptr<sim::CEncoderSimulator> m_sim;
    testsupport::MessageRecorder m_messages;
    CCommInterface m_comm;
};

TEST_F(CommInterfaceTest, StatusRecordKeepsAtMost32BytesAndZeroesTheRest) {
    m_sim->SetReplyOverride(MSG_GET_STATUS_ID, Filled(40));
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(DeviceData.m_dwResponseLength, 32u);
    EXPECT_EQ(DeviceData.m_Status[31], 32);

    m_sim->SetReplyOverride(MSG_GET_STATUS_ID, Filled(10));
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(DeviceData.m_Status[9], 10);
    EXPECT_EQ(DeviceData.m_Status[10], 0);
    EXPECT_EQ(DeviceData.m_Status[31], 0);

    m_sim->SetReplyOverride(MSG_GET_STATUS_ID, QByteArray());
    ASSERT_TRUE(m_comm.GetStatusId()) << "an empty record is accepted; callers reject it";
    EXPECT_FALSE(DeviceData.IsValidDevice());
    EXPECT_EQ(m_messages.count(), 0u);
}

struct LengthCase {
    const char* name;
    BYTE code;
    int minimum;
    bool (CCommInterface::*command)();
    QLatin1String failure;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.name;
}

class CommandLengthTest : public CommInterfaceTest,
                          public ::testing::WithParamInterface<LengthCase> {};

TEST_P(CommandLengthTest, AcceptsItsMinimumAndRefusesOneByteLess) {
    const LengthCase& c = GetParam();
    m_sim->SetReplyOverride(c.code, Filled(c.minimum));
    EXPECT_TRUE((m_comm.*c.command)());
    EXPECT_EQ(m_messages.count(), 0u);

    const EthernetSettings before = DeviceData.m_Current;
    m_sim->SetReplyOverride(c.code, Filled(c.minimum - 1, 0x40));
    EXPECT_FALSE((m_comm.*c.command)());
    ASSERT_EQ(m_messages.texts(), QStringList{QString(c.failure)});
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Error);
    EXPECT_EQ(DeviceData.m_Current.m_Ip, before.m_Ip) << "a short reply changes nothing";
    EXPECT_EQ(DeviceData.m_Current.m_Mac, before.m_Mac);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CommandLengthTest,
    ::testing::Values(LengthCase{"Mac", MSG_GET_MAC_ID, 9, &CCommInterface::GetMacId,
                                 text::UnableToReadMacId},
                      LengthCase{"Ethernet", MSG_GET_PARAMS, 21, &CCommInterface::GetEthernetParams,
                                 text::UnableToReadEthernetParams},
                      LengthCase{"Eadk", MSG_GET_PARAMS, 18, &CCommInterface::GetEadkParams,
                                 text::UnableToReadEadkParams}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommInterfaceTest, RepliesAreParsedFromTheirBytePositions) {
    ASSERT_TRUE(m_comm.GetMacId());
    EXPECT_EQ(DeviceData.m_Current.m_Mac,
              (std::array<BYTE, 6>{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E}));

    ASSERT_TRUE(m_comm.GetEthernetParams());
    EXPECT_EQ(DeviceData.m_Current.m_Ip, Octets(m_address));
    EXPECT_EQ(DeviceData.m_Current.m_SubnetMask, (std::array<BYTE, 4>{255, 255, 255, 0}));
    EXPECT_EQ(DeviceData.m_Current.m_Gateway, (std::array<BYTE, 4>{127, 0, 0, 1}));

    sim::ConnectionParams params;
    params.outputSize = 0x0005;
    params.inputSize = 0xFFFF;
    params.outputInstance = 0x0064;
    params.inputInstance = 0x0102;
    m_sim->SetConnection(params);
    ASSERT_TRUE(m_comm.GetEadkParams());
    EXPECT_EQ(DeviceData.m_Current.m_wOutputSize, (std::array<BYTE, 2>{0x00, 0x05}));
    EXPECT_EQ(DeviceData.m_Current.m_wInputSize, (std::array<BYTE, 2>{0xFF, 0xFF}));
    EXPECT_EQ(DeviceData.m_Current.m_wOutputInstance, (std::array<BYTE, 2>{0x00, 0x64}));
    EXPECT_EQ(DeviceData.m_Current.m_wInputInstance, (std::array<BYTE, 2>{0x01, 0x02}));
}

TEST_F(CommInterfaceTest, ProtocolModeByteIsReadAsProtocolAndMode) {
    struct Case {
        BYTE byte;
        int protocol;
        bool dm7;
    };
    for (const Case c :
         {Case{0x21, 1, true}, Case{0x32, 2, false}, Case{0x02, 2, false}, Case{0x23, 3, true}}) {
        sim::NetworkSettings settings = m_sim->Settings();
        settings.options = {0xA1, 0xB2, 0xC3, c.byte};
        m_sim->SetSettings(settings);
        ASSERT_TRUE(m_comm.GetEthernetParams());
        EXPECT_EQ(DeviceData.m_Current.m_nProtocol, c.protocol) << int(c.byte);
        EXPECT_EQ(DeviceData.m_Current.m_bModeDM7, c.dm7) << int(c.byte);
        EXPECT_EQ(DeviceData.m_Current.m_Options, (std::array<BYTE, 4>{0xA1, 0xB2, 0xC3, c.byte}));
    }
}

TEST_F(CommInterfaceTest, SetSendsThe21BytePayloadAndThenRestarts) {
    m_sim->SetRestartAwayMs(50);
    EthernetSettings& pending = DeviceData.m_Pending;
    pending.m_Ip = {127, 20, 0, 9};
    pending.m_SubnetMask = {255, 255, 0, 0};
    pending.m_Gateway = {127, 20, 0, 1};
    pending.m_Options = {0x11, 0x22, 0x33, 0x00};
    pending.m_nProtocol = 2;
    pending.m_bModeDM7 = true;
    ASSERT_TRUE(m_comm.SetNewIpAndRestart());
    ASSERT_EQ(m_sim->SetPayloads().size(), 1u);
    EXPECT_EQ(m_sim->SetPayloads()[0],
              Bytes({0x01, 0x13, 0x00, 0x13, 0x01, 127, 20,   0,    9,    255, 255,
                     0,    0,    127,  20,   0,    1,   0x11, 0x22, 0x33, 0x22}));
    EXPECT_EQ(pending.m_Options[3], 0x22) << "the rebuilt byte stays in the pending record";
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), 1);

    m_comm.DropLink();
    ASSERT_TRUE(m_sim->WaitForRestarts(1, 10000));
    pending.m_nProtocol = 1;
    pending.m_bModeDM7 = false;
    DeviceData.m_DeviceIp = Octets(m_sim->Address());
    ASSERT_TRUE(m_comm.SetNewIpAndRestart());
    EXPECT_EQ(static_cast<BYTE>(m_sim->SetPayloads().back().at(20)), 0x01);
}

TEST_F(CommInterfaceTest, FailedSetSendsNoRestartAndAFailedRestartDoesNotFailTheSet) {
    m_sim->SetFault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(19, false));
    EXPECT_FALSE(m_comm.SetNewIpAndRestart());
    EXPECT_EQ(m_sim->RequestCount(MSG_RESTART_DEVICE), 0);
    EXPECT_EQ(m_messages.texts(),
              QStringList{QStringLiteral("Incorrect Communication Packet  (Protection error).")});

    m_messages.clear();
    m_sim->SetFault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10));
    EXPECT_TRUE(m_comm.SetNewIpAndRestart());
    EXPECT_EQ(
        m_messages.texts(),
        QStringList{QStringLiteral("Incorrect Communication Packet  (Error in EEPROM program).")});
}

struct FaultCase {
    const char* name;
    sim::Fault fault;
    int stringId;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.name;
}

class TransportFaultTest : public CommInterfaceTest,
                           public ::testing::WithParamInterface<FaultCase> {};

TEST_P(TransportFaultTest, FaultEndsTheCommandWithItsMessage) {
    const FaultCase& c = GetParam();
    m_sim->SetFault(MSG_GET_STATUS_ID, c.fault);
    EXPECT_FALSE(m_comm.GetStatusId());
    ASSERT_EQ(m_messages.count(), 1u) << m_messages.texts().join(u'|').toStdString();
    EXPECT_EQ(m_messages.messages()[0].helpContext, c.stringId);
    EXPECT_EQ(m_messages.messages()[0].icon, platform::MessageIcon::Information);
    EXPECT_EQ(m_messages.messages()[0].caption, QString(text::AppName));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, TransportFaultTest,
    ::testing::Values(FaultCase{"BadChecksum", sim::Fault::BadChecksum(), 105},
                      FaultCase{"NoReply", sim::Fault::NoReply(), 106},
                      FaultCase{"WrongCode", sim::Fault::WrongCode(), 108},
                      FaultCase{"WrongSequence", sim::Fault::WrongSequence(), 109},
                      FaultCase{"ShortReply", sim::Fault::ShortReply(), 111},
                      FaultCase{"OutOfMemory", sim::Fault::DeviceError(6), 107},
                      FaultCase{"ImageNotFound", sim::Fault::DeviceError(16), 114},
                      FaultCase{"StartAddress", sim::Fault::DeviceError(100), 130}),
    [](const auto& info) { return std::string(info.param.name); });

// A device status that is one of the library's own codes (18 would fail without a message,
// 27 read as busy, 30 as "dll not initialized") reads as one device error: string 120.
TEST_F(CommInterfaceTest, DeviceStatusesThatAreLibraryCodesReadAsOneDeviceError) {
    for (const int status : {1, 2, 3, 4, 7, 8, 9, 17, 18, 27, 29, 30, 31, 35}) {
        SCOPED_TRACE(status);
        m_messages.clear();
        m_sim->SetFault(MSG_GET_MAC_ID, sim::Fault::DeviceError(static_cast<BYTE>(status)));
        EXPECT_FALSE(m_comm.GetMacId());
        ASSERT_EQ(m_messages.count(), 1u);
        EXPECT_EQ(m_messages.messages()[0].helpContext, 120);
    }
}

TEST_F(CommInterfaceTest, UnlistedCodeShowsTheSystemTextOrTheUnknownErrorText) {
    // A device status without a text of its own and no system error behind it.
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::DeviceError(50));
    EXPECT_FALSE(m_comm.GetStatusId());
    ASSERT_EQ(m_messages.count(), 1u);
    EXPECT_EQ(m_messages.messages()[0].helpContext, 104);

    // Nothing listens at the address: the socket's own error, in the system's words.
    m_messages.clear();
    m_sim->Stop();
    m_comm.DropLink();
    EXPECT_FALSE(m_comm.GetStatusId());
    ASSERT_EQ(m_messages.count(), 1u);
    EXPECT_EQ(m_messages.messages()[0].caption, QString(text::SystemErrorCaption));
    EXPECT_EQ(m_messages.messages()[0].text, QStringLiteral("Connection refused"));

    // The device is back and refuses the next request: the refused connection before it is
    // not blamed for it.
    m_messages.clear();
    ASSERT_TRUE(m_sim->Start());
    EXPECT_FALSE(m_comm.GetStatusId());
    ASSERT_EQ(m_messages.count(), 1u);
    EXPECT_EQ(m_messages.messages()[0].helpContext, 104);
}

TEST_F(CommInterfaceTest, FinalStatusZeroWithAnUnclearedResultFailsSilently) {
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(m_comm.m_SerialComm.m_dwResult, 29u) << "every wait leaves 29 behind";
    // The exchange is over (status 0) but nothing cleared the result since.
    EXPECT_FALSE(m_comm.WaitForCompletion());
    EXPECT_EQ(m_messages.count(), 0u);
}

TEST_F(CommInterfaceTest, AnOpenLinkKeepsItsAddressUntilDropped) {
    const QString otherAddress = testsupport::UniqueLoopbackAddress(kAddressArea, 7);
    auto other = StartSimulator(otherAddress);
    ASSERT_TRUE(m_comm.GetStatusId());
    DeviceData.m_DeviceIp = Octets(otherAddress);
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(m_sim->RequestCount(MSG_GET_STATUS_ID), 2);
    EXPECT_EQ(other->RequestCount(MSG_GET_STATUS_ID), 0);

    m_comm.DropLink();
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(other->RequestCount(MSG_GET_STATUS_ID), 1);
}

TEST_F(CommInterfaceTest, ReplyLongerThanTheBufferNeverOverflowsIt) {
    const auto ipBefore = DeviceData.m_DeviceIp;
    m_sim->SetReplyOverride(MSG_GET_MAC_ID, Filled(150));
    EXPECT_TRUE(m_comm.GetMacId());
    EXPECT_LE(DeviceData.m_dwResponseLength, 100u);
    EXPECT_EQ(DeviceData.m_DeviceIp, ipBefore);
}

TEST_F(CommInterfaceTest, ResponsiveDeviceTakesNoBusySleepAndASlowOneFinishesInTheWait) {
    const long sleepsBefore = CCommInterface::BusySleepCount();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(CCommInterface::BusySleepCount(), sleepsBefore);

    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(700, false));
    EXPECT_TRUE(m_comm.GetStatusId());
    EXPECT_GE(CCommInterface::BusySleepCount(), sleepsBefore + 1);
    EXPECT_EQ(m_messages.count(), 0u);
}

// A progress bar attached to the link: reset before the wait, stepped once per busy look,
// full when the exchange is over; with a total it shows the transferred share instead.
namespace {
class RecordedBar : public platform::ProgressIndicator {
public:
    void SetRange(int lower, int upper) override {
        calls << QStringLiteral("range %1-%2").arg(lower).arg(upper);
    }
    void SetPos(int position) override { calls << QStringLiteral("pos %1").arg(position); }
    void SetStep(int step) override { calls << QStringLiteral("step %1").arg(step); }
    void StepIt() override { calls << QStringLiteral("stepit"); }
    void SetShowText(bool show) override { calls << QStringLiteral("text %1").arg(show); }
    void SetWindowText(const QString& text) override { calls << QStringLiteral("caption ") + text; }
    QStringList calls;
};
} // namespace

TEST_F(CommInterfaceTest, AttachedProgressBarFollowsTheWait) {
    RecordedBar bar;
    m_comm.m_pProgressCtrl = &bar;
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(500, false));
    ASSERT_TRUE(m_comm.GetStatusId());
    ASSERT_GE(bar.calls.size(), 5);
    EXPECT_EQ(bar.calls.mid(0, 2),
              (QStringList{QStringLiteral("range 0-100"), QStringLiteral("pos 0")}));
    EXPECT_EQ(bar.calls.mid(2, 2),
              (QStringList{QStringLiteral("text 0"), QStringLiteral("stepit")}));
    EXPECT_EQ(bar.calls.last(), QStringLiteral("pos 100"));
    EXPECT_EQ(m_comm.m_SerialComm.m_pProgress, &bar) << "handed to the link after success";

    // With a total, the share of it already transferred: 21 units of 42.
    bar.calls.clear();
    m_comm.m_dwTotal = 42;
    m_sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(500, false));
    m_comm.m_SerialComm.m_dwProgressCount = 21;
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_TRUE(bar.calls.contains(QStringLiteral("pos 50")));
    EXPECT_TRUE(bar.calls.contains(QStringLiteral("caption 50%")));
    EXPECT_EQ(m_comm.m_dwTotal, 0u) << "the total is used up by one wait";
}
