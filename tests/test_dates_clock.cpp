// The local clock and file modification times.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>

#include <cstring>
#include <ctime>
#include <fstream>
#include <string>

#include "qz/qzdate.h"
#include "test_dates_support.h"

namespace {

int32_t LocalDate(std::time_t when)
{
    std::tm tm{};
    localtime_r(&when, &tm);
    return QZ_DateFromYMD(static_cast<int16_t>(tm.tm_year + 1900),
                          static_cast<int16_t>(tm.tm_mon + 1), static_cast<int16_t>(tm.tm_mday));
}

TEST(DatesClock, TodayAndNowFollowTheLocalClock)
{
    const std::time_t before = std::time(nullptr);
    const int32_t today = QZ_Today();
    const QZ_DateTime now = QZ_Now();
    const std::string text = QZ_CurrentTimeText();
    const std::time_t after = std::time(nullptr);

    EXPECT_TRUE(today == LocalDate(before) || today == LocalDate(after));
    EXPECT_TRUE(now.date == LocalDate(before) || now.date == LocalDate(after));
    ASSERT_EQ(text.size(), 8u);
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
    EXPECT_GE(QZ_ParseTime(text.c_str()), 0);

    std::tm tm{};
    localtime_r(&before, &tm);
    const int32_t earliest = tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
    // Unless midnight passed in between, the time lies within the readings.
    if (now.date == LocalDate(before)) {
        EXPECT_GE(now.time, earliest);
        EXPECT_LE(now.time, earliest + static_cast<int32_t>(after - before) + 1);
    }
}

TEST(DatesClock, FileModificationTimeInLocalTime)
{
    datestest::TempCwd cwd;
    const std::string file = cwd.path("page.htm");
    std::ofstream(file) << "x";

    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 11;
    local.tm_mday = 7;
    local.tm_hour = 10;
    local.tm_min = 20;
    local.tm_sec = 30;
    local.tm_isdst = -1;
    const std::time_t when = std::mktime(&local);
    const timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);

    const QZ_DateTime dt = QZ_FileDateTime(file.c_str());
    EXPECT_EQ(dt.date, 2461382);
    EXPECT_EQ(dt.time, 37230);

    const QZ_DateTime missing = QZ_FileDateTime(cwd.path("missing.htm").c_str());
    EXPECT_EQ(missing.date, 0);
    EXPECT_EQ(missing.time, 0);
    const QZ_DateTime none = QZ_FileDateTime(nullptr);
    EXPECT_EQ(none.date, 0);
    EXPECT_EQ(none.time, 0);
    // A directory can be examined too.
    EXPECT_NE(QZ_FileDateTime(cwd.dir().c_str()).date, 0);
}

} // namespace
