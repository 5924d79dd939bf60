#include "comm/CommInterface.h"
#include "LoopbackAddress.h"
#include "MessageRecorder.h"
#include "SimulatorSupport.h"
#include "comm/DeviceData.h"
#include "comm/MessageCodes.h"

#include <QElapsedTimer>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;
using namespace testsupport;

// The command layer against a simulated encoder of the test's own on loopback.
class CommInterfaceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Started(m_sim));
        DeviceData = {};
        DeviceData.m_DeviceIp = Octets(m_address);
    }

    QString TakeMessage() { return TakeBox(m_messages); }

    QString m_address = UniqueLoopbackAddress(LoopbackArea::Comm);
    sim::CEncoderSimulator m_sim{SimulatorConfigAt(m_address)};
    MessageRecorder m_messages;
    CCommInterface m_comm;
};

// No minimum length: a longer record is cut, a shorter one zero-filled, an empty one accepted
// (the callers reject it). A final status 0 with an uncleared result fails silently.
TEST_F(CommInterfaceTest, StatusRecordIsCutOrZeroFilledToItsSize) {
    for (const int length : {40, 10, 0}) {
        m_sim.SetReplyOverride(MSG_GET_STATUS_ID, QByteArray(length, 'q'));
        ASSERT_TRUE(m_comm.GetStatusId()) << length;
        const int kept = std::min(length, 32);
        EXPECT_EQ(DeviceData.m_dwResponseLength, DWORD(kept));
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(DeviceData.m_Status.data()), 32),
                  QByteArray(kept, 'q').leftJustified(32, '\0'));
    }
    EXPECT_FALSE(DeviceData.IsValidDevice());
    EXPECT_EQ(m_comm.m_SerialComm.m_dwResult, 29u) << "every wait leaves 29 behind";
    EXPECT_FALSE(m_comm.WaitForCompletion()) << "final status 0 with an uncleared result";
    EXPECT_EQ(m_messages.count(), 0u);
}

TEST_F(CommInterfaceTest, ReadCommandsAcceptTheirMinimumLengthAndRefuseOneByteLess) {
    using Read = bool (CCommInterface::*)();
    for (const auto& [code, minimum, command, failure] :
         {std::tuple<BYTE, int, Read, QString>{MSG_GET_MAC_ID, 9, &CCommInterface::GetMacId,
                                               u"Unable to Read MAC ID"_s},
          {MSG_GET_PARAMS, 21, &CCommInterface::GetEthernetParams,
           u"Unable to Read Ethernet Parameters"_s},
          {MSG_GET_PARAMS, 18, &CCommInterface::GetEadkParams,
           u"Unable to Read Ethernet eadk Parameters"_s}}) {
        SCOPED_TRACE(failure.toStdString());
        m_sim.SetReplyOverride(code, QByteArray(minimum, 1));
        EXPECT_TRUE((m_comm.*command)());
        EXPECT_EQ(m_messages.count(), 0u);
        const EthernetSettings before = DeviceData.m_Current;
        m_sim.SetReplyOverride(code, QByteArray(minimum - 1, 2));
        EXPECT_FALSE((m_comm.*command)());
        EXPECT_EQ(TakeMessage(), u"DELVOR RivivozUzuvod|%1|0|E"_s.arg(failure));
        EXPECT_EQ(DeviceData.m_Current.m_Ip, before.m_Ip) << "a short reply changes nothing";
        EXPECT_EQ(DeviceData.m_Current.m_Mac, before.m_Mac);
    }
}

