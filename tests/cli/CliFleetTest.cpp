// scan and batch against several simulators at once.
#include "CliRunner.h"
#include "SRecordFile.h"
#include "comm/MessageCodes.h"

#include <vector>

using namespace clitest;
using testsupport::LoopbackSubnet;

namespace {
using Simulators = std::vector<std::unique_ptr<sim::CEncoderSimulator>>;

Simulators StartAt(LoopbackSubnet subnet, const std::vector<int>& hosts) {
    Simulators simulators;
    for (const int host : hosts)
        simulators.push_back(StartedSimulator(testsupport::NumberedLoopbackAddress(subnet, host)));
    return simulators;
}
} // namespace

// Nothing else listens in 127.0.110.x. Host 64 lies just outside the /26; host 30 accepts
// connections but is no encoder.
TEST(CliScanTest, FindsExactlyTheEncodersInTheRangeSortedByAddress) {
    const Simulators simulators = StartAt(LoopbackSubnet::CliScan, {40, 3, 63, 17, 64, 30});
    simulators[5]->SetFault(MSG_GET_STATUS_ID, sim::Fault::NotValidDevice());
    const CliRun json = Cli("scan 127.0.110.0/26 --format json");
    EXPECT_EQ(json.exitCode, 0) << json.err.toStdString();
    EXPECT_EQ(json.out.toStdString(),
              R"({"command":"scan","devices":[)"
              R"({"address":"127.0.110.3","boot_revision":"B.7","exec_revision":"C.3",)"
              R"("hardware_revision":2,"mac":"00:1A:2B:3C:4D:5E","protocol":"ethernet-ip"},)"
              R"({"address":"127.0.110.17","boot_revision":"B.7","exec_revision":"C.3",)"
              R"("hardware_revision":2,"mac":"00:1A:2B:3C:4D:5E","protocol":"ethernet-ip"},)"
              R"({"address":"127.0.110.40","boot_revision":"B.7","exec_revision":"C.3",)"
              R"("hardware_revision":2,"mac":"00:1A:2B:3C:4D:5E","protocol":"ethernet-ip"},)"
              R"({"address":"127.0.110.63","boot_revision":"B.7","exec_revision":"C.3",)"
              R"("hardware_revision":2,"mac":"00:1A:2B:3C:4D:5E","protocol":"ethernet-ip"}],)"
              R"("ok":true,"range":"127.0.110.0/26","scanned":64})"
              "\n");
    const CliRun text = Cli("scan 127.0.110.10-127.0.110.50 --jobs 8");
    EXPECT_EQ(text.exitCode, 0) << text.err.toStdString();
    EXPECT_EQ(
        text.out.toStdString(),
        "Address       MAC address        Protocol     Hardware revision  Boot revision  "
        "Exec revision\n"
        "127.0.110.17  00:1A:2B:3C:4D:5E  Ethernet/IP  2                  B.7            C.3\n"
        "127.0.110.40  00:1A:2B:3C:4D:5E  Ethernet/IP  2                  B.7            C.3\n"
        "2 of 41 addresses answered as encoders.\n");
}

