// The built rivivozuzuvod-cli against simulators (hosts in 127.0.111.x: 1-39 for one device,
// 40-45 for the batch; scans search 127.0.110.x), then its parts in-process.
#include "LoopbackAddress.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"
#include "WaitFor.h"
#include "cli/AddressRange.h"
#include "cli/BatchPlan.h"
#include "cli/ProgressBar.h"
#include "comm/MessageCodes.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include <csignal>

#include <sys/stat.h>

using testsupport::LoopbackSubnet;

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;

    // Standard output as JSON Lines; a line that is not a JSON object fails the test.
    QList<QJsonObject> JsonLines() const {
        QList<QJsonObject> objects;
        for (const QByteArray& line : out.split('\n')) {
            QJsonParseError error{};
            if (!line.isEmpty())
                objects.append(QJsonDocument::fromJson(line, &error).object());
            EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        }
        return objects;
    }
    // The run's document: the last JSON line.
    QJsonObject Json() const {
        const QList<QJsonObject> lines = JsonLines();
        return lines.isEmpty() ? QJsonObject() : lines.last();
    }
};

CliRun Finish(QProcess& process, const QString& what) {
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "rivivozuzuvod-cli did not end: " << what.toStdString();
    }
    const bool normal = process.exitStatus() == QProcess::NormalExit;
    return {normal ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

CliRun RunCli(const QStringList& arguments,
              const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), arguments);
    return Finish(process, arguments.join(u' '));
}

// A shell line as a user types it (pipes, process substitution), run in `folder`; "$1" is
// the program.
CliRun RunShell(const char* line, const QString& folder) {
    QProcess process;
    process.setWorkingDirectory(folder);
    process.start(QStringLiteral("bash"),
                  {QStringLiteral("-c"), QString::fromUtf8(line), QStringLiteral("bash"),
                   QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM)});
    return Finish(process, QString::fromUtf8(line));
}

// The arguments as one line of words, %1, %2, ... filled in: Cli("info %1", address).
template <typename... Values> QStringList Words(const char* line, const Values&... values) {
    QString text = QString::fromUtf8(line);
    ((text = text.arg(values)), ...);
    return text.split(u' ', Qt::SkipEmptyParts);
}

template <typename... Values> CliRun Cli(const char* line, const Values&... values) {
    return RunCli(Words(line, values...));
}

QString CliAddress(int host) {
    return testsupport::NumberedLoopbackAddress(testsupport::LoopbackSubnet::Cli, host);
}

// A simulator that is away for only 20 ms on a restart.
std::unique_ptr<sim::CEncoderSimulator> StartedSimulator(const QString& address) {
    auto simulator =
        std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address, 20));
    EXPECT_TRUE(testsupport::Started(*simulator));
    return simulator;
}

using Simulators = std::vector<std::unique_ptr<sim::CEncoderSimulator>>;

Simulators StartAt(LoopbackSubnet subnet, const std::vector<int>& hosts) {
    Simulators simulators;
    for (const int host : hosts)
        simulators.push_back(StartedSimulator(testsupport::NumberedLoopbackAddress(subnet, host)));
    return simulators;
}

} // namespace

TEST(CliProgramTest, HelpOfTheProgramAndEverySubcommandAndVersionPrintWithoutADisplay) {
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QLatin1String(name));
    const auto help = RunCli({QStringLiteral("--help")}, headless);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("3  the value read back differs"));
    for (const char* name :
         {"info", "watch", "set-ip", "set-protocol", "set-mode", "upgrade", "scan", "batch"}) {
        EXPECT_TRUE(help.out.contains(QByteArray("  ") + name + "  ")) << name;
        const auto own = RunCli({QLatin1String(name), QStringLiteral("--help")}, headless);
        EXPECT_EQ(own.exitCode, 0) << name;
        EXPECT_TRUE(own.out.startsWith("Usage: rivivozuzuvod-cli " + QByteArray(name) + ' '));
    }
    EXPECT_EQ(RunCli({QStringLiteral("--version")}, headless).out, "rivivozuzuvod-cli 1.0.0-1\n");
}

TEST(CliProgramTest, ProgramDoesNotLoadTheWidgetLibrary) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    EXPECT_TRUE(libraries.contains("libQt6Network")) << "ldd lists the libraries it loads";
    EXPECT_FALSE(libraries.contains("libQt6Gui")) << libraries.toStdString();
}

// Refused with exit code 2 before anything is sent (nothing at 127.0.111.250: a try ends with 1).
TEST(CliProgramTest, UsageErrorsAreRefusedWithExitCode2) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "No subcommand given."},
        {"flash 127.0.111.250", "Unknown subcommand 'flash'."},
        {"info", "'info' takes ADDRESS."},
        {"info 127.0.1", "'127.0.1' is not an IPv4 address"},
        {"info 127.0.111.250 --fast", "Unknown option 'fast'."},
        {"info 127.0.111.250 --format xml", "Bad value for --format: 'xml'"},
        {"set-protocol 127.0.111.250 profinet", "'profinet' is not a protocol"},
        {"set-mode 127.0.111.250 dm8", "'dm8' is not a resolver mode"},
        {"watch 127.0.111.250 --interval 0", "Bad value for --interval: '0'."},
        {"scan 127.0.0.0/8", "'127.0.0.0/8' is not an address range"},
        {"batch /nonexistent/plan.csv", "Cannot read the plan '/nonexistent/plan.csv'."},
    };
    for (const auto& [arguments, message] : cases) {
        const auto run = Cli(arguments);
        EXPECT_EQ(run.exitCode, 2) << arguments;
        EXPECT_TRUE(run.err.contains(message)) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
    }
}

