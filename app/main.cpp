#include "app/DELVOREncoderApp.h"
#include "platform/QtMessageBoxHandler.h"
#include "res/Texts.h"
#include "sim/EncoderSimulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

namespace {
// Loopback addresses the demo encoder tries, in order, until one is free.
constexpr const char* kDemoAddresses[] = {"127.0.0.1", "127.0.0.21", "127.0.0.22", "127.0.0.23"};

std::unique_ptr<sim::CEncoderSimulator> StartDemoEncoder() {
    for (const char* address : kDemoAddresses) {
        sim::SimulatorConfig config;
        config.address = QLatin1String(address);
        auto encoder = std::make_unique<sim::CEncoderSimulator>(config); // reports it as its IP
        if (encoder->Start())
            return encoder;
    }
    return nullptr;
}
} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("rivivozuzuvod"));
    QApplication::setApplicationVersion(QStringLiteral(RIVIVOZUZUVOD_PRODUCT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up an Ethernet resolver encoder: connect, read its settings and "
                       "position, change its address and protocol, upgrade its firmware."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Run a simulated encoder on a loopback address and put its address into "
                       "the target field. The stored address is left as it is."));
    parser.addOption(demo);
    parser.process(application);

    platform::InstallQtMessageBoxHandler();

    CDELVOREncoderApp app;
    std::unique_ptr<sim::CEncoderSimulator> demoEncoder;
    QTemporaryDir demoSettings;
    if (parser.isSet(demo)) {
        demoEncoder = StartDemoEncoder();
        if (!demoEncoder) {
            std::fprintf(stderr, "rivivozuzuvod: no loopback address free for the demo encoder\n");
            return 1;
        }
        // The demo's Connect must not overwrite the operator's stored address, and the demo
        // never talks to anything but loopback, whatever address is typed.
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", QFile::encodeName(demoSettings.path()));
        qputenv("RIVIVOZUZUVOD_LOOPBACK_ONLY", "1");
        app.SetDemoAddress(demoEncoder->Address());
    }
    app.InitInstance();
    return 0;
}