// Each command as the device receives it: code:flag:payload. The set payload rebuilds the
// protocol/mode byte, which stays in the pending record; a refused restart (no restart: the
// device would move to the new address for real) does not fail the set, a refused request
// fails its command.
TEST_F(CommInterfaceTest, EachCommandSendsItsCodeFlagAndPayload) {
    DeviceData.m_Pending = {.m_Ip = {127, 20, 0, 9},
                            .m_SubnetMask = {255, 255, 0, 0},
                            .m_Gateway = {127, 20, 0, 1},
                            .m_Options = {0x11, 0x22, 0x33, 0x00},
                            .m_nProtocol = 2,
                            .m_bModeDM7 = true};
    using C = CCommInterface;
    // command, the code refused with an EEPROM error (0: none), result, wire
    const std::tuple<bool (C::*)(), BYTE, bool, const char*> rows[] = {
        {&C::GetStatusId, 0, true, "12:0:"},
        {&C::GetMacId, 0, true, "2f:0:"},
        {&C::GetEthernetParams, 0, true, "2b:1:01"},
        {&C::GetEadkParams, 0, true, "2b:1:05"},
        {&C::SetNewIpAndRestart, MSG_RESTART_DEVICE, true,
         "2a:1:01130013017f140009ffff00007f14000111223322 01:0:"},
        {&C::GetMacId, MSG_GET_MAC_ID, false, "2f:0:"},
    };
    for (const auto& [command, refused, result, wire] : rows) {
        m_sim.ClearLog();
        if (refused != 0)
            m_sim.SetFault(refused, sim::Fault::DeviceError(10, false));
        EXPECT_EQ((m_comm.*command)(), result) << wire;
        EXPECT_EQ(Wire(m_sim.Requests()).toStdString(), wire);
        EXPECT_EQ(TakeMessage().section(u'|', 2, 2), refused != 0 ? u"123"_s : QString()) << wire;
    }
    EXPECT_EQ(DeviceData.m_Pending.m_Options[3], 0x22) << "the rebuilt byte stays pending";
}

// Each fault ends the command with one message; the next command goes through. With nothing
// listening, the socket's own error shows in the system's words, and is not blamed for a later
// failure. A device status that is one of the library's own codes reads as device error 120.
TEST_F(CommInterfaceTest, FaultsEndTheCommandWithTheirMessageAndTheNextCommandWorks) {
    m_sim.Stop();
    EXPECT_FALSE(m_comm.GetStatusId());
    EXPECT_EQ(TakeMessage(), u"Error|Connection refused|0|I"_s);
    ASSERT_TRUE(m_sim.Start());
    using sim::Fault;
    std::vector<std::pair<Fault, int>> rows = {
        {Fault::DeviceError(50), 104}, {Fault::BadChecksum(), 105}, {Fault::WrongCode(), 108},
        {Fault::WrongSequence(), 109}, {Fault::ShortReply(), 111},  {Fault::DeviceError(16), 114}};
    for (const BYTE status : {1, 2, 3, 4, 7, 8, 9, 17, 18, 27, 29, 30, 31, 35})
        rows.emplace_back(Fault::DeviceError(status), 120);
    for (const auto& [fault, stringId] : rows) {
        SCOPED_TRACE(stringId);
        m_sim.SetFault(MSG_GET_STATUS_ID, fault);
        EXPECT_FALSE(m_comm.GetStatusId());
        EXPECT_EQ(TakeMessage().section(u'|', 2), u"%1|I"_s.arg(stringId));
        m_sim.ClearFault(MSG_GET_STATUS_ID);
        EXPECT_TRUE(m_comm.GetStatusId());
        EXPECT_EQ(m_messages.count(), 0u);
    }
}

TEST_F(CommInterfaceTest, AnOpenLinkKeepsItsAddressUntilDropped) {
    const QString otherAddress = UniqueLoopbackAddress(LoopbackArea::Comm, 7);
    sim::CEncoderSimulator other(SimulatorConfigAt(otherAddress));
    ASSERT_TRUE(Started(other));
    ASSERT_TRUE(m_comm.GetStatusId());
    DeviceData.m_DeviceIp = Octets(otherAddress);
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(m_sim.RequestCount(MSG_GET_STATUS_ID), 2);
    m_comm.DropLink();
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(other.RequestCount(MSG_GET_STATUS_ID), 1);
}

