// The program itself: help and version without a display, no widget library, usage errors.
#include "CliRunner.h"

using clitest::Cli;
using clitest::RunCli;

TEST(CliProgramTest, HelpListsEverySubcommandAndVersionPrintsWithoutADisplay) {
    QProcessEnvironment headless = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        headless.remove(QLatin1String(name));
    const auto help = RunCli({QStringLiteral("--help")}, headless);
    EXPECT_EQ(help.exitCode, 0) << help.err.toStdString();
    EXPECT_TRUE(help.out.contains("3  the value read back differs"));
    for (const char* name :
         {"info", "watch", "set-ip", "set-protocol", "set-mode", "upgrade", "scan", "batch"})
        EXPECT_TRUE(help.out.contains(QByteArray("  ") + name + "  ")) << name;
    const auto sub = RunCli({QStringLiteral("set-ip"), QStringLiteral("--help")}, headless);
    EXPECT_EQ(sub.exitCode, 0);
    EXPECT_TRUE(sub.out.startsWith("Usage: rivivozuzuvod-cli set-ip ")) << sub.out.toStdString();
    EXPECT_TRUE(sub.out.contains("--format")) << sub.out.toStdString();
    EXPECT_EQ(RunCli({QStringLiteral("--version")}, headless).out, "rivivozuzuvod-cli 1.0\n");
}

TEST(CliProgramTest, ProgramDoesNotLoadTheWidgetLibrary) {
    QProcess ldd;
    ldd.start(QStringLiteral("ldd"), {QStringLiteral(RIVIVOZUZUVOD_CLI_PROGRAM)});
    ASSERT_TRUE(ldd.waitForFinished(30000));
    const QByteArray libraries = ldd.readAllStandardOutput();
    EXPECT_TRUE(libraries.contains("libQt6Network")) << "ldd lists the libraries it loads";
    EXPECT_FALSE(libraries.contains("libQt6Widgets")) << libraries.toStdString();
    EXPECT_FALSE(libraries.contains("libQt6Gui")) << libraries.toStdString();
}

// Each is refused with exit code 2 before anything is sent; 127.0.111.250 has no simulator,
// so a run that tried it would end with 1 instead. The parsers' cases are tested in-process.
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
        {"set-ip 127.0.111.250 127.0.111.251 --mask 255.255.255",
         "'255.255.255' is not an IPv4 address"},
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
