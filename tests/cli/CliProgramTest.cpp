// The program itself: help and version without a display, no widget library, usage errors.
#include "CliRunner.h"

#include <QProcess>

#include <gtest/gtest.h>

using clitest::RunCli;

namespace {
const QStringList kSubcommands{QStringLiteral("info"),     QStringLiteral("watch"),
                               QStringLiteral("set-ip"),   QStringLiteral("set-protocol"),
                               QStringLiteral("set-mode"), QStringLiteral("upgrade"),
                               QStringLiteral("scan"),     QStringLiteral("batch")};

// An environment with no display of any kind.
QProcessEnvironment Headless() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1String(name));
    return environment;
}
} // namespace

TEST(CliProgramTest, HelpListsEverySubcommandAndVersionPrintsWithoutADisplay) {
    const auto help = RunCli({QStringLiteral("--help")}, Headless());
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    for (const QString& name : kSubcommands)
        EXPECT_TRUE(help.out.contains("  " + name.toUtf8() + "  ")) << name.toStdString();
    EXPECT_TRUE(help.out.contains("3  the value read back differs"));

    const auto version = RunCli({QStringLiteral("--version")}, Headless());
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QByteArray("rivivozuzuvod-cli 1.0\n"));

    for (const QString& name : kSubcommands) {
        const auto sub = RunCli({name, QStringLiteral("--help")}, Headless());
        EXPECT_EQ(sub.exitCode, 0) << name.toStdString();
        EXPECT_TRUE(sub.out.startsWith("Usage: rivivozuzuvod-cli " + name.toUtf8() + ' '))
            << sub.out.toStdString();
        EXPECT_TRUE(sub.out.contains("--format")) << name.toStdString();
    }
}

TEST(CliProgramTest, ProgramDoesNotLoadTheWidgetLibrary) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    EXPECT_TRUE(libraries.contains("libQt6Core")) << "ldd lists the libraries it loads";
    EXPECT_TRUE(libraries.contains("libQt6Network"));
    EXPECT_FALSE(libraries.contains("libQt6Widgets")) << libraries.toStdString();
    EXPECT_FALSE(libraries.contains("libQt6Gui")) << libraries.toStdString();
}

struct UsageCase {
    const char* name;
    QStringList arguments;
    const char* stderrText;
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class CliUsageTest : public ::testing::TestWithParam<UsageCase> {};

// Each is refused with exit code 2 before anything is sent; 127.0.111.250 has no simulator,
// so a run that tried it would end with 1 instead.
TEST_P(CliUsageTest, RefusedWithExitCode2) {
    const auto run = RunCli(GetParam().arguments);
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(GetParam().stderrText)) << run.err.toStdString();
    EXPECT_TRUE(run.out.isEmpty()) << run.out.toStdString();
}

const QString kNowhere = QStringLiteral("127.0.111.250");

INSTANTIATE_TEST_SUITE_P(
    Cases, CliUsageTest,
    ::testing::Values(
        UsageCase{"NoSubcommand", {}, "No subcommand given."},
        UsageCase{"UnknownSubcommand",
                  {QStringLiteral("flash"), kNowhere},
                  "Unknown subcommand 'flash'."},
        UsageCase{"MissingAddress", {QStringLiteral("info")}, "'info' takes ADDRESS."},
        UsageCase{"ShortAddress",
                  {QStringLiteral("info"), QStringLiteral("127.0.1")},
                  "'127.0.1' is not an IPv4 address"},
        UsageCase{"ZeroAddress",
                  {QStringLiteral("info"), QStringLiteral("0.0.0.0")},
                  "'0.0.0.0' is not an IPv4 address"},
        UsageCase{"UnknownOption",
                  {QStringLiteral("info"), kNowhere, QStringLiteral("--fast")},
                  "Unknown option 'fast'."},
        UsageCase{
            "BadFormat",
            {QStringLiteral("info"), kNowhere, QStringLiteral("--format"), QStringLiteral("xml")},
            "Bad value for --format: 'xml'"},
        UsageCase{"BadProtocol",
                  {QStringLiteral("set-protocol"), kNowhere, QStringLiteral("profinet")},
                  "'profinet' is not a protocol"},
        UsageCase{"BadMode",
                  {QStringLiteral("set-mode"), kNowhere, QStringLiteral("dm8")},
                  "'dm8' is not a resolver mode"},
        UsageCase{"BadMask",
                  {QStringLiteral("set-ip"), kNowhere, QStringLiteral("127.0.111.251"),
                   QStringLiteral("--mask"), QStringLiteral("255.255.255")},
                  "'255.255.255' is not an IPv4 address"},
        UsageCase{
            "ZeroInterval",
            {QStringLiteral("watch"), kNowhere, QStringLiteral("--interval"), QStringLiteral("0")},
            "Bad value for --interval: '0'."},
        UsageCase{"RangeTooWide",
                  {QStringLiteral("scan"), QStringLiteral("127.0.0.0/8")},
                  "'127.0.0.0/8' is not an address range"},
        UsageCase{"RangeBackwards",
                  {QStringLiteral("scan"), QStringLiteral("127.0.110.9-127.0.110.1")},
                  "is not an address range"},
        UsageCase{"MissingPlan",
                  {QStringLiteral("batch"), QStringLiteral("/nonexistent/plan.csv")},
                  "Cannot read the plan '/nonexistent/plan.csv'."}),
    [](const auto& info) { return std::string(info.param.name); });
