// The subcommands on one device against a simulator of the test's own, text and JSON, and
// each exit code from a real cause. Hosts in 127.0.111.x: 1-39 (the fleet tests: 40-59).
#include "CliRunner.h"
#include "SRecordFile.h"
#include "WaitFor.h"
#include "comm/MessageCodes.h"

#include <QDateTime>

#include <functional>

using namespace clitest;

namespace {
bool IsTime(const QString& text) {
    return QDateTime::fromString(text, Qt::ISODateWithMs).isValid();
}
} // namespace

TEST(CliDeviceTest, InfoShowsTheReadOutAsTextAndAsJson) {
    const QString address = CliAddress(1);
    auto sim = StartedSimulator(address);
    sim->PinPosition(true);
    sim->SetPosition(-1234);
    const CliRun text = Cli("info %1", address);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.toStdString(),
              "Address:                         127.0.111.1\n"
              "Status record:                   "
              "71024207430300000000000000000000000000000000fffffb2e000000000000\n"
              "MAC address:                     00:1A:2B:3C:4D:5E\n"
              "IP address:                      127.0.111.1\n"
              "Subnet mask:                     255.255.255.0\n"
              "Gateway:                         127.0.0.1\n"
              "Protocol:                        Ethernet/IP\n"
              "Resolver mode:                   DM7\n"
              "Hardware revision:               2\n"
              "Boot revision:                   B.7\n"
              "Exec revision:                   C.3\n"
              "Input assembly instance:         101\n"
              "Input size (16-bit):             4\n"
              "Output assembly instance:        100\n"
              "Output size (16-bit):            2\n"
              "Configuration assembly instance: 1\n"
              "Configuration size (8-bit):      0\n"
              "Modbus position address:         40001\n"
              "Modbus heartbeat counter:        40002\n"
              "Resolver position:               -1234\n");
    // --format may come before the subcommand as well.
    EXPECT_EQ(Cli("--format json info %1", address).out.toStdString(),
              R"({"command":"info","device":{"address":"127.0.111.1","boot_revision":"B.7",)"
              R"("config_instance":"1","config_size":"0","exec_revision":"C.3",)"
              R"("gateway":"127.0.0.1","hardware_revision":2,"input_instance":101,"input_size":4,)"
              R"("ip":"127.0.111.1","mac":"00:1A:2B:3C:4D:5E","modbus_heartbeat_address":"40002",)"
              R"("modbus_position_address":"40001","output_instance":100,"output_size":2,)"
              R"("position":-1234,"protocol":"ethernet-ip","resolver_mode":"dm7","status":)"
              R"("71024207430300000000000000000000000000000000fffffb2e000000000000",)"
              R"("subnet_mask":"255.255.255.0"},"ok":true})"
              "\n");
}

// One line per poll, as text or as JSON events; a poll that fails is told and the next one
// tries again; the run then ends with 1.
TEST(CliDeviceTest, WatchPrintsOnePollPerLineAndGoesOnAfterAFailedPoll) {
    const QString address = CliAddress(2);
    auto sim = StartedSimulator(address);
    sim->SetPosition(500); // moves +1 per status request
    const CliRun text = Cli("watch %1 --count 3 --interval 5", address);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> columns = lines[i].split(' ');
        EXPECT_TRUE(IsTime(QString::fromUtf8(columns.first()))) << lines[i].toStdString();
        EXPECT_EQ(columns.last().toInt(), 500 + i) << "one status request per poll";
    }

    QProcess watch;
    watch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                Words("watch %1 --count 3 --interval 500 --format json", address));
    // The read-out's status request has been answered; the first poll gets the error.
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim->RequestCount(MSG_GET_STATUS_ID) >= 4; }));
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::DeviceError(6, /*persistent=*/false));
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 1);
    const CliRun run{1, watch.readAllStandardOutput(), watch.readAllStandardError()};
    const QList<QJsonObject> events = run.JsonLines();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1][u"event"].toString(), QStringLiteral("error"));
    EXPECT_EQ(events[2][u"event"].toString(), QStringLiteral("position"));
    EXPECT_TRUE(IsTime(events[2][u"time"].toString()));
    EXPECT_EQ(events[0][u"position"].toInt(), 503);
    EXPECT_EQ(events[2][u"position"].toInt(), 504); // the failed poll moved nothing
    EXPECT_TRUE(run.err.startsWith((address + u':').toUtf8()));
}

// Set, restart, reconnect, read back: the device really changed and the output says so.
TEST(CliDeviceTest, DeviceTakesTheSettingAndTheOutputShowsItReadBack) {
    const std::tuple<int, const char*, const char*> cases[] = {
        {3, "set-protocol %1 modbus-tcp", " Protocol: Modbus TCP/IP "},
        {6, "set-mode %1 no-dm7 --format json", R"("resolver_mode":"no-dm7")"},
        {7, "set-ip %1 127.0.111.27", " IP address: 127.0.111.27 "},
        {8, "set-ip %1 127.0.111.28 --gateway 127.0.111.254 --format json",
         R"("gateway":"127.0.111.254")"},
    };
    for (const auto& [host, arguments, readBack] : cases) {
        auto sim = StartedSimulator(CliAddress(host));
        const CliRun run = Cli(arguments, CliAddress(host));
        EXPECT_EQ(run.exitCode, 0) << arguments << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(sim->RestartCount(), 1) << arguments;
        EXPECT_TRUE(run.out.simplified().contains(readBack)) << run.out.toStdString();
    }
}

