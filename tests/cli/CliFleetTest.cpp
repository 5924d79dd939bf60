// scan and batch against several simulators at once.
#include "CliRunner.h"
#include "SRecordFile.h"
#include "comm/MessageCodes.h"

#include <vector>

using namespace clitest;
using testsupport::LoopbackSubnet;

namespace {
using Simulators = std::vector<std::unique_ptr<sim::CEncoderSimulator>>;

Simulators StartAt(const QStringList& addresses) {
    Simulators simulators;
    for (const QString& address : addresses)
        simulators.push_back(StartedSimulator(address));
    return simulators;
}

QStringList Hosts(LoopbackSubnet subnet, const std::vector<int>& hosts) {
    QStringList addresses;
    for (const int host : hosts)
        addresses << testsupport::NumberedLoopbackAddress(subnet, host);
    return addresses;
}
} // namespace

// Each range lies in a subnet where nothing else listens. Host 64 lies just outside the /26;
// host 30 accepts connections but is no encoder.
TEST(CliScanTest, FindsExactlyTheEncodersInTheRangeSortedByAddress) {
    const std::tuple<LoopbackSubnet, const char*, int, std::vector<int>> cases[] = {
        {LoopbackSubnet::CliScan, "127.0.110.0/26", 64, {3, 17, 40, 63}},
        {LoopbackSubnet::CliRange, "127.0.112.10-127.0.112.50", 41, {17, 40}},
    };
    for (const auto& [subnet, range, scanned, found] : cases) {
        const Simulators simulators = StartAt(Hosts(subnet, {40, 3, 63, 17, 64, 30}));
        simulators[5]->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
        const QStringList expected = Hosts(subnet, found);
        const CliRun json = Cli("scan %1 --format json", QLatin1String(range));
        ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
        EXPECT_EQ(json.Json()[u"scanned"].toInt(), scanned);
        QStringList addresses;
        for (const auto& value : json.Json()[u"devices"].toArray()) {
            const QJsonObject device = value.toObject();
            addresses << device[u"address"].toString();
            EXPECT_EQ(device[u"mac"].toString(), QStringLiteral("00:1A:2B:3C:4D:5E"));
            EXPECT_EQ(device[u"exec_revision"].toString(), QStringLiteral("C.3"));
            EXPECT_EQ(device[u"protocol"].toString(), QStringLiteral("ethernet-ip"));
        }
        EXPECT_EQ(addresses, expected);

        const CliRun text = Cli("scan %1 --jobs 8", QLatin1String(range));
        ASSERT_EQ(text.exitCode, 0);
        const QList<QByteArray> lines = text.out.trimmed().split('\n');
        ASSERT_EQ(lines.size(), expected.size() + 2); // heading, rows, summary
        EXPECT_TRUE(lines[0].startsWith("Address")) << lines[0].toStdString();
        for (int i = 0; i < expected.size(); ++i)
            EXPECT_TRUE(lines[i + 1].startsWith((expected[i] + u' ').toUtf8()))
                << lines[i + 1].toStdString();
        EXPECT_EQ(lines.last(), QStringLiteral("%1 of %2 addresses answered as encoders.")
                                    .arg(expected.size())
                                    .arg(scanned)
                                    .toUtf8());
    }
}

// Four devices, the last of which cannot be read: the plan runs on the others, with the same
// result per device whether they run one after another or all at once.
class CliBatchTest : public ::testing::TestWithParam<int> {
protected:
    // Addresses of the test's own, so that the tests run in parallel. A fleet starts at
    // `first`; the plan moves its device 1 to first + 5.
    static QString Host(int offset) {
        return testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::CliBatch, offset);
    }
    Simulators StartFleet(int first) {
        Simulators fleet =
            StartAt({Host(first), Host(first + 1), Host(first + 2), Host(first + 3)});
        fleet[3]->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
        return fleet;
    }
    QString Plan(int first, const char* firmware) {
        const QString path = m_files.dir.filePath(QStringLiteral("plan.csv"));
        EXPECT_TRUE(testsupport::WriteFile(
            path, QStringLiteral("address,new_ip,mask,gateway,protocol,mode,firmware\n"
                                 "# line comments and blank lines are skipped\n\n"
                                 "%1,,,,modbus-tcp,no-dm7,%5\n%2,%6,,,delvor,,\n"
                                 "%3,,,,,dm7,%5\n%4,,,,modbus-tcp,,\n")
                      .arg(Host(first), Host(first + 1), Host(first + 2), Host(first + 3),
                           QLatin1String(firmware), Host(first + 5))
                      .toUtf8()));
        return path;
    }
    const testsupport::FirmwareFolder m_files{3000};
};