TEST(CliDeviceTest, InfoShowsTheReadOutAndWatchAPositionALine) {
    const QString address = CliAddress(1);
    auto sim = StartedSimulator(address);
    sim->PinPosition(true);
    sim->SetPosition(-1234);
    const CliRun text = Cli("info %1", address);
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    // Values start in one column, past the longest label.
    EXPECT_TRUE(text.out.startsWith("Address:                         127.0.111.1\n"));
    EXPECT_EQ(text.out.simplified().toStdString(),
              "Address: 127.0.111.1 Status record: "
              "71024207430300000000000000000000000000000000fffffb2e000000000000 "
              "MAC address: 00:1A:2B:3C:4D:5E IP address: 127.0.111.1 Subnet mask: 255.0.0.0 "
              "Gateway: 127.0.0.1 Protocol: Ethernet/IP Resolver mode: DM7 Hardware revision: 2 "
              "Boot revision: B.7 Exec revision: C.3 Input assembly instance: 101 "
              "Input size (16-bit): 4 Output assembly instance: 100 Output size (16-bit): 2 "
              "Configuration assembly instance: 1 Configuration size (8-bit): 0 "
              "Modbus position address: 40001 Modbus heartbeat counter: 40002 "
              "Resolver position: -1234");
    // Every instance, size and register address is a number in JSON.
    const QJsonObject device = Cli("info %1 --format json", address).Json()[u"device"].toObject();
    QStringList numbers;
    for (const char* key : {"input_instance", "input_size", "output_instance", "output_size",
                            "config_instance", "config_size", "modbus_position_address",
                            "modbus_heartbeat_address", "hardware_revision", "position"})
        numbers << QString::number(device[QLatin1String(key)].toInteger(-7));
    EXPECT_EQ(numbers.join(u' '), QStringLiteral("101 4 100 2 1 0 40001 40002 2 -1234"));
    const CliRun watch = Cli("watch %1 --count 2 --interval 100", address);
    const QRegularExpression lines(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\dT[\\d:.]{12}(Z|[+-]\\d\\d:\\d\\d)  -1234\n){2}$"));
    EXPECT_TRUE(lines.match(QString::fromUtf8(watch.out)).hasMatch()) << watch.out.toStdString();
}

// One JSON event per poll; a failed poll is told, the next one tries again; the run ends with 1.
TEST(CliDeviceTest, WatchGoesOnAfterAFailedPoll) {
    const QString address = CliAddress(2);
    auto sim = StartedSimulator(address);
    sim->SetPosition(500); // moves +1 per status request
    QProcess watch;
    watch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                Words("watch %1 --count 3 --interval 500 --format json", address));
    // The read-out's status request has been answered; the first poll gets the error.
    ASSERT_TRUE(testsupport::WaitFor([&] { return sim->RequestCount(MSG_GET_STATUS_ID) >= 1; }));
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::DeviceError(6, /*persistent=*/false));
    ASSERT_TRUE(watch.waitForFinished(30000));
    EXPECT_EQ(watch.exitCode(), 1);
    const CliRun run{1, watch.readAllStandardOutput(), watch.readAllStandardError()};
    const QList<QJsonObject> events = run.JsonLines();
    ASSERT_EQ(events.size(), 3);
    EXPECT_EQ(events[1][u"event"].toString(), QStringLiteral("error"));
    EXPECT_TRUE(QDateTime::fromString(events[2][u"time"].toString(), Qt::ISODateWithMs).isValid());
    EXPECT_EQ(events[0][u"position"].toInt(), 500);
    EXPECT_EQ(events[2][u"position"].toInt(), 501); // the failed poll moved nothing
    EXPECT_TRUE(run.err.startsWith((address + u':').toUtf8()));

    // A reader that goes away ends an endless watch (exit 0) and any other command with 141 (the
    // slow read-out lets the reader close first); a write that fails otherwise is an error.
    sim->SetFault(MSG_GET_MAC_ID, sim::Fault::SlowReply(300));
    for (const auto& [line, told] :
         {std::pair{R"("$1" watch %1 --interval 20 | head -n 2 >/dev/null; echo ${PIPESTATUS[0]})",
                    "0\n"},
          {R"("$1" info %1 | (exec 0<&-; sleep 1); echo ${PIPESTATUS[0]})", "141\n"},
          {R"("$1" info %1 >/dev/full; echo $?)",
           "cannot write to standard output: No space left on device\n1\n"}}) {
        const QByteArray shellLine = QString::fromLatin1(line).arg(address).toUtf8();
        const CliRun shell = RunShell(shellLine.constData(), {});
        EXPECT_EQ((shell.err + shell.out).toStdString(), told) << line;
    }
}

// Set, restart, reconnect, read back: the device really changed and the output says so.
TEST(CliDeviceTest, DeviceTakesTheSettingAndTheOutputShowsItReadBack) {
    // host, arguments, what is read back, restarts (none for a value the device holds)
    const std::tuple<int, const char*, const char*, int> cases[] = {
        {3, "set-protocol %1 modbus-tcp", " Protocol: Modbus TCP/IP ", 1},
        {6, "--format json set-mode %1 no-dm7", R"("resolver_mode":"no-dm7")", 1}, // option first
        {7, "set-ip %1 127.0.111.27", " IP address: 127.0.111.27 ", 1},
        {8, "set-ip %1 127.0.111.28 --gateway 127.0.111.254 --format json",
         R"("gateway":"127.0.111.254")", 1},
        {11, "set-protocol %1 ethernet-ip",
         "Changed: no (the device already holds this value) Status record:", 0},
        {12, "set-protocol %1 ethernet-ip --format json", R"({"changed":false,"command")", 0},
        {13, "set-mode %1 no-dm7", "Changed: yes Status record:", 1},
    };
    for (const auto& [host, arguments, readBack, restarts] : cases) {
        auto sim = StartedSimulator(CliAddress(host));
        const CliRun run = Cli(arguments, CliAddress(host));
        EXPECT_EQ(run.exitCode, 0) << arguments << run.err.toStdString();
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        EXPECT_EQ(sim->RestartCount(), restarts) << arguments;
        EXPECT_EQ(sim->SetPayloads().size(), static_cast<std::size_t>(restarts)) << arguments;
        EXPECT_TRUE(run.out.simplified().contains(readBack)) << run.out.toStdString();
    }
}

