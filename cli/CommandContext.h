#pragma once

#include "cli/Output.h"

#include <QCommandLineParser>
#include <QStringList>

#include <optional>

// What a subcommand gets: its parsed options, its positional arguments and the output.
struct CommandContext {
    const QCommandLineParser& parser;
    QStringList arguments;
    COutput& output;

    // The whole-number option `name` within [lowest, highest], `fallback` when it is not
    // given; anything else is told on stderr as a usage error and gives nothing.
    std::optional<int> Number(const QString& name, int lowest, int highest, int fallback) const;
};
