// The command line's parts in-process: address ranges, the progress line, plan checks.
#include "SRecordFile.h"
#include "cli/AddressRange.h"
#include "cli/BatchPlan.h"
#include "cli/MessageCapture.h"
#include "cli/ProgressBar.h"

#include <gtest/gtest.h>

TEST(AddressRangeTest, ParsesCidrBlocksAndFirstLastRangesAndPlainAddresses) {
    const std::tuple<const char*, std::size_t, const char*, const char*> ranges[] = {
        {"127.0.0.0/24", 256, "127.0.0.0", "127.0.0.255"},
        {"127.0.5.77/30", 4, "127.0.5.76", "127.0.5.79"},
        {"127.0.0.9/32", 1, "127.0.0.9", "127.0.0.9"},
        {"127.1.0.0/16", 65536, "127.1.0.0", "127.1.255.255"},
        {"127.0.0.255-127.0.1.1", 3, "127.0.0.255", "127.0.1.1"},
        {"127.0.0.4-127.0.0.4", 1, "127.0.0.4", "127.0.0.4"},
    };
    for (const auto& [text, count, first, last] : ranges) {
        const auto range = CAddressRange::Parse(QLatin1String(text));
        ASSERT_TRUE(range.has_value()) << text;
        ASSERT_EQ(range->size(), count) << text;
        EXPECT_EQ(range->front(), CAddressRange::ParseAddress(QLatin1String(first))) << text;
        EXPECT_EQ(range->back(), CAddressRange::ParseAddress(QLatin1String(last))) << text;
    }
    for (const char* text :
         {"127.0.0.0/15", "127.0.0.0/33", "127.0.0.0/", "127.0.0/24", "127.0.0.5-127.0.0.4",
          "127.0.0.0-127.1.0.0", "127.0.0.1-", "1.2.3.256/32"})
        EXPECT_FALSE(CAddressRange::Parse(QLatin1String(text)).has_value()) << text;
    // Only four decimal parts, never the zero address.
    for (const char* text : {"127.0.0.1", "255.255.255.255"})
        EXPECT_TRUE(CAddressRange::ParseAddress(QLatin1String(text)).has_value()) << text;
    for (const char* text :
         {"0.0.0.0", "1.2.3", "1.2.3.4.5", "1.2.3.+4", "1.2.3.1000", " 1.2.3.4", "1..3.4", ""})
        EXPECT_FALSE(CAddressRange::ParseAddress(QLatin1String(text)).has_value()) << text;
}

TEST(ProgressBarTest, LineShowsPercentBytesSpeedAndTimeLeft) {
    EXPECT_EQ(CProgressBar::Render(51200, 102400, 1000).toStdString(),
              "[############------------]  50%  50.0 KiB / 100.0 KiB  50.0 KiB/s  0:01 left");
    const QString start = CProgressBar::Render(0, 3 * 1024 * 1024, 0);
    EXPECT_TRUE(start.contains(QLatin1String("  0%  0.0 KiB / 3.0 MiB"))) << qPrintable(start);
    EXPECT_TRUE(start.endsWith(QLatin1String("-:-- left"))) << qPrintable(start);
    EXPECT_TRUE(CProgressBar::Render(500, 100, 2000) // more than the total: a full bar
                    .startsWith(QLatin1String("[########################] 100%")));
}

// The whole plan is checked before any device (the batch test reads a good one); FW stands for
// a good firmware file, BAD for a refused one.
TEST(BatchPlanTest, ChecksTheWholePlanBeforeAnyDevice) {
    CMessageCapture::Install();
    const testsupport::FirmwareFolder files(100);
    ASSERT_TRUE(files.written);
    const std::tuple<const char*, ExitCode, const char*> cases[] = {
        {"127.0.0.1,,,,,,,x\n", ExitCode::Usage, "line 1: a row has 1 to 7 columns"},
        {"127.0.0.1\n127.0.0\n", ExitCode::Usage, "line 2: '127.0.0' is not an IPv4 address"},
        {"127.0.0.1,1.2.3.999\n", ExitCode::Usage, "'1.2.3.999'"},
        {"127.0.0.1,,,,profibus\n", ExitCode::Usage, "'profibus'"},
        {"127.0.0.1,,,,,DM7\n", ExitCode::Usage, "'DM7'"},
        {"127.0.0.1\n127.0.0.1,,,,delvor\n", ExitCode::Usage,
         "line 2: the device 127.0.0.1 is listed twice"},
        {"address\n# nothing\n", ExitCode::Usage, "lists no device"},
        {"127.0.0.1,,,,,,FW\n127.0.0.2,,,,,,BAD\n", ExitCode::FileRefused,
         "Unable to read firmware file"},
        {"127.0.0.1,,,,,,none.s19\n", ExitCode::FileRefused, "none.s19"},
    };
    const QString path = files.dir.filePath(QStringLiteral("plan.csv"));
    for (const auto& [text, exit, message] : cases) {
        ASSERT_TRUE(testsupport::WriteFile(
            path, QByteArray(text).replace("FW", "fw.s19").replace("BAD", "broken.s19")));
        CBatchPlan::Problem problem;
        const auto plan = CBatchPlan::Read(path, problem);
        EXPECT_FALSE(plan.has_value()) << text;
        EXPECT_EQ(problem.exit, exit) << text;
        EXPECT_TRUE(problem.message.contains(QLatin1String(message)))
            << qPrintable(problem.message);
    }
}
