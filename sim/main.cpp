// rivivozuzuvod-encoder-sim: plays the encoder on a loopback address until it is stopped.
#include "res/VersionResource.h"
#include "sim/EncoderSimulator.h"
#include "sim/FaultSpec.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHostAddress>
#include <QTextStream>

#include <optional>

namespace {

struct Options {
    sim::SimulatorConfig config;
    std::vector<sim::FaultSpec> faults;
    std::vector<std::pair<int, BYTE>> rejectedBlocks;
    std::vector<int> droppedBlocks;
    bool keepOldProtocol = false;
    bool keepOldMode = false;
    bool refuseConnections = false;
    std::optional<qint32> position;
    bool pinPosition = false;
};

std::optional<int> Number(const QString& text, int lowest, int highest) {
    bool ok = false;
    const int value = text.toInt(&ok, 0);
    if (!ok || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

bool IsLoopback(const QString& address) {
    const QHostAddress host(address);
    return host.protocol() == QAbstractSocket::IPv4Protocol &&
           host.isInSubnet(QHostAddress(QStringLiteral("127.0.0.0")), 8);
}

// Fills `options` from the parsed command line; false with `error` on a bad value.
bool ReadOptions(const QCommandLineParser& parser, Options& options, QString& error) {
    auto& config = options.config;
    config.address = parser.value(QStringLiteral("address"));
    if (!IsLoopback(config.address)) {
        error = QStringLiteral("Refusing address '%1': the simulator listens on 127.0.0.0/8 only.")
                    .arg(config.address);
        return false;
    }
    const auto number = [&](const QString& name, int lowest, int highest, int& target) {
        if (!parser.isSet(name))
            return true;
        const auto value = Number(parser.value(name), lowest, highest);
        if (!value)
            error = QStringLiteral("Bad value for --%1: '%2'.").arg(name, parser.value(name));
        else
            target = *value;
        return value.has_value();
    };
    int port = config.port;
    int protocolByte = config.protocolByte;
    if (!number(QStringLiteral("port"), 1, 65535, port) ||
        !number(QStringLiteral("restart-ms"), 0, 600000, config.restartAwayMs) ||
        !number(QStringLiteral("boot-delay-ms"), 0, 600000, config.bootDelayMs) ||
        !number(QStringLiteral("exec-delay-ms"), 0, 600000, config.execDelayMs) ||
        !number(QStringLiteral("block-time"), 0, 600000, config.blockTimeMs) ||
        !number(QStringLiteral("protocol-byte"), 0, 255, protocolByte))
        return false;
    config.port = static_cast<quint16>(port);
    config.protocolByte = static_cast<BYTE>(protocolByte);

    for (const QString& text : parser.values(QStringLiteral("fault"))) {
        auto spec = sim::FaultSpec::Parse(text, &error);
        if (!spec)
            return false;
        options.faults.push_back(*spec);
    }
    for (const QString& text : parser.values(QStringLiteral("reject-block"))) {
        const QStringList parts = text.split(QLatin1Char(':'));
        const auto block = Number(parts[0], 1, 1 << 20);
        const auto status = parts.size() == 2 ? Number(parts[1], 1, 255) : std::optional<int>(11);
        if (!block || !status || parts.size() > 2) {
            error = QStringLiteral("Bad value for --reject-block: '%1'.").arg(text);
            return false;
        }
        options.rejectedBlocks.emplace_back(*block, static_cast<BYTE>(*status));
    }
    for (const QString& text : parser.values(QStringLiteral("drop-at-block"))) {
        const auto block = Number(text, 1, 1 << 20);
        if (!block) {
            error = QStringLiteral("Bad value for --drop-at-block: '%1'.").arg(text);
            return false;
        }
        options.droppedBlocks.push_back(*block);
    }
    if (parser.isSet(QStringLiteral("position"))) {
        bool ok = false;
        options.position = parser.value(QStringLiteral("position")).toInt(&ok, 0);
        if (!ok) {
            error = QStringLiteral("Bad value for --position.");
            return false;
        }
    }
    options.keepOldProtocol = parser.isSet(QStringLiteral("keep-old-protocol"));
    options.keepOldMode = parser.isSet(QStringLiteral("keep-old-mode"));
    options.refuseConnections = parser.isSet(QStringLiteral("refuse-connections"));
    options.pinPosition = parser.isSet(QStringLiteral("pin-position"));
    return true;
}

void AddOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        QStringLiteral("Plays the resolver encoder on a loopback address (TCP, our framing), for "
                       "trying the configuration tool without a device.\nFault kinds for "
                       "--fault: ") +
        sim::FaultSpec::Syntax() + QStringLiteral("."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("address"),
         QStringLiteral("Loopback address to listen on (default 127.0.0.2)."),
         QStringLiteral("a.b.c.d"), QStringLiteral("127.0.0.2")},
        {QStringLiteral("port"), QStringLiteral("TCP port (default 49999)."), QStringLiteral("n")},
        {QStringLiteral("restart-ms"),
         QStringLiteral("Time the device is away on a restart (default 1000)."),
         QStringLiteral("ms")},
        {QStringLiteral("boot-delay-ms"),
         QStringLiteral("Flash erase time before the boot reply (default 0)."),
         QStringLiteral("ms")},
        {QStringLiteral("exec-delay-ms"), QStringLiteral("Time before the exec reply (default 0)."),
         QStringLiteral("ms")},
        {QStringLiteral("block-time"),
         QStringLiteral("Flash write time before each firmware block's reply (default 0)."),
         QStringLiteral("ms")},
        {QStringLiteral("protocol-byte"),
         QStringLiteral("Initial protocol/mode byte: low nibble protocol (1 Ethernet/IP, 2 Modbus "
                        "TCP/IP, 3 DELVOR), high nibble 2 = DM7 (default 0x21)."),
         QStringLiteral("byte")},
        {QStringLiteral("fault"),
         QStringLiteral("Fault for one message code, repeatable: CODE:KIND[=VALUE][,once]."),
         QStringLiteral("spec")},
        {QStringLiteral("reject-block"),
         QStringLiteral("Reject firmware block N (counted from 1) with a device status "
                        "(default 11), repeatable."),
         QStringLiteral("N[:status]")},
        {QStringLiteral("drop-at-block"),
         QStringLiteral("Drop the connection at firmware block N, repeatable."),
         QStringLiteral("N")},
        {QStringLiteral("keep-old-protocol"),
         QStringLiteral("Acknowledge a new protocol but keep the old one.")},
        {QStringLiteral("keep-old-mode"),
         QStringLiteral("Acknowledge a new resolver mode but keep the old one.")},
        {QStringLiteral("refuse-connections"), QStringLiteral("Refuse every connection.")},
        {QStringLiteral("position"), QStringLiteral("Initial resolver position."),
         QStringLiteral("n")},
        {QStringLiteral("pin-position"),
         QStringLiteral("Keep the resolver position still (it moves +1 per status request "
                        "otherwise).")},
    });
}

