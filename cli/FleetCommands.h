#pragma once

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"

#include <QCommandLineOption>
#include <QList>

// The subcommands on many devices: scan and batch.
class CFleetCommands {
public:
    static constexpr int kDefaultScanJobs = 64;
    static constexpr int kDefaultBatchJobs = 8;
    static constexpr int kDefaultConnectTimeoutMs = 300;

    static QList<QCommandLineOption> ScanOptions();
    static ExitCode Scan(const CommandContext& context);
    static QList<QCommandLineOption> BatchOptions();
    static ExitCode Batch(const CommandContext& context);
};