// JSON, then on a terminal (script(1)) with the progress bar; each upgrade raises the exec
// revision.
TEST(CliDeviceTest, UpgradeSendsTheImageAndReportsTheNewExecRevision) {
    const QString address = CliAddress(9);
    auto sim = StartedSimulator(address);
    const testsupport::FirmwareFolder files(20000);
    ASSERT_TRUE(files.written);
    const CliRun json = Cli("upgrade %1 %2 --format json", address, files.good);
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_TRUE(json.err.isEmpty()) << "no progress bar when stderr is not a terminal";
    const QList<QJsonObject> events = json.JsonLines();
    int lastPercent = -1;
    QStringList phases;
    for (const QJsonObject& event : events) {
        if (event[u"event"].toString() == QLatin1String("phase"))
            phases << event[u"phase"].toString();
        if (event[u"event"].toString() == QLatin1String("progress")) {
            EXPECT_GT(event[u"percent"].toInt(), lastPercent);
            lastPercent = event[u"percent"].toInt();
        }
    }
    EXPECT_EQ(lastPercent, 100);
    EXPECT_EQ(phases.join(u' '), QStringLiteral("boot transfer exec reconnect"));
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
    EXPECT_TRUE(screen.contains("/s  0:00 left")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("\rerasing  0:00\x1b[K")) << screen.toStdString();
    EXPECT_TRUE(screen.contains("Exec revision: C.5")) << screen.toStdString();
}

// A signal in each phase of an upgrade and of a batch: the exchange under way ends, nothing
// new starts, the report (the final JSON document, "interrupted": true) comes, exit 130.
TEST(CliDeviceTest, SignalStopsNewWorkAndTheReportSaysWhatWasDone) {
    const testsupport::FirmwareFolder files(4600); // 20 blocks
    ASSERT_TRUE(files.written);
    struct SignalCase {
        int host;
        const char* line;
        BYTE signalAfter; // the request whose arrival lets the signal go
        int signal;
        const char* document; // the final document without its "device"
        int blocks;           // blocks the device received (1: some, not all)
        int execs;
    };
    const SignalCase cases[] = {
        {14, "upgrade %1 %2 --format json", MSG_EXECUTE_BOOT, SIGINT,
         R"({"changed":true,"command":"upgrade","error":{"code":"interrupted","device":)"
         R"("127.0.111.14","message":"Upgrade interrupted: the device is left in boot mode )"
         R"((run upgrade again).","messages":["Upgrade interrupted: the device is left in boot )"
         R"(mode (run upgrade again)."]},"interrupted":true,"ok":false})",
         0, 0},
        {15, "upgrade %1 %2 --format json", MSG_FIRMWARE_BLOCK, SIGTERM, "", 1, 0},
        {16, "upgrade %1 %2 --format json", MSG_EXECUTE_EXEC, SIGINT,
         R"({"changed":true,"command":"upgrade","interrupted":true,"ok":true})", 20, 1},
    };
    for (const auto& [host, line, signalAfter, signal, document, blocks, execs] : cases) {
        const auto sim = StartedSimulator(CliAddress(host));
        // Only the phase the signal lands in takes its time.
        sim->SetBootDelayMs(signalAfter == MSG_EXECUTE_BOOT ? 300 : 0);
        sim->SetBlockTimeMs(signalAfter == MSG_FIRMWARE_BLOCK ? 100 : 0);
        sim->SetExecDelayMs(signalAfter == MSG_EXECUTE_EXEC ? 300 : 0);
        QProcess cli;
        cli.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                  Words(line, CliAddress(host), files.good));
        ASSERT_TRUE(testsupport::WaitFor([&] { return sim->RequestCount(signalAfter) >= 1; }));
        ::kill(static_cast<pid_t>(cli.processId()), signal);
        const CliRun run = Finish(cli, QLatin1String(line));
        EXPECT_EQ(run.exitCode, 130) << line << run.err.toStdString();
        QJsonObject final = run.Json();
        final.remove(QStringLiteral("device"));
        if (*document) {
            EXPECT_EQ(QJsonDocument(final).toJson(QJsonDocument::Compact).toStdString(), document);
        }
        EXPECT_TRUE(final[u"interrupted"].toBool()) << host;
        const int sent = sim->RequestCount(MSG_FIRMWARE_BLOCK);
        EXPECT_TRUE(blocks == 1 ? sent >= 1 && sent < 20 : sent == blocks) << host << ' ' << sent;
        EXPECT_EQ(sim->RequestCount(MSG_EXECUTE_EXEC), execs) << host;
    }

    // A batch one device at a time: the first is stopped in its transfer, the others are never
    // connected to; the table says so.
    const Simulators devices = StartAt(LoopbackSubnet::Cli, {46, 47});
    devices[0]->SetBlockTimeMs(100);
    const QString plan = files.dir.filePath(QStringLiteral("plan.csv"));
    ASSERT_TRUE(testsupport::WriteFile(
        plan, "127.0.111.46,,,,delvor,,fw.s19\n127.0.111.47,,,,delvor\n127.0.111.48\n"));
    QProcess batch;
    batch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), Words("batch %1 --jobs 1", plan));
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return devices[0]->RequestCount(MSG_FIRMWARE_BLOCK) >= 2; }));
    ::kill(static_cast<pid_t>(batch.processId()), SIGINT);
    const CliRun run = Finish(batch, plan);
    EXPECT_EQ(run.exitCode, 130);
    EXPECT_EQ(run.out.toStdString(),
              "Address       Result       Steps  Not done           IP address    Error\n"
              "127.0.111.46  interrupted  -      firmware protocol  127.0.111.46  interrupted\n"
              "127.0.111.47  not-started  -      protocol           127.0.111.47  interrupted\n"
              "127.0.111.48  not-started  -      -                  127.0.111.48  interrupted\n");
    EXPECT_EQ(devices[1]->ConnectionCount(), 0);

    // watch ends normally; a second signal ends a run at once.
    QProcess watch;
    watch.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM), Words("watch %1", CliAddress(47)));
    ASSERT_TRUE(watch.waitForReadyRead(10000));
    ::kill(static_cast<pid_t>(watch.processId()), SIGINT);
    EXPECT_EQ(Finish(watch, QStringLiteral("watch")).exitCode, 0);
    devices[1]->SetBootDelayMs(60000);
    QProcess twice;
    twice.start(QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM),
                Words("upgrade %1 %2", CliAddress(47), files.good));
    ASSERT_TRUE(
        testsupport::WaitFor([&] { return devices[1]->RequestCount(MSG_EXECUTE_BOOT) >= 1; }));
    ::kill(static_cast<pid_t>(twice.processId()), SIGINT);
    ::kill(static_cast<pid_t>(twice.processId()), SIGTERM); // pending alongside, never merged
    ASSERT_TRUE(twice.waitForFinished(5000));
    EXPECT_EQ(twice.exitStatus(), QProcess::CrashExit);
}

