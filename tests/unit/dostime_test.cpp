// MS-DOS time stamps of the writer: local time, 2-second steps, clamped.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "sfxpack/common/dostime.h"

namespace {

using sfxpack::DosDateTimeFromUnix;
using sfxpack::FormatDosDateTime;

uint32_t Dos(int year, int month, int day, int hour, int minute, int second)
{
    return uint32_t((year - 1980) << 9 | month << 5 | day) | uint32_t(hour << 11 | minute << 5 | second / 2) << 16;
}

class DosTime : public testing::Test {
protected:
    void Zone(const char *zone)
    {
        setenv("TZ", zone, 1);
        tzset();
    }
    void TearDown() override { Zone("UTC0"); }
};

TEST_F(DosTime, OddSecondsRoundDown)
{
    Zone("UTC0");
    EXPECT_EQ(DosDateTimeFromUnix(1614834367), Dos(2021, 3, 4, 5, 6, 6));  // 2021-03-04 05:06:07
    EXPECT_EQ(DosDateTimeFromUnix(1614834366), Dos(2021, 3, 4, 5, 6, 6));
    EXPECT_EQ(DosDateTimeFromUnix(951868799), Dos(2000, 2, 29, 23, 59, 58));  // leap day, :59
    EXPECT_EQ(FormatDosDateTime(DosDateTimeFromUnix(951868799)), "2000-02-29 23:59:58");
}

TEST_F(DosTime, ClampsToTheRangeOfTheFormat)
{
    Zone("UTC0");
    const uint32_t earliest = 0x00000021, latest = 0xBF7DFF9F;
    EXPECT_EQ(Dos(2107, 12, 31, 23, 59, 58), latest);
    EXPECT_EQ(DosDateTimeFromUnix(315532800), earliest);  // 1980-01-01 00:00:00
    EXPECT_EQ(DosDateTimeFromUnix(315532801), earliest);
    EXPECT_EQ(DosDateTimeFromUnix(315532799), earliest);
    EXPECT_EQ(DosDateTimeFromUnix(0), earliest);
    EXPECT_EQ(DosDateTimeFromUnix(-86400LL * 365 * 1000), earliest);
    EXPECT_EQ(DosDateTimeFromUnix(4354819198LL), latest);  // 2107-12-31 23:59:58
    EXPECT_EQ(DosDateTimeFromUnix(4354819199LL), latest);
    EXPECT_EQ(DosDateTimeFromUnix(4354819200LL), latest);  // 2108-01-01
    EXPECT_EQ(DosDateTimeFromUnix(INT64_MAX), latest);
    EXPECT_EQ(DosDateTimeFromUnix(INT64_MIN), earliest);
    EXPECT_EQ(FormatDosDateTime(earliest), "1980-01-01 00:00:00");
    EXPECT_EQ(FormatDosDateTime(latest), "2107-12-31 23:59:58");
}

TEST_F(DosTime, UsesTheLocalTimeOfTheBuildMachine)
{
    Zone("JST-9");
    EXPECT_EQ(DosDateTimeFromUnix(1614834367), Dos(2021, 3, 4, 14, 6, 6));
    // 1979-12-31 15:00:00 UTC is already 1980 in Tokyo: not clamped.
    EXPECT_EQ(DosDateTimeFromUnix(315500400), Dos(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(DosDateTimeFromUnix(315500400 + 3), Dos(1980, 1, 1, 0, 0, 2));
    EXPECT_EQ(DosDateTimeFromUnix(315500399), Dos(1980, 1, 1, 0, 0, 0));
}

TEST(FormatDosDateTime, ShowsTheStoredFieldsEvenWhenInvalid)
{
    EXPECT_EQ(FormatDosDateTime(0), "1980-00-00 00:00:00");
    EXPECT_EQ(FormatDosDateTime(0xFFFFFFFF), "2107-15-31 31:63:62");
}

}  // namespace
