#include "app/DELVOREncoderApp.h"
#include "platform/QtMessageBoxHandler.h"
#include "res/Texts.h"
#include "res/VersionResource.h"
#include "sim/EncoderSimulator.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>
#include <optional>

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

// The toolkit's own options (read by the application object) are accepted and not shown.
void AddToolkitOptions(QCommandLineParser& parser) {
    for (const char* name :
         {"platform", "platformpluginpath", "platformtheme", "plugin", "display", "geometry",
          "qwindowgeometry", "qwindowicon", "qwindowtitle", "style", "stylesheet", "session"}) {
        QCommandLineOption option(QString(QLatin1String(name)), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : {"reverse", "widgetcount"}) {
        QCommandLineOption option{QString(QLatin1String(name))};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

// Without an application object the parser does not know the program's name.
QString HelpText(const QCommandLineParser& parser, const char* programPath) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("<executable_name>"),
                 QFileInfo(QString::fromLocal8Bit(programPath)).fileName());
    return text;
}

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setApplicationName(QStringLiteral("rivivozuzuvod"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(res::PackageVersion()));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Sets up an Ethernet resolver encoder: connect, read its settings and "
                       "position, change its address and protocol, upgrade its firmware."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // Our own help option: the toolkit's would also offer --help-all, which needs the
    // application object.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption demo(
        QStringLiteral("demo"),
        QStringLiteral("Run a simulated encoder on a loopback address and put its address into "
                       "the target field. The stored address is left as it is."));
    parser.addOption(demo);
    AddToolkitOptions(parser);

    // The options are read before the application object exists, which needs a display:
    // --help and --version answer without one.
    if (!parser.parse(Arguments(argc, argv)) || !parser.positionalArguments().isEmpty()) {
        const QString error =
            parser.errorText().isEmpty()
                ? QString::asprintf(res::text::UnexpectedArgumentFormat.data(),
                                    qPrintable(parser.positionalArguments().value(0)))
                : parser.errorText();
        std::fprintf(stderr, "%s\n\n%s", qPrintable(error), qPrintable(HelpText(parser, argv[0])));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(HelpText(parser, argv[0])), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return 0;
    }

    QApplication application(argc, argv);
    platform::InstallQtMessageBoxHandler();

    CDELVOREncoderApp app;
    std::unique_ptr<sim::CEncoderSimulator> demoEncoder;
    std::optional<QTemporaryDir> demoSettings; // made in demo mode only
    if (parser.isSet(demo)) {
        demoEncoder = StartDemoEncoder();
        if (!demoEncoder) {
            std::fprintf(stderr, "rivivozuzuvod: no loopback address free for the demo encoder\n");
            return 1;
        }
        // The demo's Connect must not overwrite the operator's stored address, and the demo
        // never talks to anything but loopback, whatever address is typed.
        demoSettings.emplace();
        qputenv("RIVIVOZUZUVOD_HKCU_DIR", QFile::encodeName(demoSettings->path()));
        qputenv("RIVIVOZUZUVOD_LOOPBACK_ONLY", "1");
        app.SetDemoAddress(demoEncoder->Address());
    }
    app.InitInstance();
    return 0;
}