// --timeout and --retries (reads after a link fault only), --verbose, --log, --quiet, help.
TEST(CliDeviceTest, OptionsOfEverySubcommand) {
    const QString address = CliAddress(17);
    auto sim = StartedSimulator(address);
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NoReply(/*persistent=*/false));
    EXPECT_EQ(Cli("info %1 --timeout 200", address).exitCode, 1);
    sim->SetFault(MSG_GET_STATUS_ID, sim::Fault::NoReply(/*persistent=*/false));
    EXPECT_EQ(Cli("info %1 --timeout 200 --retries 1", address).exitCode, 0);
    sim->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6, /*persistent=*/false));
    const int asked = sim->RequestCount(MSG_GET_PARAMS);
    EXPECT_EQ(Cli("info %1 --retries 3", address).exitCode, 1);
    EXPECT_EQ(sim->RequestCount(MSG_GET_PARAMS), asked + 1) << "a refusal is never tried again";

    const testsupport::FirmwareFolder files(100);
    const QString log = files.dir.filePath(QStringLiteral("run.log"));
    const CliRun verbose = Cli("set-protocol %1 delvor --verbose --log %2", address, log);
    EXPECT_EQ(verbose.exitCode, 0) << verbose.err.toStdString();
    // Each request of a settings change in the order it goes, with its time stamp and time.
    QString trace = QString::fromUtf8(verbose.err);
    trace.replace(
        QRegularExpression(QStringLiteral(
            "127\\.0\\.111\\.17: \\d{4}-\\d\\d-\\d\\dT[\\d:.]{12}(Z|[+-]\\d\\d:\\d\\d) ")),
        QString());
    trace.replace(QRegularExpression(QStringLiteral(" in \\d+ ms\n")), QStringLiteral("|"));
    const char* readOut =
        "Getting Status ID: ok|Getting MAC ID: ok|Getting Ethernet Parameters: ok|"
        "Getting Ethernet eadk Parameters: ok|";
    EXPECT_EQ(trace.toStdString(), std::string(readOut) +
                                       "Setting New IP Address: ok|Restarting Device..: ok|" +
                                       readOut);
    Cli("info %1 --log %2 --quiet", address, log);
    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QList<QByteArray> records = logFile.readAll().trimmed().split('\n');
    ASSERT_EQ(records.size(), 2);
    const QJsonObject set = QJsonDocument::fromJson(records[0]).object();
    EXPECT_EQ(set[u"command"].toString() + u' ' + set[u"device"].toString() + u' ' +
                  set[u"asked"][u"protocol"].toString() + u' ' +
                  set[u"read"][u"protocol"].toString() + u' ' + set[u"ok"].toVariant().toString(),
              QStringLiteral("set-protocol 127.0.111.17 delvor delvor true"));
    EXPECT_TRUE(QDateTime::fromString(set[u"time"].toString(), Qt::ISODateWithMs).isValid());

    const CliRun help = Cli("help scan");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out, Cli("scan --help").out);
    for (const char* option : {"--timeout <MS>", "--retries <N>", "-q, --quiet", "--verbose",
                               "--log <FILE>", "--jobs <N>", "130  interrupted"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    EXPECT_EQ(Cli("help flash").exitCode, 2);
    EXPECT_EQ(Cli("scan 127.0.110.100/30 --quiet").err.toStdString(), "");
}

struct CauseCase {
    int host; // 20: nothing listens
    std::function<void(sim::CEncoderSimulator&)> arrange;
    const char* line; // %2: the firmware folder
    int exitCode;
    const char* code;        // in the JSON error
    const char* message;     // the window's words, also on stderr
    const char* detail = ""; // a further line on stderr
};

TEST(CliDeviceTest, RealCauseGivesItsExitCodeErrorCodeAndMessage) {
    const testsupport::FirmwareFolder files(1000);
    ASSERT_TRUE(files.written);
    // A header and an end record only; the good file without its end record.
    QByteArray cut = testsupport::SRecordText(testsupport::TestImage(1000));
    cut.chop(QByteArrayLiteral("S804000000FB\n").size());
    ASSERT_TRUE(testsupport::WriteFile(files.dir.filePath(QStringLiteral("empty.s19")),
                                       "S00600004844521B\nS9030000FC\n"));
    ASSERT_TRUE(testsupport::WriteFile(files.dir.filePath(QStringLiteral("cut.s19")), cut));
    const auto fault = [](BYTE code, sim::Fault fault) {
        return [code, fault](sim::CEncoderSimulator& s) { s.SetFault(code, fault); };
    };
    const CauseCase cases[] = {
        {20, {}, "info %1", 1, "link-failure", ""},
        {19, fault(MSG_GET_STATUS_ID, sim::Fault::NoReply()), "info %1", 1, "link-failure",
         "Incorrect Communication Packet  (Time Out Error).",
         "Check cable and communication port."},
        {21, fault(MSG_GET_PARAMS, sim::Fault::DeviceError(6)), "info %1", 1, "link-failure", ""},
        {22, fault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice()), "info %1", 1,
         "not-valid-device", "Not a valid Device."},
        {23, [](auto& s) { s.SetKeepOldProtocol(true); }, "set-protocol %1 modbus-tcp", 3,
         "readback-mismatch", "Change Protocol failed.", "expected: Modbus TCP/IP"},
        {24, fault(MSG_SET_ETHERNET_PARAMS, sim::Fault::DeviceError(11)), "set-mode %1 no-dm7", 1,
         "set-failed", "Unable to Set Resolver Mode"},
        {25, [](auto& s) { s.RejectBlock(1); }, "upgrade %1 %2/fw.s19", 1, "transfer-failed",
         "Upgrade Firmware - Failed."},
        {26, [](auto&) {}, "upgrade %1 %2/broken.s19", 4, "file-refused",
         "Unable to read firmware file",
         "%2/broken.s19 line 1: a character that is not a hexadecimal digit"},
        {31, [](auto&) {}, "upgrade %1 %2/empty.s19", 4, "file-refused",
         "Unable to read firmware file", "%2/empty.s19: no data records"},
        {32, [](auto&) {}, "upgrade %1 %2/cut.s19", 4, "file-refused",
         "Unable to read firmware file",
         "%2/cut.s19 line 33: no end record (S7, S8, S9) and no count record (S5, S6) after the "
         "last data record"},
        {33, [](auto&) {}, "upgrade %1 %2/none.s19", 4, "file-refused", "Unable to open file",
         "%2/none.s19"},
        {27, [](auto&) {}, "set-ip %1 127.0.111.29", 1, "address-in-use",
         "Another device answers at 127.0.111.29. Choose an address that no device uses.",
         "address: 127.0.111.29"},
        {34, [](auto&) {}, "set-ip %1 127.0.111.35 --mask 255.0.255.0", 2, "invalid-address",
         "Invalid Subnet Mask Address", "field: mask"},
        {37, fault(MSG_RESTART_DEVICE, sim::Fault::DeviceError(10)), "set-protocol %1 delvor", 1,
         "settings-not-applied",
         "The device holds the new settings but did not restart; it applies them at its next "
         "restart."},
    };
    const auto other = StartedSimulator(CliAddress(29)); // the address 27 asks for
    for (const auto& [host, arrange, line, exitCode, code, message, detail] : cases) {
        const QString address = CliAddress(host);
        const auto sim = arrange ? StartedSimulator(address) : nullptr;
        if (sim)
            arrange(*sim);
        QStringList arguments = Words(line, address) + Words("--format json");
        const CliRun run =
            RunCli(arguments.replaceInStrings(QStringLiteral("%2"), files.dir.path()));
        EXPECT_EQ(run.exitCode, exitCode) << line << run.err.toStdString();
        const QJsonObject error = run.Json()[u"error"].toObject();
        EXPECT_EQ(error[u"code"].toString(), QLatin1String(code)) << line;
        EXPECT_EQ(error[u"device"].toString(), address);
        EXPECT_TRUE(error[u"message"].toString().contains(QLatin1String(message)))
            << error[u"message"].toString().toStdString();
        QString told = address + QStringLiteral(": ") + QLatin1String(message);
        if (*detail)
            told += u'\n' + address + QStringLiteral(": ") +
                    QString::fromUtf8(detail).replace(QStringLiteral("%2"), files.dir.path()) +
                    u'\n';
        EXPECT_TRUE(run.err.contains(told.toUtf8())) << run.err.toStdString();
        if (exitCode == 4) {
            const QJsonObject details = error[u"details"].toObject();
            EXPECT_EQ(details[u"file"].toString(), arguments[2]);
            const QString reason = details[u"reason"].toString(); // none for a file not opened
            EXPECT_EQ(reason.isEmpty(), std::string_view(message) == "Unable to open file");
            EXPECT_TRUE(told.trimmed().endsWith(reason));
            EXPECT_EQ(sim->ConnectionCount(), 0) << "a refused file never reaches the device";
            EXPECT_EQ(sim->RequestCount(MSG_EXECUTE_BOOT), 0);
        }
        if (host == 27 || exitCode == 2) {
            EXPECT_EQ(sim->RequestCount(MSG_SET_ETHERNET_PARAMS), 0) << "an address refused";
        }
    }
}