// A progress bar attached to the link: reset before the wait, stepped once per busy look
// (every 400 ms), full when the exchange is over; with a total it shows the transferred share
// instead.
TEST_F(CommInterfaceTest, AttachedProgressBarFollowsTheWait) {
    struct RecordedBar : platform::ProgressIndicator {
        void SetRange(int l, int u) override { calls << u"range %1-%2"_s.arg(l).arg(u); }
        void SetPos(int position) override { calls << u"pos %1"_s.arg(position); }
        void SetStep(int step) override { calls << u"step %1"_s.arg(step); }
        void StepIt() override {
            calls << u"stepit"_s;
            steps.push_back(clock.elapsed());
        }
        void SetShowText(bool show) override { calls << u"text %1"_s.arg(show); }
        void SetWindowText(const QString& text) override { calls << u"caption "_s + text; }
        QStringList calls;
        QElapsedTimer clock;
        std::vector<qint64> steps; // ms after the request
    } bar;
    m_comm.m_pProgressCtrl = &bar;
    m_sim.SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(1300, false));
    bar.clock.start();
    ASSERT_TRUE(m_comm.GetStatusId());
    ASSERT_GE(bar.steps.size(), 2u);
    const double pace = double(bar.steps.back() - bar.steps.front()) / double(bar.steps.size() - 1);
    EXPECT_GT(pace, 200);
    EXPECT_LT(pace, 800);
    EXPECT_EQ(bar.calls.mid(0, 4).join(u','), QStringLiteral("range 0-100,pos 0,text 0,stepit"));
    EXPECT_EQ(bar.calls.last(), QStringLiteral("pos 100"));
    EXPECT_EQ(m_comm.m_SerialComm.m_pProgress, &bar) << "handed to the link after success";

    bar.calls.clear();
    m_comm.m_dwTotal = 42;
    m_sim.SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(100, false));
    m_comm.m_SerialComm.m_dwProgressCount = 63; // 63 units of 42 transferred: 150%
    ASSERT_TRUE(m_comm.GetStatusId());
    EXPECT_EQ(bar.calls.mid(2, 3).join(u','), u"text 1,pos 150,caption 100%"_s);
    EXPECT_EQ(m_comm.m_dwTotal, 0u) << "the total is used up by one wait";
}

// A link closed while its request is under way ends the request with status 18: the caller's
// outcome learns the status, and no box is shown.
TEST_F(CommInterfaceTest, ALinkClosedDuringItsRequestFailsWithoutAMessage) {
    m_sim.SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(3000, false));
    QTimer::singleShot(100, [this] { m_comm.m_SerialComm.CloseComPort(); });
    Outcome outcome;
    CCommInterface::ReportScope scope(m_comm, outcome);
    EXPECT_FALSE(m_comm.GetStatusId());
    EXPECT_EQ(outcome.details.value(u"device_status"_s).toInt(), 18);
    EXPECT_TRUE(outcome.messages.empty());
    EXPECT_EQ(m_messages.count(), 0u);
}

// A request made while another runs on the same link (from an event handled during the busy
// wait) fails at once with its message; the running one ends normally.
TEST_F(CommInterfaceTest, ARequestWhileOneRunsFailsAndTheFirstGoesOn) {
    m_sim.SetFault(MSG_GET_STATUS_ID, sim::Fault::SlowReply(600, false));
    std::optional<bool> second;
    QTimer::singleShot(100, [this, &second] { second = m_comm.GetMacId(); });
    EXPECT_TRUE(m_comm.GetStatusId());
    ASSERT_TRUE(second.has_value());
    EXPECT_FALSE(*second);
    EXPECT_EQ(TakeMessage(),
              u"DELVOR RivivozUzuvod|There is a Port conflict. Check the ports.|115|I"_s);
    EXPECT_EQ(m_sim.RequestCount(MSG_GET_MAC_ID), 0);
}
