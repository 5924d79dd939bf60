// rivivozuzuvod-cli: the device commands for scripts and many devices, without a display.
#include "cli/CliApplication.h"
#include "cli/Interruption.h"

#include <QCoreApplication>

#include <csignal>

int main(int argc, char** argv) {
    // A closed pipe on standard output shows as EPIPE on the write, so that the program ends
    // with its report and exit code instead of being killed in the middle of a device's step.
    std::signal(SIGPIPE, SIG_IGN);
    CInterruption::Install();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rivivozuzuvod-cli"));
    return CCliApplication(QCoreApplication::arguments()).Run();
}