// Nothing else listens in 127.0.110.x; host 64 lies outside the /26, host 30 answers as no
// encoder, host 5 (outside the text scan's range) accepts and never answers.
TEST(CliScanTest, ListsEveryAddressThatAcceptsSortedByAddressWithItsState) {
    const Simulators simulators = StartAt(LoopbackSubnet::CliScan, {40, 3, 63, 17, 64, 30, 5});
    simulators[5]->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    simulators[6]->SetFault(MSG_GET_STATUS_ID, sim::Fault::NoReply());
    const CliRun json = Cli("scan 127.0.110.0/26 --format json");
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    // Encoders carry their read-out, the others their address and state only.
    QStringList found;
    for (const auto& device : json.Json()[u"devices"].toArray())
        found << device[u"address"].toString() + u' ' + device[u"state"].toString() + u' ' +
                     QString::number(device.toObject().size());
    EXPECT_EQ(found.join(u','), QStringLiteral("127.0.110.3 encoder 7,127.0.110.5 no-reply 2,"
                                               "127.0.110.17 encoder 7,127.0.110.30 "
                                               "not-valid-device 2,127.0.110.40 encoder 7,"
                                               "127.0.110.63 encoder 7"));
    EXPECT_EQ(json.Json()[u"devices"][0][u"mac"].toString(), QStringLiteral("00:1A:2B:3C:4D:5E"));
    EXPECT_EQ(json.Json()[u"scanned"].toInt(), 64);
    EXPECT_EQ(json.err.toStdString(), "");
    const CliRun text = Cli("scan 127.0.110.10-127.0.110.50 --jobs 8");
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(text.out.toStdString(),
              "Address       State             MAC address        Protocol     Hardware revision  "
              "Boot revision  Exec revision\n"
              "127.0.110.17  encoder           00:1A:2B:3C:4D:5E  Ethernet/IP  2                  "
              "B.7            C.3\n"
              "127.0.110.30  not-valid-device  -                  -            -                  "
              "-              -\n"
              "127.0.110.40  encoder           00:1A:2B:3C:4D:5E  Ethernet/IP  2                  "
              "B.7            C.3\n");
    EXPECT_EQ(text.err.toStdString(),
              "2 of 41 addresses answered as encoders; 1 more accepted a connection.\n");
}

