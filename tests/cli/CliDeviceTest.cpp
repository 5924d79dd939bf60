// The subcommands on one device against a simulator of the test's own, text and JSON, and
// each exit code from a real cause. Hosts in 127.0.111.x: 1-39.
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
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const std::pair<const char*, const char*> expected[] = {{"MAC address", "00:1A:2B:3C:4D:5E"},
                                                            {"IP address", "127.0.111.1"},
                                                            {"Subnet mask", "255.255.255.0"},
                                                            {"Protocol", "Ethernet/IP"},
                                                            {"Resolver mode", "DM7"},
                                                            {"Hardware revision", "2"},
                                                            {"Boot revision", "B.7"},
                                                            {"Exec revision", "C.3"},
                                                            {"Input assembly instance", "101"},
                                                            {"Input size (16-bit)", "4"},
                                                            {"Output size (16-bit)", "2"},
                                                            {"Resolver position", "-1234"}};
    for (const auto& [label, value] : expected)
        EXPECT_EQ(text.TextField(QLatin1String(label)), QLatin1String(value)) << label;
    // Aligned: every value starts in the same column.
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    const auto column = [](const QByteArray& line) {
        return line.size() - line.mid(line.indexOf(':') + 1).trimmed().size();
    };
    for (const QByteArray& line : lines)
        EXPECT_EQ(column(line), column(lines[0])) << line.toStdString();

    // --format may come before the subcommand as well.
    const QJsonObject json = Cli("--format json info %1", address).Json();
    EXPECT_TRUE(json[u"ok"].toBool());
    const QJsonObject device = json[u"device"].toObject();
    EXPECT_EQ(device[u"mac"].toString(), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(device[u"protocol"].toString(), QStringLiteral("ethernet-ip"));
    EXPECT_EQ(device[u"resolver_mode"].toString(), QStringLiteral("dm7"));
    EXPECT_EQ(device[u"exec_revision"].toString(), QStringLiteral("C.3"));
    EXPECT_EQ(device[u"output_instance"].toInt(), 100);
    EXPECT_EQ(device[u"position"].toInt(), -1234);
    EXPECT_EQ(device[u"status"].toString().left(2), QStringLiteral("71")) << "'q' first";
}

TEST(CliDeviceTest, WatchPrintsOneLinePerPoll) {
    const QString address = CliAddress(2);
    auto sim = StartedSimulator(address);
    sim->SetPosition(500); // moves +1 per status request

    const CliRun text = Cli("watch %1 --count 3 --interval 5", address);
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> columns = lines[i].split(' ');
        EXPECT_TRUE(IsTime(QString::fromUtf8(columns.first()))) << lines[i].toStdString();
        EXPECT_EQ(columns.last().toInt() - lines[0].split(' ').last().toInt(), i)
            << "one status request per poll";
    }
}

// As JSON events; a poll that fails is told and the next one tries again; the run then ends
// with 1.
TEST(CliDeviceTest, WatchJsonGoesOnAfterAFailedPoll) {
    const QString address = CliAddress(11);
    auto sim = StartedSimulator(address);
    QProcess watch;
    watch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                Words("watch %1 --count 3 --interval 500 --format json", address));
    // The read-out's status request has been answered; the first poll gets the error.
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim->RequestCount(MSG_GET_STATUS_ID) >= 1; }));
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::DeviceError(6, /*persistent=*/false));
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 1);
    const CliRun run{1, watch.readAllStandardOutput(), watch.readAllStandardError()};
    QStringList events;
    for (const QJsonObject& event : run.JsonLines())
        events << event[u"event"].toString();
    EXPECT_EQ(events, QStringLiteral("position error position").split(u' '));
    EXPECT_TRUE(IsTime(run.JsonLines()[2][u"time"].toString()));
    EXPECT_GT(run.JsonLines()[2][u"position"].toInt(), run.JsonLines()[0][u"position"].toInt());
    EXPECT_TRUE(run.err.startsWith((address + u':').toUtf8()));
}

