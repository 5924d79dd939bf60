#pragma once

#include "cli/Output.h"

#include <QCommandLineParser>
#include <QStringList>

// What a subcommand gets: its parsed options, its positional arguments and the output.
struct CommandContext {
    const QCommandLineParser& parser;
    QStringList arguments;
    COutput& output;
};