// Four devices at 127.0.111.40-43; the last cannot be read: the plan runs on the others.
TEST(CliBatchTest, ThreeDevicesSucceedAndTheFaultyOneFailsAlone) {
    const testsupport::FirmwareFolder files(3000);
    ASSERT_TRUE(files.written);
    const Simulators devices = StartAt(LoopbackSubnet::Cli, {40, 41, 42, 43});
    devices[3]->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
    // The plan moves device 41 to 45.
    const auto plan = [&files](const char* firmware) {
        const QString path = files.dir.filePath(QStringLiteral("plan.csv"));
        EXPECT_TRUE(testsupport::WriteFile(
            path, QStringLiteral("Address,New IP,Mask,Gateway,Protocol,Mode,Firmware\n"
                                 "# comments, blank lines and empty rows are skipped\n\n,,,\n"
                                 "127.0.111.40,,,,modbus-tcp,no-dm7,%1\n"
                                 R"("127.0.111.41","127.0.111.45","255.0.0.0","","delvor")"
                                 "\r\n"
                                 "127.0.111.42,,,,,dm7,%1\n127.0.111.43,,,,modbus-tcp,,\n")
                      .arg(QLatin1String(firmware))
                      .toUtf8()));
        return path;
    };
    // A dry run checks the plan and sends nothing; a refused file stops the plan on every device.
    const CliRun dry = Cli("batch %1 --dry-run", plan(""));
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.out.toStdString(), "Address       Result   Steps\n"
                                     "127.0.111.40  checked  protocol mode\n"
                                     "127.0.111.41  checked  protocol address\n"
                                     "127.0.111.42  checked  mode\n"
                                     "127.0.111.43  checked  protocol\n");
    EXPECT_EQ(Cli("batch %1 --dry-run --format json", plan("")).Json()[u"ok"], QJsonValue(true));
    const CliRun refused = Cli("batch %1 --format json", plan("broken.s19"));
    EXPECT_EQ(refused.exitCode, 4) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("Unable to read firmware file")) << refused.err.toStdString();
    EXPECT_EQ(refused.Json()[u"error"][u"code"].toString().toStdString(), "file-refused");
    EXPECT_EQ(refused.Json()[u"ok"], QJsonValue(false));
    for (const auto& simulator : devices)
        EXPECT_EQ(simulator->ConnectionCount(), 0) << simulator->Address().toStdString();

    const QString log = files.dir.filePath(QStringLiteral("batch.log"));
    const CliRun run = Cli("batch %1 --jobs 4 --format json --log %2", plan("fw.s19"), log);
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    // Already DM7: no mode step for device 2.
    EXPECT_EQ(
        run.out.trimmed().split('\n').last().toStdString(),
        R"({"command":"batch","devices":[{"address":"127.0.111.40","device":"127.0.111.40",)"
        R"("not_done":[],"ok":true,"started":true,"steps":["firmware","protocol","mode"]},)"
        R"({"address":"127.0.111.45","device":"127.0.111.41","not_done":[],"ok":true,)"
        R"("started":true,"steps":["protocol","address"]},{"address":"127.0.111.42",)"
        R"("device":"127.0.111.42","not_done":[],"ok":true,"started":true,"steps":["firmware"]},)"
        R"({"address":"127.0.111.43","device":"127.0.111.43","error":{"code":"link-failure",)"
        R"("details":{"device_status":6},)"
        R"("device":"127.0.111.43","message":"Device is out of memory.","messages":)"
        R"(["Device is out of memory."]},"not_done":["protocol"],"ok":false,"started":true,)"
        R"("steps":[]}],"ok":false})");
    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    QStringList asked; // one line per device, in the order they ended
    for (const QByteArray& line : logFile.readAll().trimmed().split('\n'))
        asked << QString::fromUtf8(QJsonDocument(QJsonDocument::fromJson(line)[u"asked"].toObject())
                                       .toJson(QJsonDocument::Compact));
    asked.sort();
    EXPECT_EQ(
        asked.join(u'\n').toStdString(),
        QStringLiteral(R"({"firmware":"%1","protocol":"modbus-tcp","resolver_mode":"no-dm7",)"
                       R"("steps":["firmware","protocol","mode"]})"
                       "\n"
                       R"({"firmware":"%1","resolver_mode":"dm7","steps":["firmware","mode"]})"
                       "\n"
                       R"({"ip":"127.0.111.45","protocol":"delvor","steps":["protocol","address"],)"
                       R"("subnet_mask":"255.0.0.0"})"
                       "\n"
                       R"({"protocol":"modbus-tcp","steps":["protocol"]})")
            .arg(files.good)
            .toStdString());
    int stepEvents = 0;
    for (const QJsonObject& event : run.JsonLines())
        stepEvents += event[u"event"].toString() == QLatin1String("step") && event[u"ok"].toBool();
    EXPECT_EQ(stepEvents, 6) << "one event per step done";
    EXPECT_TRUE(run.err.contains((CliAddress(43) + QStringLiteral(": ")).toUtf8()));
    // What the devices hold now.
    EXPECT_EQ(devices[0]->Settings().options[3], 0x02) << "Modbus TCP/IP, NO DM7";
    EXPECT_EQ(devices[0]->Identity().execNumber, 4);
    EXPECT_EQ(devices[1]->Settings().options[3], 0x23) << "DELVOR, DM7";
    EXPECT_EQ(devices[2]->Identity().execNumber, 4);
    EXPECT_TRUE(devices[3]->SetPayloads().empty());
    EXPECT_EQ(devices[3]->RequestCount(MSG_FIRMWARE_BLOCK), 0);
}

