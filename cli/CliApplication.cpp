#include "cli/CliApplication.h"

#include "cli/DeviceCommands.h"
#include "cli/FleetCommands.h"
#include "platform/VersionInfo.h"
#include "res/CliTexts.h"
#include "res/VersionResource.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace res;

namespace {
const QString kFormatOption = QStringLiteral("format");

QList<QCommandLineOption> NoOptions() {
    return {};
}

const CCliApplication::Subcommand kSubcommands[] = {
    {QLatin1String("info"), cli::InfoArgs, cli::InfoSummary, 1, NoOptions, CDeviceCommands::Info},
    {QLatin1String("watch"), cli::WatchArgs, cli::WatchSummary, 1, CDeviceCommands::WatchOptions,
     CDeviceCommands::Watch},
    {QLatin1String("set-ip"), cli::SetIpArgs, cli::SetIpSummary, 2, CDeviceCommands::SetIpOptions,
     CDeviceCommands::SetIp},
    {QLatin1String("set-protocol"), cli::SetProtocolArgs, cli::SetProtocolSummary, 2, NoOptions,
     CDeviceCommands::SetProtocol},
    {QLatin1String("set-mode"), cli::SetModeArgs, cli::SetModeSummary, 2, NoOptions,
     CDeviceCommands::SetMode},
    {QLatin1String("upgrade"), cli::UpgradeArgs, cli::UpgradeSummary, 2, NoOptions,
     CDeviceCommands::Upgrade},
    {QLatin1String("scan"), cli::ScanArgs, cli::ScanSummary, 1, CFleetCommands::ScanOptions,
     CFleetCommands::Scan},
    {QLatin1String("batch"), cli::BatchArgs, cli::BatchSummary, 1, CFleetCommands::BatchOptions,
     CFleetCommands::Batch},
};

void Print(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
}

bool IsHelp(const QString& argument) {
    return argument == QLatin1String("--help") || argument == QLatin1String("-h");
}
} // namespace

CCliApplication::CCliApplication(QStringList arguments) : m_arguments(std::move(arguments)) {}

std::span<const CCliApplication::Subcommand> CCliApplication::Subcommands() {
    return kSubcommands;
}

QString CCliApplication::Version() {
    return QString::fromLatin1(res::PackageVersion());
}

QString CCliApplication::OverviewHelp() {
    QString text = QString(cli::UsageFormat).arg(cli::ProgramName) + QStringLiteral("\n\n") +
                   QString(cli::Description) + QStringLiteral("\n\n") +
                   QString(cli::SubcommandsHeading) + QLatin1Char('\n');
    for (const Subcommand& subcommand : kSubcommands)
        text += QStringLiteral("  %1  %2\n")
                    .arg(QString(subcommand.name).leftJustified(13), subcommand.summary);
    return text + QStringLiteral("\nOptions:\n  --format text|json  ") + QString(cli::FormatHelp) +
           QStringLiteral("\n  -h, --help          This help.\n  -v, --version       The "
                          "version.\n\n") +
           QString(cli::ExitCodesHelp) + QLatin1Char('\n');
}

int CCliApplication::Run() {
    // The subcommand is the first word that is neither an option nor the value of --format.
    QStringList rest = m_arguments.mid(1);
    qsizetype position = -1;
    for (qsizetype i = 0; i < rest.size() && position < 0; ++i) {
        if (rest[i] == QLatin1String("--format"))
            ++i;
        else if (!rest[i].startsWith(QLatin1Char('-')))
            position = i;
    }
    if (position < 0) {
        if (rest.contains(QLatin1String("--version")) || rest.contains(QLatin1String("-v"))) {
            Print(stdout, QStringLiteral("%1 %2\n").arg(cli::ProgramName, Version()));
            return ToInt(ExitCode::Success);
        }
        const bool help = std::any_of(rest.begin(), rest.end(), IsHelp);
        Print(help ? stdout : stderr,
              (help ? QString() : QString(cli::MissingSubcommand) + QLatin1Char('\n')) +
                  OverviewHelp());
        return ToInt(help ? ExitCode::Success : ExitCode::Usage);
    }
    const QString name = rest.takeAt(position);
    for (const Subcommand& subcommand : kSubcommands) {
        if (name == subcommand.name)
            return ToInt(RunSubcommand(subcommand, rest));
    }
    Print(stderr,
          QString(cli::UnknownSubcommandFormat).arg(name) + QLatin1Char('\n') + OverviewHelp());
    return ToInt(ExitCode::Usage);
}

ExitCode CCliApplication::RunSubcommand(const Subcommand& subcommand, const QStringList& rest) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("This help."));
    parser.addOption(help);
    parser.addOption({kFormatOption, QString(cli::FormatHelp), QStringLiteral("text|json"),
                      QStringLiteral("text")});
    parser.addOptions(subcommand.options());
    const QString usage = QString(cli::SubcommandUsageFormat)
                              .arg(cli::ProgramName, subcommand.name, subcommand.arguments);
    const auto usageError = [&](const QString& message) {
        Print(stderr, message + QLatin1Char('\n') + usage + QLatin1Char('\n'));
        return ExitCode::Usage;
    };
    if (!parser.parse(QStringList{QString(cli::ProgramName)} + rest))
        return usageError(parser.errorText());
    if (parser.isSet(help)) {
        Print(stdout, SubcommandHelp(subcommand, parser));
        return ExitCode::Success;
    }
    const QString format = parser.value(kFormatOption);
    if (format != QLatin1String("text") && format != QLatin1String("json"))
        return usageError(QString(cli::BadFormatFormat).arg(format));
    if (parser.positionalArguments().size() != subcommand.argumentCount)
        return usageError(
            QString(cli::ArgumentCountFormat).arg(subcommand.name, subcommand.arguments));
    COutput output(format == QLatin1String("json") ? COutput::Format::Json : COutput::Format::Text);
    const ExitCode exit = subcommand.run({parser, parser.positionalArguments(), output});
    return WithOutputState(subcommand, output, exit);
}

// A reader that closed standard output ends the run as a closed pipe ends a shell command (a
// watch that its reader stopped ends normally); any other failed write is an error: the
// results did not arrive.
ExitCode CCliApplication::WithOutputState(const Subcommand& subcommand, const COutput& output,
                                          ExitCode exit) {
    const int error = output.StdoutError();
    if (error == 0)
        return exit;
    if (error == EPIPE)
        return subcommand.name == QLatin1String("watch") ? exit : ExitCode::PipeClosed;
    Print(stderr,
          QString(cli::StdoutWriteFailedFormat).arg(QString::fromLocal8Bit(std::strerror(error))) +
              QLatin1Char('\n'));
    return ExitCode::DeviceFailure;
}

QString CCliApplication::SubcommandHelp(const Subcommand& subcommand,
                                        const QCommandLineParser& parser) {
    const QString options = parser.helpText();
    const qsizetype start = options.indexOf(QLatin1String("Options:"));
    return QString(cli::SubcommandUsageFormat)
               .arg(cli::ProgramName, subcommand.name, subcommand.arguments) +
           QStringLiteral("\n\n") + QString(subcommand.summary) + QStringLiteral("\n\n") +
           (start >= 0 ? options.mid(start) : options) + QLatin1Char('\n') +
           QString(cli::ExitCodesHelp) + QLatin1Char('\n');
}