void Apply(const Options& options, sim::CEncoderSimulator& simulator) {
    for (const auto& spec : options.faults)
        simulator.SetFault(spec.code, spec.fault);
    for (const auto& [block, status] : options.rejectedBlocks)
        simulator.RejectBlock(block, status);
    for (int block : options.droppedBlocks)
        simulator.DropAtBlock(block);
    simulator.SetKeepOldProtocol(options.keepOldProtocol);
    simulator.SetKeepOldMode(options.keepOldMode);
    if (options.position)
        simulator.SetPosition(*options.position);
    simulator.PinPosition(options.pinPosition);
    if (options.refuseConnections)
        simulator.SetRefuseConnections(true);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("rivivozuzuvod-encoder-sim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(res::PackageVersion()));
    QCommandLineParser parser;
    AddOptions(parser);
    parser.process(app);

    QTextStream err(stderr);
    Options options;
    QString error;
    if (!ReadOptions(parser, options, error)) {
        err << error << Qt::endl;
        return 2;
    }
    sim::CEncoderSimulator simulator(options.config);
    if (!simulator.Start()) {
        err << QCoreApplication::applicationName() << ": " << simulator.ErrorString() << Qt::endl;
        return 1;
    }
    Apply(options, simulator);
    QTextStream(stdout) << QCoreApplication::applicationName() << " listening on "
                        << simulator.Address() << ':' << simulator.Port() << Qt::endl;
    return app.exec();
}