// JSON, then on a terminal (under script(1), which gives the program a pseudo-terminal) with
// the progress bar on standard error; each upgrade raises the exec revision by one.
TEST(CliDeviceTest, UpgradeSendsTheImageAndReportsTheNewExecRevision) {
    const QString address = CliAddress(9);
    auto sim = StartedSimulator(address);
    const testsupport::FirmwareFolder files(20000);
    ASSERT_TRUE(files.written);
    const CliRun json = Cli("upgrade %1 %2 --format json", address, files.good);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_TRUE(json.err.isEmpty()) << "no progress bar when stderr is not a terminal";
    QByteArray received;
    for (const auto& block : sim->FirmwareBlocks())
        received += block.data;
    EXPECT_EQ(std::vector<BYTE>(received.begin(), received.end()), testsupport::TestImage(20000));
    const QList<QJsonObject> events = json.JsonLines();
    ASSERT_GE(events.size(), 3);
    EXPECT_EQ(events.first()[u"event"].toString(), QStringLiteral("phase"));
    int lastPercent = -1;
    for (const QJsonObject& event : events) {
        if (event[u"event"].toString() == QLatin1String("progress")) {
            EXPECT_GT(event[u"percent"].toInt(), lastPercent);
            lastPercent = event[u"percent"].toInt();
        }
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(json.Json()[u"device"][u"exec_revision"].toString(), QStringLiteral("C.4"));

    QProcess script;
    script.start(QStringLiteral("script"),
                 Words("-q -e -c")
                     << QStringLiteral("%1 upgrade %2 %3")
                            .arg(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), address, files.good)
                     << QStringLiteral("/dev/null"));
    ASSERT_TRUE(script.waitForFinished(60000));
    EXPECT_EQ(script.exitCode(), 0);
    const QByteArray screen = script.readAllStandardOutput();
    EXPECT_TRUE(screen.contains("] 100%  19.5 KiB / 19.5 KiB  ")) << screen.toStdString();
    EXPECT_TRUE(screen.contains(" KiB/s  0:00 left")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("Exec revision: C.5")) << screen.toStdString();
}

struct ExitCase {
    int host; // 20: nothing listens there
    std::function<void(sim::CEncoderSimulator&)> arrange;
    const char* arguments; // %2: a firmware file, refused for exit code 4
    int exitCode;
    const char* code;    // JSON error code
    const char* message; // the window's words, also on stderr
};

TEST(CliDeviceTest, RealCauseGivesItsExitCodeErrorCodeAndMessage) {
    const testsupport::FirmwareFolder files(1000);
    ASSERT_TRUE(files.written);
    const auto fault = [](BYTE code, sim::Fault fault) {
        return [code, fault](sim::CEncoderSimulator& s) { s.SetFault(code, fault); };
    };
    const ExitCase cases[] = {
        {20, {}, "info %1", 1, "link-failure", ""},
        {21, fault(MSG_GET_PARAMS, sim::Fault::DeviceError(6)), "info %1", 1, "link-failure", ""},
        {22, fault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice()), "info %1", 1,
         "not-valid-device", "Not a valid Device."},
        {23, [](auto& s) { s.SetKeepOldProtocol(true); }, "set-protocol %1 modbus-tcp", 3,
         "readback-mismatch", "Change Protocol failed."},
        {24, fault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(11)), "set-mode %1 no-dm7", 1,
         "set-failed", "Unable to Set Resolver Mode"},
        {25, [](auto& s) { s.RejectBlock(1); }, "upgrade %1 %2", 1, "transfer-failed",
         "Upgrade Firmware - Failed."},
        {26, [](auto&) {}, "upgrade %1 %2", 4, "file-refused", "Unable to read firmware file"},
    };
    for (const auto& c : cases) {
        const QString address = CliAddress(c.host);
        const auto sim = c.arrange ? StartedSimulator(address) : nullptr;
        if (sim)
            c.arrange(*sim);
        QStringList arguments = Words(c.arguments, address) + Words("--format json");
        const QString& file = c.exitCode == 4 ? files.refused : files.good;
        const CliRun run = RunCli(arguments.replaceInStrings(QStringLiteral("%2"), file));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments << run.err.toStdString();
        const QJsonObject error = run.Json()[u"error"].toObject();
        EXPECT_EQ(error[u"code"].toString(), QLatin1String(c.code)) << c.arguments;
        EXPECT_EQ(error[u"device"].toString(), address);
        EXPECT_TRUE(error[u"message"].toString().contains(QLatin1String(c.message)))
            << error[u"message"].toString().toStdString();
        EXPECT_TRUE(
            run.err.contains((address + QStringLiteral(": ") + QLatin1String(c.message)).toUtf8()))
            << run.err.toStdString();
        if (c.exitCode == 4) {
            EXPECT_EQ(sim->ConnectionCount(), 0) << "a refused file never reaches the device";
        }
    }
}
