// rivivozuzuvod-cli: the device commands for scripts and many devices, without a display.
#include "cli/CliApplication.h"

#include <QCoreApplication>

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rivivozuzuvod-cli"));
    return CCliApplication(QCoreApplication::arguments()).Run();
}
