// The command line's parts in-process: address ranges, the progress line, plan checks.
#include "SRecordFile.h"
#include "cli/AddressRange.h"
#include "cli/BatchPlan.h"
#include "cli/MessageCapture.h"
#include "cli/ProgressBar.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

struct RangeCase {
    const char* text;
    std::size_t count; // 0: refused
    const char* first;
    const char* last;
};

class AddressRangeTest : public ::testing::TestWithParam<RangeCase> {};

TEST_P(AddressRangeTest, ParsesCidrBlocksAndFirstLastRanges) {
    const RangeCase& c = GetParam();
    const auto range = CAddressRange::Parse(QLatin1String(c.text));
    if (c.count == 0) {
        EXPECT_FALSE(range.has_value());
        return;
    }
    ASSERT_TRUE(range.has_value());
    ASSERT_EQ(range->size(), c.count);
    EXPECT_EQ(range->front(), CAddressRange::ParseAddress(QLatin1String(c.first)));
    EXPECT_EQ(range->back(), CAddressRange::ParseAddress(QLatin1String(c.last)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressRangeTest,
    ::testing::Values(RangeCase{"127.0.0.0/24", 256, "127.0.0.0", "127.0.0.255"},
                      RangeCase{"127.0.5.77/30", 4, "127.0.5.76", "127.0.5.79"},
                      RangeCase{"127.0.0.9/32", 1, "127.0.0.9", "127.0.0.9"},
                      RangeCase{"127.1.0.0/16", 65536, "127.1.0.0", "127.1.255.255"},
                      RangeCase{"127.0.0.255-127.0.1.1", 3, "127.0.0.255", "127.0.1.1"},
                      RangeCase{"127.0.0.4-127.0.0.4", 1, "127.0.0.4", "127.0.0.4"},
                      RangeCase{"127.0.0.0/15", 0, "", ""}, RangeCase{"127.0.0.0/33", 0, "", ""},
                      RangeCase{"127.0.0.0/", 0, "", ""}, RangeCase{"127.0.0/24", 0, "", ""},
                      RangeCase{"127.0.0.5-127.0.0.4", 0, "", ""},
                      RangeCase{"127.0.0.0-127.1.0.0", 0, "", ""},
                      RangeCase{"127.0.0.1-", 0, "", ""}, RangeCase{"1.2.3.256/32", 0, "", ""}));

TEST(AddressTest, TakesOnlyFourDecimalPartsAndNeverTheZeroAddress) {
    const std::vector<std::pair<const char*, bool>> cases{
        {"127.0.0.1", true},   {"255.255.255.255", true},
        {"0.0.0.0", false},    {"1.2.3", false},
        {"1.2.3.4.5", false},  {"1.2.3.+4", false},
        {"1.2.3.1000", false}, {" 1.2.3.4", false},
        {"1..3.4", false},     {"", false}};
    for (const auto& [text, valid] : cases)
        EXPECT_EQ(CAddressRange::ParseAddress(QLatin1String(text)).has_value(), valid) << text;
}

TEST(ProgressBarTest, LineShowsPercentBytesSpeedAndTimeLeft) {
    const QString half = CProgressBar::Render(51200, 102400, 1000);
    EXPECT_TRUE(half.startsWith(QStringLiteral("[############------------]  50%")))
        << qPrintable(half);
    EXPECT_TRUE(half.contains(QStringLiteral("50.0 KiB / 100.0 KiB  50.0 KiB/s  0:01 left")))
        << qPrintable(half);
    const QString start = CProgressBar::Render(0, 3 * 1024 * 1024, 0);
    EXPECT_TRUE(start.contains(QStringLiteral("  0%  0.0 KiB / 3.0 MiB"))) << qPrintable(start);
    EXPECT_TRUE(start.endsWith(QStringLiteral("-:-- left"))) << qPrintable(start);
    const QString over = CProgressBar::Render(500, 100, 2000);
    EXPECT_TRUE(over.startsWith(QStringLiteral("[########################] 100%")))
        << qPrintable(over);
}

struct PlanCase {
    const char* name;
    const char* text; // FW stands for a good firmware file, BAD for a refused one
    ExitCode exit;
    const char* problem; // empty: the plan is accepted
    std::size_t rows;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

class BatchPlanTest : public ::testing::TestWithParam<PlanCase> {
protected:
    void SetUp() override { CMessageCapture::Install(); }
    QTemporaryDir m_folder;
};

TEST_P(BatchPlanTest, ChecksTheWholePlanBeforeAnyDevice) {
    const PlanCase& c = GetParam();
    ASSERT_TRUE(testsupport::WriteSRecordFile(m_folder.filePath(QStringLiteral("fw.s19")),
                                              testsupport::TestImage(100)));
    QFile bad(m_folder.filePath(QStringLiteral("bad.s19")));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("S1130000XX\n");
    bad.close();
    const QString path = m_folder.filePath(QStringLiteral("plan.csv"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(c.text).replace("FW", "fw.s19").replace("BAD", "bad.s19"));
    file.close();

    CBatchPlan::Problem problem;
    const auto plan = CBatchPlan::Read(path, problem);
    if (*c.problem == '\0') {
        ASSERT_TRUE(plan.has_value()) << qPrintable(problem.message);
        EXPECT_EQ(plan->Rows().size(), c.rows);
        EXPECT_EQ(plan->FirmwareBytes(), 100 * static_cast<qint64>(c.rows));
        return;
    }
    EXPECT_FALSE(plan.has_value());
    EXPECT_EQ(problem.exit, c.exit);
    EXPECT_TRUE(problem.message.contains(QLatin1String(c.problem))) << qPrintable(problem.message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchPlanTest,
    ::testing::Values(
        PlanCase{"HeadingCommentsAndRelativeFirmware",
                 "address,new_ip,mask,gateway,protocol,mode,firmware\n# c\n\n127.0.0.1,,,,,,FW\r\n"
                 "127.0.0.2,127.0.0.3,255.0.0.0,127.0.0.1,delvor,no-dm7,FW\n",
                 ExitCode::Success, "", 2},
        PlanCase{"TooManyColumns", "127.0.0.1,,,,,,,x\n", ExitCode::Usage,
                 "line 1: a row has 1 to 7 columns", 0},
        PlanCase{"BadAddress", "127.0.0.1\n127.0.0\n", ExitCode::Usage,
                 "line 2: '127.0.0' is not an IPv4 address", 0},
        PlanCase{"BadNewIp", "127.0.0.1,1.2.3.999\n", ExitCode::Usage, "'1.2.3.999'", 0},
        PlanCase{"BadProtocol", "127.0.0.1,,,,profibus\n", ExitCode::Usage, "'profibus'", 0},
        PlanCase{"BadMode", "127.0.0.1,,,,,DM7\n", ExitCode::Usage, "'DM7'", 0},
        PlanCase{"DeviceTwice", "127.0.0.1\n127.0.0.1,,,,delvor\n", ExitCode::Usage,
                 "line 2: the device 127.0.0.1 is listed twice", 0},
        PlanCase{"NoDevice", "address\n# nothing\n", ExitCode::Usage, "lists no device", 0},
        PlanCase{"RefusedFirmware", "127.0.0.1,,,,,,FW\n127.0.0.2,,,,,,BAD\n",
                 ExitCode::FileRefused, "Unable to read firmware file", 0},
        PlanCase{"MissingFirmware", "127.0.0.1,,,,,,none.s19\n", ExitCode::FileRefused, "none.s19",
                 0}),
    [](const auto& info) { return std::string(info.param.name); });
