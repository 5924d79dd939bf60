#pragma once

#include "cli/CommandContext.h"
#include "cli/ExitCode.h"

#include <QCommandLineOption>
#include <QList>

// The subcommands on one device: info, watch, set-ip, set-protocol, set-mode, upgrade. Each
// runs the window's sequence through the command layer on a device record of its own.
class CDeviceCommands {
public:
    static ExitCode Info(const CommandContext& context);
    static QList<QCommandLineOption> WatchOptions();
    static ExitCode Watch(const CommandContext& context);
    static QList<QCommandLineOption> SetIpOptions();
    static ExitCode SetIp(const CommandContext& context);
    static ExitCode SetProtocol(const CommandContext& context);
    static ExitCode SetMode(const CommandContext& context);
    static ExitCode Upgrade(const CommandContext& context);
};
