#pragma once

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"

#include <QCommandLineOption>
#include <QLatin1String>
#include <QList>
#include <QStringList>

#include <functional>
#include <span>

// The command line's front: finds the subcommand, parses its options, prints help and the
// version, and runs the subcommand. Usage errors end with exit code 2 before any device is
// touched.
class CCliApplication {
public:
    struct Subcommand {
        QLatin1String name;
        QLatin1String arguments;
        QLatin1String summary;
        int argumentCount;
        std::function<QList<QCommandLineOption>()> options;
        std::function<ExitCode(const CommandContext&)> run;
    };

    explicit CCliApplication(QStringList arguments);

    int Run();

    static std::span<const Subcommand> Subcommands();
    static QString Version();
    static QString OverviewHelp();

private:
    static const Subcommand* Find(const QString& name);
    static void AddOptions(const Subcommand& subcommand, QCommandLineParser& parser);
    static ExitCode Help(const QStringList& rest);
    ExitCode RunSubcommand(const Subcommand& subcommand, const QStringList& rest);
    static QString SubcommandHelp(const Subcommand& subcommand, const QCommandLineParser& parser);
    static ExitCode WithOutputState(const Subcommand& subcommand, const COutput& output,
                                    ExitCode exit);

    QStringList m_arguments;
};
