#pragma once

#include "cli/DeviceJob.h"
#include "cli/Output.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

class CRunLog;

// What a subcommand gets: its parsed options, its positional arguments, the output, and the
// options every subcommand has (link, --quiet, --log).
struct CommandContext {
    const QCommandLineParser& parser;
    QStringList arguments;
    COutput& output;
    LinkOptions link;
    bool quiet = false;
    CRunLog* log = nullptr; // null without --log

    // The whole-number option `name` within [lowest, highest], `fallback` when it is not
    // given; anything else is told on stderr as a usage error and gives nothing.
    std::optional<int> Number(const QString& name, int lowest, int highest, int fallback) const;
    // A progress line is drawn on a terminal unless --quiet asks for results only.
    bool ShowsProgress() const;
};