TEST(AddressRangeTest, ParsesCidrBlocksAndFirstLastRangesAndPlainAddresses) {
    const std::tuple<const char*, std::size_t, const char*, const char*> ranges[] = {
        {"127.0.0.0/24", 256, "127.0.0.0", "127.0.0.255"},
        {"127.0.5.77/30", 4, "127.0.5.76", "127.0.5.79"},
        {"127.0.0.9/32", 1, "127.0.0.9", "127.0.0.9"},
        {"127.1.0.0/16", 65536, "127.1.0.0", "127.1.255.255"},
        {"127.0.0.255-127.0.1.1", 3, "127.0.0.255", "127.0.1.1"},
    };
    for (const auto& [text, count, first, last] : ranges) {
        const auto range = CAddressRange::Parse(QLatin1String(text));
        ASSERT_TRUE(range.has_value()) << text;
        ASSERT_EQ(range->size(), count) << text;
        EXPECT_EQ(range->front(), CAddressRange::ParseAddress(QLatin1String(first))) << text;
        EXPECT_EQ(range->back(), CAddressRange::ParseAddress(QLatin1String(last))) << text;
    }
    for (const char* text :
         {"127.0.0.0/15", "127.0.0.0/33", "127.0.0.0/", "127.0.0/24", "127.0.0.5-127.0.0.4",
          "127.0.0.0-127.1.0.0", "127.0.0.1-", "1.2.3.256/32"})
        EXPECT_FALSE(CAddressRange::Parse(QLatin1String(text)).has_value()) << text;
    // Only four decimal parts, never the zero address.
    for (const char* text : {"127.0.0.1", "255.255.255.255"})
        EXPECT_TRUE(CAddressRange::ParseAddress(QLatin1String(text)).has_value()) << text;
    for (const char* text :
         {"0.0.0.0", "1.2.3", "1.2.3.4.5", "1.2.3.+4", "1.2.3.1000", " 1.2.3.4", "1..3.4", ""})
        EXPECT_FALSE(CAddressRange::ParseAddress(QLatin1String(text)).has_value()) << text;
}

// A plan on standard input or from a pipe is read like a file (lines may end in CR alone),
// with relative firmware paths from the current folder; a FIFO named as the plan is refused
// at once, unopened.
TEST(BatchPlanTest, ReadsStandardInputAndPipesButNoFifoByName) {
    const testsupport::FirmwareFolder files(100);
    ASSERT_TRUE(files.written);
    ASSERT_EQ(::mkfifo(QFile::encodeName(files.dir.filePath(QStringLiteral("fifo.csv"))), 0600), 0);
    const std::tuple<const char*, int, const char*> cases[] = {
        {R"(printf '127.0.0.1,,,,,,fw.s19\r127.0.0.2,,,,delvor\r' | "$1" batch - --dry-run)", 0,
         "127.0.0.1  checked  firmware\n127.0.0.2  checked  protocol\n"},
        {R"(exec "$1" batch <(printf '127.0.0.3,,,,,,fw.s19\n') --dry-run)", 0,
         "127.0.0.3  checked  firmware\n"},
        {R"(exec "$1" batch - </dev/null)", 2, "standard input line 0: the plan lists no device"},
        {R"(exec "$1" batch fifo.csv)", 2, "The plan 'fifo.csv' is not a regular file"},
    };
    for (const auto& [line, exit, expected] : cases) {
        const CliRun run = RunShell(line, files.dir.path());
        EXPECT_EQ(run.exitCode, exit) << line << '\n' << run.err.toStdString();
        EXPECT_TRUE((run.out + run.err).contains(expected)) << (run.out + run.err).toStdString();
    }
}

