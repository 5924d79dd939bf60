#include "commdll/CommStatus.h"
#include "commdll/SerialComm.h"
#include "sim/FaultSpec.h"

#include "tests/commdll/RequestRunner.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <tuple>

using sim::FaultKind;
using testsupport::RunRequest;

// The encoder-sim program as a user starts it; addresses 127.0.2.150 and up.
namespace {

struct SimProcess {
    explicit SimProcess(const QString& commandLine) {
        process.start(QStringLiteral(ENCODER_SIM_PATH), commandLine.split(u' '));
    }
    ~SimProcess() {
        process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
};

} // namespace

TEST(EncoderSimProgram, RunsWithFaultsAndSettingsFromTheCommandLine) {
    SimProcess sim(QStringLiteral("--address 127.0.2.150 --protocol-byte 0x02 --fault 47:error=14 "
                                  "--fault 43:badchecksum,once --position -5 --pin-position"));
    QByteArray output;
    ASSERT_TRUE(testsupport::WaitFor([&] {
        output += sim.process.readAllStandardOutput();
        return output.contains("listening on 127.0.2.150:49999");
    })) << output.toStdString()
        << sim.process.readAllStandardError().toStdString();
    CSerialComm link;
    testsupport::OpenLink(link, QStringLiteral("127.0.2.150"));
    EXPECT_EQ(RunRequest(link, 0x2F, false).status, 14u);
    EXPECT_EQ(RunRequest(link, 0x2B, true, testsupport::Hex("01")).status, COMM_ERROR_CHECKSUM);
    EXPECT_EQ(RunRequest(link, 0x2B, true, testsupport::Hex("01")).reply.toHex().right(2), "02");
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(RunRequest(link, 0x12, false).reply.mid(22, 4).toHex(), QByteArray("fffffffb"));
}

// Bad command lines end at once with an error and exit code; the help names every option.
TEST(EncoderSimProgram, RefusesBadCommandLinesAndHelpNamesTheOptions) {
    for (const char* line : {"--address 192.168.0.20", "--address 127.0.2.151 --fault 18:sleep",
                             "--address 127.0.2.151 --port 70000"}) {
        SimProcess sim(QString::fromLatin1(line));
        ASSERT_TRUE(sim.process.waitForFinished(10000)) << line;
        EXPECT_NE(sim.process.exitCode(), 0) << line;
        EXPECT_FALSE(sim.process.readAllStandardError().isEmpty()) << line;
    }
    SimProcess sim(QStringLiteral("--help"));
    ASSERT_TRUE(sim.process.waitForFinished(10000));
    const QByteArray help = sim.process.readAllStandardOutput();
    for (const char* option :
         {"--address", "--port", "--restart-ms", "--boot-delay-ms", "--exec-delay-ms",
          "--protocol-byte", "--fault", "--reject-block", "--drop-at-block", "--keep-old-protocol",
          "--keep-old-mode", "--refuse-connections", "noreply", "failfirst"})
        EXPECT_TRUE(help.contains(option)) << option;
}

// The --fault syntax.
TEST(FaultSpec, ParsesTheCommandLineSyntaxAndRefusesTheRest) {
    // text, code, kind, value, persistent
    const std::tuple<const char*, BYTE, FaultKind, int, bool> rows[] = {
        {"18:noreply", 18, FaultKind::NoReply, 0, true},
        {"0x2B:slow=800", 0x2B, FaultKind::SlowReply, 800, true},
        {"47:error=11,once", 47, FaultKind::DeviceError, 11, false},
        {"18:notvalid", 18, FaultKind::NotValidDevice, 0, true},
        {"43:badchecksum", 43, FaultKind::BadChecksum, 0, true},
        {"43:wrongcode,once", 43, FaultKind::WrongCode, 0, false},
        {"43:wrongsequence", 43, FaultKind::WrongSequence, 0, true},
        {"43:shortreply", 43, FaultKind::ShortReply, 0, true},
        {"26:drop", 26, FaultKind::DropConnection, 0, true},
        {"42:failfirst", 42, FaultKind::FailFirstAttempt, 0, false},
        {"1:NoReply", 1, FaultKind::NoReply, 0, true},
    };
    QString error;
    for (const auto& row : rows) {
        const char* text = std::get<0>(row);
        const auto spec = sim::FaultSpec::Parse(QString::fromLatin1(text), &error);
        ASSERT_TRUE(spec.has_value()) << text << ": " << error.toStdString();
        EXPECT_EQ(std::tuple(text, spec->code, spec->fault.kind, spec->fault.value,
                             spec->fault.persistent),
                  row);
    }
    for (const char* text : {"", "noreply", ":noreply", "256:noreply", "18:", "18:sleep", "18:slow",
                             "18:noreply=5", "18:error=0", "18:error=300", "18:slow=x",
                             "18:noreply,twice", "18:slow=1=2", "-1:drop"}) {
        error.clear();
        EXPECT_FALSE(sim::FaultSpec::Parse(QString::fromLatin1(text), &error).has_value()) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}
