#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

// The program's command line as a user meets it, without a display (the options are answered
// before anything needs one): --version and --help answer on standard output and end at once
// with status 0; an unknown option or argument is refused with status 2.
TEST(ProgramOptionsTest, VersionHelpAndUnknownOptionsWithoutADisplay) {
    // The argument, the exit code, texts contained in standard output and standard error.
    const std::tuple<const char*, int, const char*, const char*> cases[] = {
        {"--version", 0, "rivivozuzuvod 1.0.0-1\n", ""},
        {"--help", 0, "Usage: rivivozuzuvod [options]", ""},
        {"-h", 0, "--demo", ""},
        {"--no-such-option", 2, "", "Unknown option 'no-such-option'"},
        {"--help-all", 2, "", "Usage: rivivozuzuvod"},
        {"stray", 2, "", "Unexpected argument 'stray'."},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    for (const auto& [argument, exitCode, output, errors] : cases) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PROGRAM_PATH), {QLatin1String(argument)});
        ASSERT_TRUE(program.waitForFinished(30000)) << argument;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << argument;
        EXPECT_EQ(program.exitCode(), exitCode) << argument;
        EXPECT_TRUE(program.readAllStandardOutput().contains(output)) << argument;
        EXPECT_TRUE(program.readAllStandardError().contains(errors)) << argument;
    }
}
