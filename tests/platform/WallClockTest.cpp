#include "platform/WallClock.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdlib>
#include <ctime>

namespace {

// Sets TZ for the test's length and has the C library read it again.
class ZoneScope {
public:
    explicit ZoneScope(const char* zone) : m_had(qEnvironmentVariableIsSet("TZ")) {
        m_before = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
    }
    ~ZoneScope() {
        if (m_had)
            qputenv("TZ", m_before);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_before;
};

} // namespace

// The reading names the same instant as the system clock, with the zone's offset: a fixed
// one, and one with summer time, whose offset depends on the date.
TEST(WallClockTest, ReadsTheLocalTimeWithItsOffset) {
    struct Case {
        const char* zone;
        int winterOffset;
        int summerOffset;
    };
    for (const Case& c :
         {Case{"XYZ-14", 14 * 3600, 14 * 3600}, Case{"CET-1CEST,M3.5.0,M10.5.0/3", 3600, 7200}}) {
        const ZoneScope scope(c.zone);
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const QDateTime reading = platform::LocalWallClock();
        const QDateTime after = QDateTime::currentDateTimeUtc();
        EXPECT_GE(reading.toSecsSinceEpoch(), before.toSecsSinceEpoch()) << c.zone;
        EXPECT_LE(reading.toSecsSinceEpoch(), after.toSecsSinceEpoch()) << c.zone;
        EXPECT_EQ(reading.time().msec(), 0) << c.zone;
        EXPECT_TRUE(reading.offsetFromUtc() == c.winterOffset ||
                    reading.offsetFromUtc() == c.summerOffset)
            << c.zone << " " << reading.offsetFromUtc();
        EXPECT_EQ(reading.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc()) << c.zone;
    }
}
