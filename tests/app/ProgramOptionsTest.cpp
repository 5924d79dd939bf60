#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

// The program's command line as a user meets it, without a display (the options are answered
// before anything needs one): --version and --help answer on standard output and end at once
// with status 0; an unknown option or argument is refused with status 2.
TEST(ProgramOptionsTest, VersionHelpAndUnknownOptionsWithoutADisplay) {
    struct Case {
        const char* argument;
        int exitCode;
        const char* output; // contained in standard output
        const char* errors; // contained in standard error
    };
    const Case cases[] = {
        {"--version", 0, "rivivozuzuvod " RIVIVOZUZUVOD_PRODUCT_VERSION "\n", ""},
        {"--help", 0, "Usage: rivivozuzuvod [options]", ""},
        {"-h", 0, "--demo", ""},
        {"--no-such-option", 2, "", "Unknown option 'no-such-option'"},
        {"--help-all", 2, "", "Usage: rivivozuzuvod"},
        {"stray", 2, "", "Usage:"},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    for (const Case& c : cases) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(PROGRAM_PATH), {QLatin1String(c.argument)});
        ASSERT_TRUE(program.waitForFinished(30000)) << c.argument;
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << c.argument;
        EXPECT_EQ(program.exitCode(), c.exitCode) << c.argument;
        EXPECT_TRUE(program.readAllStandardOutput().contains(c.output)) << c.argument;
        EXPECT_TRUE(program.readAllStandardError().contains(c.errors)) << c.argument;
    }
}
