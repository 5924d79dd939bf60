// scan and batch against several simulators at once.
#include "CliRunner.h"
#include "LoopbackAddress.h"
#include "SRecordFile.h"
#include "SimulatorSupport.h"
#include "comm/MessageCodes.h"
#include "sim/EncoderSimulator.h"

#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using clitest::CliRun;
using clitest::RunCli;
using testsupport::LoopbackSubnet;
using testsupport::NumberedLoopbackAddress;

namespace {
using Simulators = std::vector<std::unique_ptr<sim::CEncoderSimulator>>;

Simulators StartAt(const QStringList& addresses) {
    Simulators simulators;
    for (const QString& address : addresses) {
        simulators.push_back(
            std::make_unique<sim::CEncoderSimulator>(testsupport::SimulatorConfigAt(address, 20)));
        EXPECT_TRUE(testsupport::Started(*simulators.back()));
    }
    return simulators;
}

QStringList Addresses(const QJsonArray& devices, const char* key) {
    QStringList addresses;
    for (const auto& device : devices)
        addresses << device.toObject()[QLatin1String(key)].toString();
    return addresses;
}

QStringList Hosts(LoopbackSubnet subnet, const std::vector<int>& hosts) {
    QStringList addresses;
    for (const int host : hosts)
        addresses << NumberedLoopbackAddress(subnet, host);
    return addresses;
}
} // namespace

struct ScanCase {
    const char* name;
    LoopbackSubnet subnet; // each case scans a subnet of its own: cases run in parallel
    const char* range;
    int scanned;
    std::vector<int> found;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.name;
}

class CliScanTest : public ::testing::TestWithParam<ScanCase> {
protected:
    // 127.0.110.64 lies just outside the /26; 127.0.110.30 accepts connections but is no
    // encoder.
    void SetUp() override {
        m_simulators = StartAt(Hosts(GetParam().subnet, {40, 3, 63, 17, 64, 30}));
        m_simulators[5]->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    }
    Simulators m_simulators;
};

TEST_P(CliScanTest, FindsExactlyTheEncodersInTheRangeSortedByAddress) {
    const ScanCase& c = GetParam();
    const QStringList expected = Hosts(c.subnet, c.found);
    const CliRun json = RunCli({QStringLiteral("scan"), QLatin1String(c.range),
                                QStringLiteral("--format"), QStringLiteral("json")});
    ASSERT_EQ(json.exitCode, 0) << json.err.toStdString();
    const QJsonObject document = json.Json();
    EXPECT_EQ(document[u"scanned"].toInt(), c.scanned);
    const QJsonArray devices = document[u"devices"].toArray();
    EXPECT_EQ(Addresses(devices, "address"), expected);
    for (const auto& device : devices) {
        EXPECT_EQ(device.toObject()[u"mac"].toString(), QStringLiteral("00:1A:2B:3C:4D:5E"));
        EXPECT_EQ(device.toObject()[u"exec_revision"].toString(), QStringLiteral("C.3"));
        EXPECT_EQ(device.toObject()[u"protocol"].toString(), QStringLiteral("ethernet-ip"));
    }

    const CliRun text = RunCli({QStringLiteral("scan"), QLatin1String(c.range),
                                QStringLiteral("--jobs"), QStringLiteral("8")});
    ASSERT_EQ(text.exitCode, 0);
    const QList<QByteArray> lines = text.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), expected.size() + 2); // heading, rows, summary
    EXPECT_TRUE(lines[0].startsWith("Address")) << lines[0].toStdString();
    for (int i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(lines[i + 1].startsWith((expected[i] + u' ').toUtf8()))
            << lines[i + 1].toStdString();
    EXPECT_EQ(lines.last(), QStringLiteral("%1 of %2 addresses answered as encoders.")
                                .arg(expected.size())
                                .arg(c.scanned)
                                .toUtf8());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliScanTest,
    ::testing::Values(
        ScanCase{"Cidr64", LoopbackSubnet::CliScan, "127.0.110.0/26", 64, {3, 17, 40, 63}},
        ScanCase{"FirstLast", LoopbackSubnet::CliRange, "127.0.112.10-127.0.112.50", 41, {17, 40}}),
    [](const auto& info) { return std::string(info.param.name); });

// Four devices, the last of which cannot be read: the plan runs on the others.
class CliBatchTest : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override {
        m_simulators = StartAt({Host(0), Host(1), Host(2), Host(3)});
        m_simulators[3]->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
        ASSERT_TRUE(testsupport::WriteSRecordFile(m_folder.filePath(QStringLiteral("fw.s19")),
                                                  testsupport::TestImage(3000)));
    }

    // Every test has addresses of its own, so that the tests run in parallel.
    static QString Host(int offset) {
        return testsupport::UniqueLoopbackAddress(testsupport::LoopbackArea::CliBatch, offset);
    }

    QString WritePlan(const QString& firmware) {
        const QString path = m_folder.filePath(QStringLiteral("plan.csv"));
        QFile plan(path);
        EXPECT_TRUE(plan.open(QIODevice::WriteOnly));
        const QString text = QStringLiteral("address,new_ip,mask,gateway,protocol,mode,firmware\n"
                                            "# line comments and blank lines are skipped\n\n"
                                            "%1,,,,modbus-tcp,no-dm7,%5\n"
                                            "%2,%6,,,delvor,,\n"
                                            "%3,,,,,dm7,%5\n"
                                            "%4,,,,modbus-tcp,,\n")
                                 .arg(Host(0), Host(1), Host(2), Host(3), firmware, Host(5));
        plan.write(text.toUtf8());
        return path;
    }

    Simulators m_simulators;
    QTemporaryDir m_folder;
};