TEST_P(CliBatchTest, ThreeDevicesSucceedAndTheFaultyOneFailsAlone) {
    ASSERT_TRUE(m_files.written);
    const Simulators fleet = StartFleet(0);
    // A dry run checks the plan and sends nothing; a refused file stops the plan on every device.
    const CliRun dry = Cli("batch %1 --dry-run --format json", Plan(0, "fw.s19"));
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.Json()[u"devices"][1][u"steps"].toArray().size(), 2);
    const CliRun refused = Cli("batch %1 --dry-run", Plan(0, "broken.s19"));
    EXPECT_EQ(refused.exitCode, 4) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("Unable to read firmware file")) << refused.err.toStdString();
    EXPECT_EQ(Cli("batch %1", Plan(0, "broken.s19")).exitCode, 4);
    for (const auto& simulator : fleet)
        EXPECT_EQ(simulator->ConnectionCount(), 0) << simulator->Address().toStdString();

    const CliRun run = Cli("batch %1 --jobs %2 --format json", Plan(0, "fw.s19"), GetParam());
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    EXPECT_FALSE(run.Json()[u"ok"].toBool());
    const QJsonArray devices = run.Json()[u"devices"].toArray();
    ASSERT_EQ(devices.size(), 4);
    const char* steps[] = {"firmware protocol mode", "protocol address",
                           "firmware", // already DM7: no mode step
                           ""};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(devices[i][u"device"].toString(), Host(i));
        EXPECT_EQ(devices[i][u"ok"].toBool(), i != 3) << i;
        QStringList done;
        for (const auto& step : devices[i][u"steps"].toArray())
            done << step.toString();
        EXPECT_EQ(done.join(u' '), QLatin1String(steps[i])) << i;
    }
    int stepEvents = 0;
    for (const QJsonObject& event : run.JsonLines())
        stepEvents += event[u"event"].toString() == QLatin1String("step") && event[u"ok"].toBool();
    EXPECT_EQ(stepEvents, 6) << "one event per step done";
    EXPECT_EQ(devices[1][u"address"].toString(), Host(5));
    EXPECT_EQ(devices[3][u"error"][u"code"].toString(), QStringLiteral("link-failure"));
    EXPECT_TRUE(run.err.contains((Host(3) + QStringLiteral(": ")).toUtf8()));
    // What the devices hold now.
    EXPECT_EQ(fleet[0]->Settings().options[3], 0x02) << "Modbus TCP/IP, NO DM7";
    EXPECT_EQ(fleet[0]->Identity().execNumber, 4);
    EXPECT_EQ(fleet[1]->Address(), Host(5));
    EXPECT_EQ(fleet[1]->Settings().options[3], 0x23) << "DELVOR, DM7";
    EXPECT_EQ(fleet[2]->Identity().execNumber, 4);
    EXPECT_EQ(fleet[2]->Settings().options[3], 0x21);
    EXPECT_TRUE(fleet[3]->SetPayloads().empty());
    EXPECT_EQ(fleet[3]->RequestCount(MSG_FIRMWARE_BLOCK), 0);

    // The text report on a second fleet: a table with one row per device.
    const Simulators second = StartFleet(10);
    const CliRun text = Cli("batch %1 --jobs %2", Plan(10, ""), GetParam());
    EXPECT_EQ(text.exitCode, 1);
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("Address")) << lines[0].toStdString();
    const char* results[] = {"ok", "ok", "ok", "failed"};
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(
            lines[i + 1].simplified().startsWith((Host(10 + i) + u' ').toUtf8() + results[i]))
            << lines[i + 1].toStdString();
    EXPECT_TRUE(lines[4].endsWith("link-failure"));
}

INSTANTIATE_TEST_SUITE_P(Jobs, CliBatchTest, ::testing::Values(1, 4),
                         [](const auto& info) { return "Jobs" + std::to_string(info.param); });
