#include <QProcess>

#include <gtest/gtest.h>

// The program's command line as a user meets it: --version and --help answer on standard
// output and end at once with status 0; an unknown option is refused.
namespace {
struct ProgramRun {
    int exitCode = -1;
    QString output;
    QString errors;
};

ProgramRun RunProgram(const QStringList& arguments) {
    QProcess program;
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

TEST(ProgramOptionsTest, VersionHelpAndUnknownOptions) {
    const ProgramRun version = RunProgram({QStringLiteral("--version")});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.trimmed(),
              QStringLiteral("rivivozuzuvod " RIVIVOZUZUVOD_PRODUCT_VERSION));

    const ProgramRun help = RunProgram({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.output.contains(QStringLiteral("--demo")));
    EXPECT_TRUE(help.output.contains(QStringLiteral("--version")));

    const ProgramRun unknown = RunProgram({QStringLiteral("--no-such-option")});
    EXPECT_NE(unknown.exitCode, 0);
    EXPECT_TRUE(unknown.errors.contains(QStringLiteral("no-such-option")));
}
