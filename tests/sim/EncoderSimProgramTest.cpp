#include "commdll/CommStatus.h"
#include "commdll/SerialComm.h"

#include "tests/commdll/RequestRunner.h"

#include <gtest/gtest.h>

#include <QProcess>

using testsupport::Hex;
using testsupport::OpenLink;
using testsupport::RunRequest;

// The encoder-sim program as a user starts it; addresses 127.0.2.150 and up.
namespace {

struct SimProcess {
    explicit SimProcess(const QStringList& arguments) {
        process.setProgram(QStringLiteral(ENCODER_SIM_PATH));
        process.setArguments(arguments);
        process.start();
    }
    ~SimProcess() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool WaitUntilListening() {
        return testsupport::WaitFor(
                   [&] {
                       output += process.readAllStandardOutput();
                       return output.contains("listening on") ||
                              process.state() == QProcess::NotRunning;
                   },
                   10000) &&
               output.contains("listening on");
    }
    QProcess process;
    QByteArray output;
};

} // namespace

TEST(EncoderSimProgram, RunsWithFaultsAndSettingsFromTheCommandLine) {
    SimProcess sim({QStringLiteral("--address"), QStringLiteral("127.0.2.150"),
                    QStringLiteral("--protocol-byte"), QStringLiteral("0x02"),
                    QStringLiteral("--fault"), QStringLiteral("47:error=14"),
                    QStringLiteral("--fault"), QStringLiteral("43:badchecksum,once"),
                    QStringLiteral("--position"), QStringLiteral("-5"),
                    QStringLiteral("--pin-position")});
    ASSERT_TRUE(sim.WaitUntilListening()) << sim.process.readAllStandardError().toStdString();
    EXPECT_TRUE(sim.output.contains("127.0.2.150:49999"));
    CSerialComm link;
    OpenLink(link, QStringLiteral("127.0.2.150"));
    EXPECT_EQ(RunRequest(link, 0x2F, false).status, 14u);
    EXPECT_EQ(RunRequest(link, 0x2B, true, Hex("01")).status, COMM_ERROR_CHECKSUM);
    const auto params = RunRequest(link, 0x2B, true, Hex("01"));
    ASSERT_EQ(params.reply.size(), 21);
    EXPECT_EQ(static_cast<BYTE>(params.reply[20]), 0x02);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(RunRequest(link, 0x12, false).reply.mid(22, 4).toHex(), QByteArray("fffffffb"));
}

TEST(EncoderSimProgram, RefusesAddressesOutsideLoopbackAndBadOptions) {
    const QStringList badCommandLines[] = {
        {QStringLiteral("--address"), QStringLiteral("192.168.0.20")},
        {QStringLiteral("--address"), QStringLiteral("127.0.2.151"), QStringLiteral("--fault"),
         QStringLiteral("18:sleep")},
        {QStringLiteral("--address"), QStringLiteral("127.0.2.151"), QStringLiteral("--port"),
         QStringLiteral("70000")},
    };
    for (const auto& arguments : badCommandLines) {
        SCOPED_TRACE(arguments.join(QLatin1Char(' ')).toStdString());
        SimProcess sim(arguments);
        ASSERT_TRUE(sim.process.waitForFinished(10000));
        EXPECT_NE(sim.process.exitCode(), 0);
        EXPECT_FALSE(sim.process.readAllStandardError().isEmpty());
    }
}

TEST(EncoderSimProgram, HelpNamesTheOptions) {
    SimProcess sim({QStringLiteral("--help")});
    ASSERT_TRUE(sim.process.waitForFinished(10000));
    const QByteArray help = sim.process.readAllStandardOutput();
    for (const char* option :
         {"--address", "--port", "--restart-ms", "--boot-delay-ms", "--exec-delay-ms",
          "--protocol-byte", "--fault", "--reject-block", "--drop-at-block", "--keep-old-protocol",
          "--keep-old-mode", "--refuse-connections", "noreply", "failfirst"})
        EXPECT_TRUE(help.contains(option)) << option;
}