// Four devices at hosts first to first + 3 of 127.0.111.x, the last of which cannot be read:
// the plan runs on the others, all at once or one after another.
TEST(CliBatchTest, ThreeDevicesSucceedAndTheFaultyOneFailsAlone) {
    const testsupport::FirmwareFolder files(3000);
    ASSERT_TRUE(files.written);
    const auto fleet = [](int first) {
        Simulators fleet = StartAt(LoopbackSubnet::Cli, {first, first + 1, first + 2, first + 3});
        fleet[3]->SetFault(MSG_GET_PARAMS, sim::Fault::DeviceError(6));
        return fleet;
    };
    // The plan moves device 1 to first + 5.
    const auto plan = [&files](int first, const char* firmware) {
        const QString path = files.dir.filePath(QStringLiteral("plan.csv"));
        EXPECT_TRUE(testsupport::WriteFile(
            path, QStringLiteral("address,new_ip,mask,gateway,protocol,mode,firmware\n"
                                 "# line comments and blank lines are skipped\n\n"
                                 "%1,,,,modbus-tcp,no-dm7,%5\n%2,%6,,,delvor,,\n"
                                 "%3,,,,,dm7,%5\n%4,,,,modbus-tcp,,\n")
                      .arg(CliAddress(first), CliAddress(first + 1), CliAddress(first + 2),
                           CliAddress(first + 3), QLatin1String(firmware), CliAddress(first + 5))
                      .toUtf8()));
        return path;
    };
    const Simulators devices = fleet(40);
    // A dry run checks the plan and sends nothing; a refused file stops the plan on every device.
    const CliRun dry = Cli("batch %1 --dry-run --format json", plan(40, "fw.s19"));
    EXPECT_EQ(dry.exitCode, 0) << dry.err.toStdString();
    EXPECT_EQ(dry.Json()[u"devices"][1][u"steps"].toArray().size(), 2);
    const CliRun refused = Cli("batch %1", plan(40, "broken.s19"));
    EXPECT_EQ(refused.exitCode, 4) << refused.err.toStdString();
    EXPECT_TRUE(refused.err.contains("Unable to read firmware file")) << refused.err.toStdString();
    for (const auto& simulator : devices)
        EXPECT_EQ(simulator->ConnectionCount(), 0) << simulator->Address().toStdString();

    const CliRun run = Cli("batch %1 --jobs 4 --format json", plan(40, "fw.s19"));
    EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
    // Already DM7: no mode step for device 2.
    EXPECT_EQ(
        run.out.trimmed().split('\n').last().toStdString(),
        R"({"command":"batch","devices":[{"address":"127.0.111.40","device":"127.0.111.40",)"
        R"("ok":true,"steps":["firmware","protocol","mode"]},{"address":"127.0.111.45",)"
        R"("device":"127.0.111.41","ok":true,"steps":["protocol","address"]},)"
        R"({"address":"127.0.111.42","device":"127.0.111.42","ok":true,"steps":["firmware"]},)"
        R"({"address":"127.0.111.43","device":"127.0.111.43","error":{"code":"link-failure",)"
        R"("device":"127.0.111.43","message":"Device is out of memory.","messages":)"
        R"(["Device is out of memory."]},"ok":false,"steps":[]}],"ok":false})");
    int stepEvents = 0;
    for (const QJsonObject& event : run.JsonLines())
        stepEvents += event[u"event"].toString() == QLatin1String("step") && event[u"ok"].toBool();
    EXPECT_EQ(stepEvents, 6) << "one event per step done";
    EXPECT_TRUE(run.err.contains((CliAddress(43) + QStringLiteral(": ")).toUtf8()));
    // What the devices hold now.
    EXPECT_EQ(devices[0]->Settings().options[3], 0x02) << "Modbus TCP/IP, NO DM7";
    EXPECT_EQ(devices[0]->Identity().execNumber, 4);
    EXPECT_EQ(devices[1]->Address(), CliAddress(45));
    EXPECT_EQ(devices[1]->Settings().options[3], 0x23) << "DELVOR, DM7";
    EXPECT_EQ(devices[2]->Identity().execNumber, 4);
    EXPECT_TRUE(devices[3]->SetPayloads().empty());
    EXPECT_EQ(devices[3]->RequestCount(MSG_FIRMWARE_BLOCK), 0);

    // One after another on a second fleet, with the text report: one row per device.
    const Simulators second = fleet(50);
    const CliRun text = Cli("batch %1 --jobs 1", plan(50, ""));
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_EQ(text.out.toStdString(),
              "Address       Result  Steps             IP address    Error\n"
              "127.0.111.50  ok      protocol mode     127.0.111.50  \n"
              "127.0.111.51  ok      protocol address  127.0.111.55  \n"
              "127.0.111.52  ok      -                 127.0.111.52  \n"
              "127.0.111.53  failed  -                 127.0.111.53  "
              "link-failure\n");
}