TEST(ProgressBarTest, LineShowsPercentBytesSpeedAndTimeLeft) {
    EXPECT_EQ(CProgressBar::Render(51200, 102400, 1000).toStdString(),
              "[############------------]  50%  50.0 KiB / 100.0 KiB  50.0 KiB/s  0:01 left");
    EXPECT_EQ(CProgressBar::Render(0, 3 * 1024 * 1024, 0).toStdString(),
              "[------------------------]   0%  0.0 KiB / 3.0 MiB  0.0 KiB/s  -:-- left");
    EXPECT_TRUE(CProgressBar::Render(500, 100, 2000) // more than the total: a full bar
                    .startsWith(QLatin1String("[########################] 100%")));
    // Phases without bytes: their word and the time they have taken.
    QStringList phases;
    for (const auto& [phase, ms] : {std::pair{UpgradePhase::Boot, 7999},
                                    {UpgradePhase::Exec, 61000},
                                    {UpgradePhase::Reconnect, 0}})
        phases << CProgressBar::RenderPhase(phase, ms);
    EXPECT_EQ(phases.join(u'|').toStdString(), "erasing  0:07|starting  1:01|reconnecting  0:00");
}

// The whole plan is checked before any device (the batch test runs a good one); FW stands for
// a good firmware file, BAD for a refused one, BIG for 1 MiB, ROWS for 4096 line ends.
TEST(BatchPlanTest, ChecksTheWholePlanBeforeAnyDevice) {
    const testsupport::FirmwareFolder files(100);
    ASSERT_TRUE(files.written);
    const std::tuple<const char*, ExitCode, const char*> cases[] = {
        {"127.0.0.1,,,,,,,x\n", ExitCode::Usage, "line 1: a row has 1 to 7 columns"},
        {"127.0.0.1\n127.0.0\n", ExitCode::Usage, "line 2: '127.0.0' is not an IPv4 address"},
        {"127.0.0.1,1.2.3.999\n", ExitCode::Usage, "'1.2.3.999'"},
        {"127.0.0.1,,,,profibus\n", ExitCode::Usage, "'profibus'"},
        {"# a, b\n127.0.0.1;;;;profibus\n", ExitCode::Usage, "line 2: 'profibus'"},
        {"127.0.0.1,,,,,DM7\n", ExitCode::Usage, "'DM7'"},
        {"127.0.0.1\n127.0.0.1,,,,delvor\n", ExitCode::Usage,
         "line 2: the device 127.0.0.1 is listed twice"},
        {"address\n# nothing\n", ExitCode::Usage, "lists no device"},
        // Every problem is told at once; a malformed row outweighs a refused file.
        {"127.0.0\n127.0.0.2,,,,,,BAD\n127.0.0.3,,,,,dm8\n", ExitCode::Usage,
         "(a.b.c.d).\n" /* line 1, then line 2's file */},
        {"127.0.0\n127.0.0.2,,,,,,BAD\n127.0.0.3,,,,,dm8\n", ExitCode::Usage,
         "(a.b.c.d).\n" /* line 1, 2 and 3, in line order */},
        {"127.0.0\n127.0.0.2,,,,,,BAD\n127.0.0.3,,,,,dm8\n", ExitCode::Usage,
         "broken.s19 line 1: a character that is not a hexadecimal digit\n"},
        {"127.0.0\n127.0.0.2,,,,,,BAD\n127.0.0.3,,,,,dm8\n", ExitCode::Usage,
         "/plan.csv line 3: 'dm8' is not a resolver mode (dm7 or no-dm7)."},
        {"127.0.0.1,,,,,,FW\n127.0.0.2,,,,,,BAD\n", ExitCode::FileRefused,
         "line 2: Unable to read firmware file: "},
        {"127.0.0.1,,,,,,none.s19\n", ExitCode::FileRefused, "none.s19"},
        {"#BIG\n127.0.0.1\n", ExitCode::Usage, "larger than 1 MiB or 4096 rows"},
        {"127.0.0.1ROWS", ExitCode::Usage, "larger than 1 MiB or 4096 rows"},
        // New addresses: none given twice, none another row's device; a row may keep its own.
        {"127.0.0.1,127.0.0.1\n127.0.0.2,127.0.0.3\n", ExitCode::Success, ""},
        {"127.0.0.1\n127.0.0.2,127.0.0.9\n127.0.0.3\n127.0.0.4,127.0.0.9\n", ExitCode::Usage,
         "plan.csv line 4: the new address 127.0.0.9 is also the new address on line 2"},
        {"127.0.0.1\n127.0.0.2,127.0.0.1\n", ExitCode::Usage,
         "line 2: the new address 127.0.0.1 is also the device on line 1"},
        {"127.0.0.1,127.0.0.2\n127.0.0.2,,,,delvor\n", ExitCode::Usage,
         "line 2: the device 127.0.0.2 is also the new address on line 1"},
        // The plan's text cannot drive the terminal: escape sequences, bidirectional overrides.
        {"127.0.0.1,,,,\x1b[2J\x1b]0;x\x07\xe2\x80\xae\n", ExitCode::Usage,
         R"('\x1B[2J\x1B]0;x\x07\u202E' is not a protocol)"},
    };
    const QString path = files.dir.filePath(QStringLiteral("plan.csv"));
    for (const auto& [text, exit, message] : cases) {
        ASSERT_TRUE(testsupport::WriteFile(path, QByteArray(text)
                                                     .replace("FW", "fw.s19")
                                                     .replace("BAD", "broken.s19")
                                                     .replace("BIG", QByteArray(1 << 20, 'x'))
                                                     .replace("ROWS", QByteArray(4096, '\n'))));
        CBatchPlan::Problem problem;
        const auto plan = CBatchPlan::Read(path, problem);
        EXPECT_EQ(plan.has_value(), exit == ExitCode::Success) << text;
        if (plan)
            continue;
        EXPECT_EQ(problem.exit, exit) << text;
        EXPECT_TRUE(problem.message.contains(QLatin1String(message)))
            << qPrintable(problem.message);
    }
}
