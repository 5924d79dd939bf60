// The subcommands on one device against a simulator of the test's own, text and JSON, and
// each exit code from a real cause.
#include "CliRunner.h"
#include "LoopbackAddress.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"
#include "WaitFor.h"
#include "comm/MessageCodes.h"
#include "sim/EncoderSimulator.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

using clitest::CliRun;
using clitest::RunCli;
using testsupport::LoopbackSubnet;

namespace {
QString CliAddress(int host) {
    return testsupport::NumberedLoopbackAddress(LoopbackSubnet::Cli, host);
}

std::unique_ptr<sim::CEncoderSimulator> StartedSimulator(const QString& address) {
    auto simulator = std::make_unique<sim::CEncoderSimulator>(
        testsupport::SimulatorConfigAt(address, /*restartAwayMs=*/20));
    EXPECT_TRUE(testsupport::Started(*simulator));
    return simulator;
}

QStringList Args(std::initializer_list<const char*> words, bool json) {
    QStringList arguments;
    for (const char* word : words)
        arguments << QString::fromUtf8(word);
    if (json)
        arguments << QStringLiteral("--format") << QStringLiteral("json");
    return arguments;
}
} // namespace

// Every test of this file has its own host numbers in 127.0.111.x: 1-39.
class CliDeviceTest : public ::testing::Test {
protected:
    QTemporaryDir m_folder;
};

TEST_F(CliDeviceTest, InfoShowsTheReadOutAsTextAndAsJson) {
    const QString address = CliAddress(1);
    auto sim = StartedSimulator(address);
    sim->PinPosition(true);
    sim->SetPosition(-1234);

    const CliRun text = RunCli({QStringLiteral("info"), address});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const std::vector<std::pair<const char*, const char*>> expected{
        {"MAC address", "00:1A:2B:3C:4D:5E"},
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
    const auto valueColumn = [](const QByteArray& line) {
        qsizetype column = line.indexOf(':') + 1;
        while (column < line.size() && line[column] == ' ')
            ++column;
        return column;
    };
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_GE(lines.size(), expected.size());
    for (const QByteArray& line : lines)
        EXPECT_EQ(valueColumn(line), valueColumn(lines[0])) << line.toStdString();

    // --format may come before the subcommand as well.
    const QJsonObject json = RunCli({QStringLiteral("--format"), QStringLiteral("json"),
                                     QStringLiteral("info"), address})
                                 .Json();
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

TEST_F(CliDeviceTest, WatchPrintsOneLinePerPollAndJsonEvents) {
    const QString address = CliAddress(2);
    auto sim = StartedSimulator(address);
    sim->SetPosition(500); // moves +1 per status request

    const CliRun text =
        RunCli({QStringLiteral("watch"), address, QStringLiteral("--count"), QStringLiteral("3"),
                QStringLiteral("--interval"), QStringLiteral("5")});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const QList<QByteArray> columns = lines[i].split(' ');
        EXPECT_FALSE(
            QDateTime::fromString(QString::fromUtf8(columns.first()), Qt::ISODateWithMs).isNull())
            << lines[i].toStdString();
        EXPECT_EQ(columns.last().toInt() - lines[0].split(' ').last().toInt(), i)
            << "one status request per poll";
    }

    const CliRun json =
        RunCli(Args({"watch", "127.0.111.2", "--count", "2", "--interval", "5"}, true));
    ASSERT_EQ(json.exitCode, 0);
    const QList<QJsonObject> events = json.JsonLines();
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0][u"event"].toString(), QStringLiteral("position"));
    EXPECT_EQ(events[1][u"position"].toInt() - events[0][u"position"].toInt(), 1);
    EXPECT_FALSE(QDateTime::fromString(events[1][u"time"].toString(), Qt::ISODateWithMs).isNull());
}

// A poll that fails is told and the next one tries again; the run then ends with 1.
TEST_F(CliDeviceTest, WatchGoesOnAfterAFailedPoll) {
    const QString address = CliAddress(11);
    auto sim = StartedSimulator(address);
    QProcess watch;
    watch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                Args({"watch", "127.0.111.11", "--count", "3", "--interval", "500"}, true));
    // The read-out's status request has been answered; the first poll gets the error.
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim->RequestCount(MSG_GET_STATUS_ID) >= 1; }));
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::DeviceError(6, /*persistent=*/false));
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 1);
    CliRun run;
    run.out = watch.readAllStandardOutput();
    QStringList events;
    for (const QJsonObject& event : run.JsonLines())
        events << event[u"event"].toString();
    EXPECT_EQ(events, (QStringList{QStringLiteral("position"), QStringLiteral("error"),
                                   QStringLiteral("position")}));
    EXPECT_TRUE(watch.readAllStandardError().startsWith((address + u':').toUtf8()));
}

