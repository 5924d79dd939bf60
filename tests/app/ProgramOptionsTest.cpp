#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

// The program's command line as a user meets it: --version and --help answer on standard
// output and end at once with status 0; an unknown option is refused.
namespace {
struct ProgramRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

// Without a display: the options must be answered before anything needs one.
ProgramRun RunProgram(const QStringList& arguments) {
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        environment.remove(QLatin1String(name));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(PROGRAM_PATH), arguments);
    ProgramRun run;
    if (!program.waitForFinished(30000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.output = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.errors = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}
} // namespace

TEST(ProgramOptionsTest, VersionHelpAndUnknownOptionsWithoutADisplay) {
    struct Case {
        QStringList arguments;
        int exitCode;
        const char* output; // contained in standard output
        const char* errors; // contained in standard error
    };
    const Case cases[] = {
        {{QStringLiteral("--version")}, 0, "rivivozuzuvod " RIVIVOZUZUVOD_PRODUCT_VERSION "\n", ""},
        {{QStringLiteral("--help")}, 0, "Usage: rivivozuzuvod [options]", ""},
        {{QStringLiteral("--help")}, 0, "--demo", ""},
        {{QStringLiteral("-h")}, 0, "--version", ""},
        {{QStringLiteral("--no-such-option")}, 2, "", "Unknown option 'no-such-option'"},
        {{QStringLiteral("--help-all")}, 2, "", "Usage: rivivozuzuvod"},
        {{QStringLiteral("stray")}, 2, "", "Usage:"},
    };
    for (const Case& c : cases) {
        const ProgramRun run = RunProgram(c.arguments);
        const std::string name = c.arguments.join(u' ').toStdString();
        EXPECT_EQ(run.exitCode, c.exitCode) << name << run.errors.toStdString();
        EXPECT_TRUE(run.output.contains(QLatin1String(c.output))) << name;
        EXPECT_TRUE(run.errors.contains(QLatin1String(c.errors))) << name;
    }
}