// The same result per device whether the devices run one after another or all at once.
TEST_P(CliBatchTest, ThreeDevicesSucceedAndTheFaultyOneFailsAlone) {
    const QString plan = WritePlan(QStringLiteral("fw.s19"));
    const CliRun run =
        RunCli({QStringLiteral("batch"), plan, QStringLiteral("--jobs"),
                QString::number(GetParam()), QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    const QJsonObject document = run.Json();
    EXPECT_FALSE(document[u"ok"].toBool());
    const QJsonArray devices = document[u"devices"].toArray();
    ASSERT_EQ(devices.size(), 4);
    const std::vector<QStringList> steps{
        {QStringLiteral("firmware"), QStringLiteral("protocol"), QStringLiteral("mode")},
        {QStringLiteral("protocol"), QStringLiteral("address")},
        {QStringLiteral("firmware")}, // already DM7: no mode step
        {}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject device = devices[i].toObject();
        EXPECT_EQ(device[u"device"].toString(), Host(i));
        EXPECT_EQ(device[u"ok"].toBool(), i != 3) << i;
        QStringList done;
        for (const auto& step : device[u"steps"].toArray())
            done << step.toString();
        EXPECT_EQ(done, steps[static_cast<std::size_t>(i)]) << i;
    }
    int stepEvents = 0;
    for (const QJsonObject& event : run.JsonLines())
        stepEvents += event[u"event"].toString() == QLatin1String("step") && event[u"ok"].toBool();
    EXPECT_EQ(stepEvents, 6) << "one event per step done";
    EXPECT_EQ(devices[1].toObject()[u"address"].toString(), Host(5));
    EXPECT_EQ(devices[3].toObject()[u"error"].toObject()[u"code"].toString(),
              QStringLiteral("link-failure"));
    EXPECT_TRUE(run.err.contains((Host(3) + QStringLiteral(": ")).toUtf8()));

    // What the devices hold now.
    EXPECT_EQ(m_simulators[0]->Settings().options[3], 0x02) << "Modbus TCP/IP, NO DM7";
    EXPECT_EQ(m_simulators[0]->Identity().execNumber, 4);
    EXPECT_EQ(m_simulators[1]->Address(), Host(5));
    EXPECT_EQ(m_simulators[1]->Settings().options[3], 0x23) << "DELVOR, DM7";
    EXPECT_EQ(m_simulators[2]->Identity().execNumber, 4);
    EXPECT_EQ(m_simulators[2]->Settings().options[3], 0x21);
    EXPECT_TRUE(m_simulators[3]->SetPayloads().empty());
    EXPECT_EQ(m_simulators[3]->RequestCount(MSG_FIRMWARE_BLOCK), 0);
}

TEST_P(CliBatchTest, TextReportIsATableWithOneRowPerDevice) {
    const CliRun run = RunCli({QStringLiteral("batch"), WritePlan(QString()),
                               QStringLiteral("--jobs"), QString::number(GetParam())});
    EXPECT_EQ(run.exitCode, 1);
    const QList<QByteArray> lines = run.out.trimmed().split('\n');
    ASSERT_EQ(lines.size(), 5);
    EXPECT_TRUE(lines[0].startsWith("Address")) << lines[0].toStdString();
    const char* results[] = {"ok", "ok", "ok", "failed"};
    for (int i = 0; i < 4; ++i) {
        const QList<QByteArray> cells = lines[i + 1].simplified().split(' ');
        EXPECT_EQ(cells[0], Host(i).toUtf8());
        EXPECT_EQ(cells[1], QByteArray(results[i])) << lines[i + 1].toStdString();
    }
    EXPECT_TRUE(lines[4].endsWith("link-failure"));
}

TEST_P(CliBatchTest, DryRunChecksThePlanAndSendsNothing) {
    const CliRun good =
        RunCli({QStringLiteral("batch"), WritePlan(QStringLiteral("fw.s19")),
                QStringLiteral("--dry-run"), QStringLiteral("--format"), QStringLiteral("json")});
    EXPECT_EQ(good.exitCode, 0) << good.err.toStdString();
    const QJsonArray devices = good.Json()[u"devices"].toArray();
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(devices[1].toObject()[u"steps"].toArray().size(), 2);

    QFile broken(m_folder.filePath(QStringLiteral("broken.s19")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("S1130000XX\n");
    broken.close();
    const CliRun refused = RunCli({QStringLiteral("batch"), WritePlan(QStringLiteral("broken.s19")),
                                   QStringLiteral("--dry-run")});
    EXPECT_EQ(refused.exitCode, 4) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("Unable to read firmware file")) << refused.err.toStdString();
    const CliRun refusedRun =
        RunCli({QStringLiteral("batch"), WritePlan(QStringLiteral("broken.s19"))});
    EXPECT_EQ(refusedRun.exitCode, 4) << "a plan with a refused file runs on no device";

    for (const auto& simulator : m_simulators)
        EXPECT_EQ(simulator->ConnectionCount(), 0) << simulator->Address().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Jobs, CliBatchTest, ::testing::Values(1, 4),
                         [](const auto& info) { return "Jobs" + std::to_string(info.param); });
