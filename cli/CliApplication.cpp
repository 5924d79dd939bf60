#include "cli/CliApplication.h"

#include "cli/DeviceCommands.h"
#include "cli/FleetCommands.h"
#include "cli/Interruption.h"
#include "cli/RequestTrace.h"
#include "cli/RunLog.h"
#include "res/CliTexts.h"
#include "res/VersionResource.h"

#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace res;

namespace {
const QString kFormatOption = QStringLiteral("format");
const QString kTimeoutOption = QStringLiteral("timeout");
const QString kRetriesOption = QStringLiteral("retries");
const QString kQuietOption = QStringLiteral("quiet");
const QString kVerboseOption = QStringLiteral("verbose");
const QString kLogOption = QStringLiteral("log");
constexpr int kMaxTimeoutMs = 600000;
constexpr int kMaxRetries = 10;

// The options every subcommand has.
QList<QCommandLineOption> CommonOptions() {
    return {{kFormatOption, QString(cli::FormatHelp), QStringLiteral("text|json"),
             QStringLiteral("text")},
            {kTimeoutOption, QString(cli::RequestTimeoutHelp), QStringLiteral("MS")},
            {kRetriesOption, QString(cli::RetriesHelp), QStringLiteral("N")},
            {{QStringLiteral("q"), kQuietOption}, QString(cli::QuietHelp)},
            {kVerboseOption, QString(cli::VerboseHelp)},
            {kLogOption, QString(cli::LogHelp), QStringLiteral("FILE")}};
}

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

// The "Options:" part of the parser's help, without its usage line.
QString OptionsSection(const QCommandLineParser& parser) {
    const QString options = parser.helpText();
    const qsizetype start = options.indexOf(QLatin1String("Options:"));
    return start >= 0 ? options.mid(start) : options;
}

bool TakesValue(const QString& argument) {
    for (const QCommandLineOption& option : CommonOptions()) {
        if (!option.valueName().isEmpty() &&
            argument == QStringLiteral("--") + option.names().last())
            return true;
    }
    return false;
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
    QCommandLineParser parser;
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help.")});
    parser.addOption(
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("The version.")});
    parser.addOptions(CommonOptions());
    return text + QLatin1Char('\n') + OptionsSection(parser) + QLatin1Char('\n') +
           QString(cli::ExitCodesHelp) + QLatin1Char('\n');
}

int CCliApplication::Run() {
    // The subcommand is the first word that is neither an option nor an option's value.
    QStringList rest = m_arguments.mid(1);
    qsizetype position = -1;
    for (qsizetype i = 0; i < rest.size() && position < 0; ++i) {
        if (TakesValue(rest[i]))
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
    if (name == QLatin1String("help"))
        return ToInt(Help(rest));
    if (const Subcommand* subcommand = Find(name))
        return ToInt(RunSubcommand(*subcommand, rest));
    Print(stderr,
          QString(cli::UnknownSubcommandFormat).arg(name) + QLatin1Char('\n') + OverviewHelp());
    return ToInt(ExitCode::Usage);
}

const CCliApplication::Subcommand* CCliApplication::Find(const QString& name) {
    for (const Subcommand& subcommand : kSubcommands) {
        if (name == subcommand.name)
            return &subcommand;
    }
    return nullptr;
}

void CCliApplication::AddOptions(const Subcommand& subcommand, QCommandLineParser& parser) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("This help.")});
    parser.addOptions(CommonOptions());
    parser.addOptions(subcommand.options());
}

// "help" alone is the overview; "help SUBCOMMAND" is that subcommand's --help.
ExitCode CCliApplication::Help(const QStringList& rest) {
    const QStringList words = rest.filter(QRegularExpression(QStringLiteral("^[^-]")));
    if (words.isEmpty()) {
        Print(stdout, OverviewHelp());
        return ExitCode::Success;
    }
    const Subcommand* subcommand = Find(words.first());
    if (!subcommand) {
        Print(stderr, QString(cli::UnknownSubcommandFormat).arg(words.first()) + QLatin1Char('\n') +
                          OverviewHelp());
        return ExitCode::Usage;
    }
    QCommandLineParser parser;
    AddOptions(*subcommand, parser);
    Print(stdout, SubcommandHelp(*subcommand, parser));
    return ExitCode::Success;
}

ExitCode CCliApplication::RunSubcommand(const Subcommand& subcommand, const QStringList& rest) {
    QCommandLineParser parser;
    AddOptions(subcommand, parser);
    const QString usage = QString(cli::SubcommandUsageFormat)
                              .arg(cli::ProgramName, subcommand.name, subcommand.arguments);
    const auto usageError = [&](const QString& message) {
        Print(stderr, message + QLatin1Char('\n') + usage + QLatin1Char('\n'));
        return ExitCode::Usage;
    };
    if (!parser.parse(QStringList{QString(cli::ProgramName)} + rest))
        return usageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
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
    CommandContext context{parser, parser.positionalArguments(), output, {}, false, nullptr};
    const auto timeout = context.Number(kTimeoutOption, 1, kMaxTimeoutMs, 0);
    const auto retries = context.Number(kRetriesOption, 0, kMaxRetries, 0);
    if (!timeout || !retries)
        return ExitCode::Usage;
    CRunLog log;
    QString reason;
    if (parser.isSet(kLogOption) && !log.Open(parser.value(kLogOption), reason))
        return usageError(QString(cli::LogUnopenableFormat).arg(parser.value(kLogOption), reason));
    CRequestTrace trace(output);
    context.link = {*timeout, *retries, parser.isSet(kVerboseOption) ? &trace : nullptr};
    context.quiet = parser.isSet(kQuietOption);
    context.log = parser.isSet(kLogOption) ? &log : nullptr;
    const ExitCode exit = subcommand.run(context);
    return WithOutputState(subcommand, output, exit);
}

// A reader that closed standard output ends the run as a closed pipe ends a shell command (a
// watch that its reader stopped ends normally); any other failed write is an error: the
// results did not arrive.
ExitCode CCliApplication::WithOutputState(const Subcommand& subcommand, const COutput& output,
                                          ExitCode exit) {
    const bool watch = subcommand.name == QLatin1String("watch");
    // A stopped watch has done what it was for; any other stopped run did not finish.
    if (CInterruption::Requested() && !watch)
        exit = ExitCode::Interrupted;
    const int error = output.StdoutError();
    if (error == 0)
        return exit;
    if (error == EPIPE)
        return watch ? exit : ExitCode::PipeClosed;
    Print(stderr,
          QString(cli::StdoutWriteFailedFormat).arg(QString::fromLocal8Bit(std::strerror(error))) +
              QLatin1Char('\n'));
    return ExitCode::DeviceFailure;
}

QString CCliApplication::SubcommandHelp(const Subcommand& subcommand,
                                        const QCommandLineParser& parser) {
    return QString(cli::SubcommandUsageFormat)
               .arg(cli::ProgramName, subcommand.name, subcommand.arguments) +
           QStringLiteral("\n\n") + QString(subcommand.summary) + QStringLiteral("\n\n") +
           OptionsSection(parser) + QLatin1Char('\n') + QString(cli::ExitCodesHelp) +
           QLatin1Char('\n');
}