struct ChangeCase {
    const char* name;
    std::vector<const char*> extra; // the subcommand, then what follows the address
    int host;
    bool json;
    const char* field;    // JSON key / text label checked after the change
    const char* expected; // its value read back
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.name;
}

class CliChangeTest : public CliDeviceTest, public ::testing::WithParamInterface<ChangeCase> {};

// Set, restart, reconnect, read back: the device really changed and the output says so.
TEST_P(CliChangeTest, DeviceTakesTheSettingAndTheOutputShowsItReadBack) {
    const ChangeCase& c = GetParam();
    const QString address = CliAddress(c.host);
    auto sim = StartedSimulator(address);
    QStringList arguments{QLatin1String(c.extra[0]), address};
    for (std::size_t i = 1; i < c.extra.size(); ++i)
        arguments << QLatin1String(c.extra[i]);
    if (c.json)
        arguments << QStringLiteral("--format") << QStringLiteral("json");
    const CliRun run = RunCli(arguments);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
    EXPECT_EQ(sim->RestartCount(), 1);
    if (c.json) {
        const QJsonObject json = run.Json();
        EXPECT_TRUE(json[u"ok"].toBool());
        EXPECT_EQ(json[u"device"].toObject()[QLatin1String(c.field)].toString(),
                  QLatin1String(c.expected));
    } else {
        EXPECT_EQ(run.TextField(QLatin1String(c.field)), QLatin1String(c.expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliChangeTest,
    ::testing::Values(
        ChangeCase{
            "ProtocolText", {"set-protocol", "modbus-tcp"}, 3, false, "Protocol", "Modbus TCP/IP"},
        ChangeCase{"ProtocolJson", {"set-protocol", "delvor"}, 4, true, "protocol", "delvor"},
        ChangeCase{"ModeText", {"set-mode", "no-dm7"}, 5, false, "Resolver mode", "NO DM7"},
        ChangeCase{"ModeJson", {"set-mode", "no-dm7"}, 6, true, "resolver_mode", "no-dm7"},
        ChangeCase{
            "AddressText", {"set-ip", "127.0.111.27"}, 7, false, "IP address", "127.0.111.27"},
        ChangeCase{"AddressAndGatewayJson",
                   {"set-ip", "127.0.111.28", "--gateway", "127.0.111.254"},
                   8,
                   true,
                   "gateway",
                   "127.0.111.254"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CliDeviceTest, UpgradeSendsTheImageAndReportsTheNewExecRevision) {
    const QString address = CliAddress(9);
    auto sim = StartedSimulator(address);
    const auto image = testsupport::TestImage(5000);
    const QString file = m_folder.filePath(QStringLiteral("image.s19"));
    ASSERT_TRUE(testsupport::WriteSRecordFile(file, image));

    const CliRun text = RunCli({QStringLiteral("upgrade"), address, file});
    ASSERT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.TextField(QStringLiteral("Exec revision")), QStringLiteral("C.4"));
    EXPECT_TRUE(text.err.isEmpty()) << "no progress bar when stderr is not a terminal";
    QByteArray received;
    for (const auto& block : sim->FirmwareBlocks())
        received += block.data;
    EXPECT_EQ(received, QByteArray(reinterpret_cast<const char*>(image.data()), 5000));

    const CliRun json = RunCli(Args({"upgrade", "127.0.111.9"}, false)
                               << file << QStringLiteral("--format") << QStringLiteral("json"));
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QList<QJsonObject> events = json.JsonLines();
    ASSERT_GE(events.size(), 3);
    EXPECT_EQ(events.first()[u"event"].toString(), QStringLiteral("phase"));
    int lastPercent = -1;
    for (const QJsonObject& event : events) {
        if (event[u"event"].toString() != QLatin1String("progress"))
            continue;
        EXPECT_GT(event[u"percent"].toInt(), lastPercent);
        lastPercent = event[u"percent"].toInt();
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(json.Json()[u"device"].toObject()[u"exec_revision"].toString(),
              QStringLiteral("C.5"));
}

// On a terminal the upgrade draws its bar on standard error (here under script(1), which
// gives the program a pseudo-terminal).
TEST_F(CliDeviceTest, UpgradeDrawsAProgressBarOnATerminal) {
    const QString address = CliAddress(10);
    auto sim = StartedSimulator(address);
    const QString file = m_folder.filePath(QStringLiteral("image.s19"));
    ASSERT_TRUE(testsupport::WriteSRecordFile(file, testsupport::TestImage(20000)));
    QProcess script;
    script.start(QStringLiteral("script"),
                 {QStringLiteral("-q"), QStringLiteral("-e"), QStringLiteral("-c"),
                  QStringLiteral("%1 upgrade %2 %3")
                      .arg(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), address, file),
                  QStringLiteral("/dev/null")});
    ASSERT_TRUE(script.waitForFinished(60000));
    EXPECT_EQ(script.exitCode(), 0);
    const QByteArray screen = script.readAllStandardOutput();
    EXPECT_TRUE(screen.contains("] 100%  19.5 KiB / 19.5 KiB  ")) << screen.toStdString();
    EXPECT_TRUE(screen.contains(" KiB/s  0:00 left")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("Exec revision: C.4")) << screen.toStdString();
}

struct ExitCase {
    const char* name;
    int host;
    bool simulator; // false: nothing listens there
    std::function<void(sim::CEncoderSimulator&)> arrange;
    // The subcommand, then what follows the address; "FILE" stands for a refused file,
    // "IMAGE" for a good one.
    std::vector<const char*> arguments;
    int exitCode;
    const char* code;    // JSON error code
    const char* message; // the window's words on stderr
};

void PrintTo(const ExitCase& c, std::ostream* os) {
    *os << c.name;
}

class CliExitCodeTest : public CliDeviceTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(CliExitCodeTest, RealCauseGivesItsExitCodeErrorCodeAndMessage) {
    const ExitCase& c = GetParam();
    const QString address = CliAddress(c.host);
    std::unique_ptr<sim::CEncoderSimulator> sim;
    if (c.simulator) {
        sim = StartedSimulator(address);
        if (c.arrange)
            c.arrange(*sim);
    }
    const QString refused = m_folder.filePath(QStringLiteral("broken.s19"));
    QFile broken(refused);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("S1130000XX\n");
    broken.close();
    const QString good = m_folder.filePath(QStringLiteral("good.s19"));
    ASSERT_TRUE(testsupport::WriteSRecordFile(good, testsupport::TestImage(1000)));
    QStringList arguments{QLatin1String(c.arguments[0]), address};
    for (std::size_t i = 1; i < c.arguments.size(); ++i) {
        const QLatin1String argument(c.arguments[i]);
        arguments << (argument == QLatin1String("FILE")    ? refused
                      : argument == QLatin1String("IMAGE") ? good
                                                           : QString(argument));
    }
    arguments << QStringLiteral("--format") << QStringLiteral("json");

    const CliRun run = RunCli(arguments);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err.toStdString();
    const QJsonObject error = run.Json()[u"error"].toObject();
    EXPECT_EQ(error[u"code"].toString(), QLatin1String(c.code));
    EXPECT_EQ(error[u"device"].toString(), address);
    EXPECT_TRUE(error[u"message"].toString().contains(QLatin1String(c.message)))
        << error[u"message"].toString().toStdString();
    EXPECT_TRUE(
        run.err.contains((address + QStringLiteral(": ") + QLatin1String(c.message)).toUtf8()))
        << run.err.toStdString();
    if (sim && c.exitCode == 4) {
        EXPECT_EQ(sim->ConnectionCount(), 0) << "a refused file never reaches the device";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliExitCodeTest,
    ::testing::Values(ExitCase{"NoDevice", 20, false, {}, {"info"}, 1, "link-failure", ""},
                      ExitCase{"DeviceError",
                               21,
                               true,
                               [](sim::CEncoderSimulator& s) {
                                   s.SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
                               },
                               {"info"},
                               1,
                               "link-failure",
                               ""},
                      ExitCase{"NotValidDevice",
                               22,
                               true,
                               [](sim::CEncoderSimulator& s) {
                                   s.SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
                               },
                               {"info"},
                               1,
                               "not-valid-device",
                               "Not a valid Device."},
                      ExitCase{"KeepsOldProtocol",
                               23,
                               true,
                               [](sim::CEncoderSimulator& s) { s.SetKeepOldProtocol(true); },
                               {"set-protocol", "modbus-tcp"},
                               3,
                               "readback-mismatch",
                               "Change Protocol failed."},
                      ExitCase{"SetRefused",
                               24,
                               true,
                               [](sim::CEncoderSimulator& s) {
                                   s.SetFault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(11));
                               },
                               {"set-mode", "no-dm7"},
                               1,
                               "set-failed",
                               "Unable to Set Resolver Mode"},
                      ExitCase{"BlockRejected",
                               25,
                               true,
                               [](sim::CEncoderSimulator& s) { s.RejectBlock(1); },
                               {"upgrade", "IMAGE"},
                               1,
                               "transfer-failed",
                               "Upgrade Firmware - Failed."},
                      ExitCase{"RefusedFile",
                               26,
                               true,
                               {},
                               {"upgrade", "FILE"},
                               4,
                               "file-refused",
                               "Unable to read firmware file"}),
    [](const auto& info) { return std::string(info.param.name); });