// Set, restart, reconnect, read back: the device really changed and the output says so.
TEST(CliDeviceTest, DeviceTakesTheSettingAndTheOutputShowsItReadBack) {
    const std::tuple<int, const char*, const char*, const char*> cases[] = {
        {3, "set-protocol %1 modbus-tcp", "Protocol", "Modbus TCP/IP"},
        {4, "set-protocol %1 delvor --format json", "protocol", "delvor"},
        {5, "set-mode %1 no-dm7", "Resolver mode", "NO DM7"},
        {6, "set-mode %1 no-dm7 --format json", "resolver_mode", "no-dm7"},
        {7, "set-ip %1 127.0.111.27", "IP address", "127.0.111.27"},
        {8, "set-ip %1 127.0.111.28 --gateway 127.0.111.254 --format json", "gateway",
         "127.0.111.254"},
    };
    for (const auto& [host, arguments, field, expected] : cases) {
        auto sim = StartedSimulator(CliAddress(host));
        const CliRun run = Cli(arguments, CliAddress(host));
        ASSERT_EQ(run.exitCode, 0) << arguments << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(sim->RestartCount(), 1) << arguments;
        const QString readBack =
            QByteArray(arguments).contains("json")
                ? run.Json()[u"device"].toObject()[QLatin1String(field)].toString()
                : run.TextField(QLatin1String(field));
        EXPECT_EQ(readBack, QLatin1String(expected)) << arguments;
    }
}

// Text, JSON, then on a terminal (under script(1), which gives the program a pseudo-terminal)
// with the progress bar on standard error; each upgrade raises the exec revision by one.
TEST(CliDeviceTest, UpgradeSendsTheImageAndReportsTheNewExecRevision) {
    const QString address = CliAddress(9);
    auto sim = StartedSimulator(address);
    const testsupport::FirmwareFolder files(20000);
    const QString& file = files.good;
    ASSERT_TRUE(files.written);

    const CliRun text = Cli("upgrade %1 %2", address, file);
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.TextField(QStringLiteral("Exec revision")), QStringLiteral("C.4"));
    EXPECT_TRUE(text.err.isEmpty()) << "no progress bar when stderr is not a terminal";
    QByteArray received;
    for (const auto& block : sim->FirmwareBlocks())
        received += block.data;
    const auto image = testsupport::TestImage(20000);
    EXPECT_EQ(received, QByteArray(reinterpret_cast<const char*>(image.data()), 20000));

    const CliRun json = Cli("upgrade %1 %2 --format json", address, file);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
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
    EXPECT_EQ(json.Json()[u"device"].toObject()[u"exec_revision"].toString(),
              QStringLiteral("C.5"));

    QProcess script;
    script.start(QStringLiteral("script"),
                 Words("-q -e -c")
                     << QStringLiteral("%1 upgrade %2 %3")
                            .arg(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), address, file)
                     << QStringLiteral("/dev/null"));
    ASSERT_TRUE(script.waitForFinished(60000));
    EXPECT_EQ(script.exitCode(), 0);
    const QByteArray screen = script.readAllStandardOutput();
    EXPECT_TRUE(screen.contains("] 100%  19.5 KiB / 19.5 KiB  ")) << screen.toStdString();
    EXPECT_TRUE(screen.contains(" KiB/s  0:00 left")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("Exec revision: C.6")) << screen.toStdString();
}

struct ExitCase {
    int host; // 20: nothing listens there
    std::function<void(sim::CEncoderSimulator&)> arrange;
    const char* arguments; // FILE stands for a refused file, IMAGE for a good one
    int exitCode;
    const char* code;    // JSON error code
    const char* message; // the window's words on stderr
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
        {25, [](auto& s) { s.RejectBlock(1); }, "upgrade %1 IMAGE", 1, "transfer-failed",
         "Upgrade Firmware - Failed."},
        {26, [](auto&) {}, "upgrade %1 FILE", 4, "file-refused", "Unable to read firmware file"},
    };
    for (const auto& c : cases) {
        const QString address = CliAddress(c.host);
        const auto sim = c.arrange ? StartedSimulator(address) : nullptr;
        if (sim)
            c.arrange(*sim);
        QStringList arguments = Words(c.arguments, address) + Words("--format json");
        arguments.replaceInStrings(QStringLiteral("IMAGE"), files.good);
        const CliRun run =
            RunCli(arguments.replaceInStrings(QStringLiteral("FILE"), files.refused));
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
