// Day numbers and times of day against independently known values.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

#include "qz/qzdate.h"

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil), written independently of the runtime's formula.
int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

constexpr int64_t kJulianDayOfEpoch = 2440588; // 1970-01-01

struct Ymd {
    int16_t y, m, d;
};

Ymd Parts(int32_t date)
{
    Ymd p{-7, -7, -7};
    QZ_DateToYMD(date, &p.y, &p.m, &p.d);
    return p;
}

TEST(DatesCalendar, KnownDayNumbers)
{
    EXPECT_EQ(QZ_DateFromYMD(2000, 1, 1), 2451545);
    EXPECT_EQ(QZ_DateFromYMD(1970, 1, 1), 2440588);
    EXPECT_EQ(QZ_DateFromYMD(1858, 11, 17), 2400001);
    EXPECT_EQ(QZ_DateFromYMD(1582, 10, 15), 2299161);
    EXPECT_EQ(QZ_DateFromYMD(2026, 12, 7), 2461382);
    EXPECT_EQ(QZ_DateFromYMD(9999, 12, 31), 5373484);
    EXPECT_EQ(QZ_DateFromYMD(1, 1, 2), 1721427);

    const Ymd p = Parts(2461382);
    EXPECT_EQ(p.y, 2026);
    EXPECT_EQ(p.m, 12);
    EXPECT_EQ(p.d, 7);
    EXPECT_EQ(QZ_DayOfWeek(2461382), 2); // a Monday
    EXPECT_EQ(QZ_DayOfWeek(2451545), 7); // 1 January 2000 was a Saturday
    EXPECT_EQ(QZ_DayOfWeek(2440588), 5); // 1 January 1970 was a Thursday
    EXPECT_EQ(QZ_Year(2461382), 2026);
    EXPECT_EQ(QZ_Month(2461382), 12);
    EXPECT_EQ(QZ_DayOfMonth(2461382), 7);
}

TEST(DatesCalendar, EveryDayRoundTripsAndMatchesAnIndependentCalendar)
{
    const int32_t first = QZ_DateFromYMD(1, 1, 2);
    const int32_t last = QZ_DateFromYMD(QZ_DATE_MAX_YEAR, 12, 31);
    ASSERT_GT(last, first);
    int16_t weekday = QZ_DayOfWeek(first);
    for (int32_t n = first; n <= last; ++n) {
        int16_t y = 0, m = 0, d = 0;
        QZ_DateToYMD(n, &y, &m, &d);
        if (QZ_IsValidDate(y, m, d) != 1 || QZ_DateFromYMD(y, m, d) != n ||
            DaysFromCivil(y, m, d) + kJulianDayOfEpoch != n || QZ_DayOfWeek(n) != weekday) {
            FAIL() << "day " << n << " -> " << y << "-" << m << "-" << d;
        }
        weekday = static_cast<int16_t>(weekday % 7 + 1);
    }
}

TEST(DatesCalendar, Validity)
{
    EXPECT_EQ(QZ_IsValidDate(1, 1, 1), 1);
    EXPECT_EQ(QZ_DateFromYMD(1, 1, 1), 0); // 1/1/1 is the empty date
    EXPECT_EQ(QZ_DateFromYMD(1900, 2, 29), 0);
    EXPECT_NE(QZ_DateFromYMD(2000, 2, 29), 0);
    EXPECT_NE(QZ_DateFromYMD(2024, 2, 29), 0);
    EXPECT_EQ(QZ_DateFromYMD(2023, 2, 29), 0);
    EXPECT_EQ(QZ_DateFromYMD(2000, 2, 30), 0);
    EXPECT_EQ(QZ_DateFromYMD(2001, 4, 31), 0);
    EXPECT_NE(QZ_DateFromYMD(2001, 4, 30), 0);
    for (int16_t m : {1, 3, 5, 7, 8, 10, 12})
        EXPECT_NE(QZ_DateFromYMD(2001, m, 31), 0) << m;
    for (int16_t m : {4, 6, 9, 11})
        EXPECT_EQ(QZ_DateFromYMD(2001, m, 31), 0) << m;
    EXPECT_EQ(QZ_IsValidDate(0, 1, 1), 0);
    EXPECT_EQ(QZ_IsValidDate(-5, 1, 1), 0);
    EXPECT_EQ(QZ_IsValidDate(2001, 0, 1), 0);
    EXPECT_EQ(QZ_IsValidDate(2001, 13, 1), 0);
    EXPECT_EQ(QZ_IsValidDate(2001, 1, 0), 0);
    EXPECT_EQ(QZ_IsValidDate(2001, 1, 32), 0);
    EXPECT_EQ(QZ_IsValidDate(INT16_MIN, INT16_MIN, INT16_MIN), 0);
    EXPECT_EQ(QZ_IsValidDate(INT16_MAX, 12, 31), 1);
}

TEST(DatesCalendar, NumbersWithoutADateDecomposeAsTheEmptyDate)
{
    for (int32_t n : {0, -1, 1, 1721059, 1721060, 1721425, INT32_MIN, INT32_MAX,
                      QZ_DateFromYMD(QZ_DATE_MAX_YEAR, 12, 31) + 1}) {
        const Ymd p = Parts(n);
        EXPECT_EQ(p.y, 1) << n;
        EXPECT_EQ(p.m, 1) << n;
        EXPECT_EQ(p.d, 1) << n;
    }
    const Ymd last = Parts(QZ_DateFromYMD(QZ_DATE_MAX_YEAR, 12, 31));
    EXPECT_EQ(last.y, QZ_DATE_MAX_YEAR);
    EXPECT_EQ(Parts(1721426).y, 1); // 1/1/1 itself
    EXPECT_EQ(QZ_DayOfWeek(0), 0);
    EXPECT_EQ(QZ_DayOfWeek(-100), 0);
    EXPECT_EQ(QZ_DayOfWeek(INT32_MIN), 0);
    EXPECT_GE(QZ_DayOfWeek(INT32_MAX), 1);
    QZ_DateToYMD(2461382, nullptr, nullptr, nullptr); // outputs are optional
}

TEST(DatesCalendar, TimesOfDay)
{
    EXPECT_EQ(QZ_TimeFromHMS(0, 0, 0), 0);
    EXPECT_EQ(QZ_TimeFromHMS(10, 20, 30), 37230);
    EXPECT_EQ(QZ_TimeFromHMS(23, 59, 59), 86399);
    EXPECT_EQ(QZ_TimeFromHMS(24, 0, 0), -1);
    EXPECT_EQ(QZ_TimeFromHMS(0, 60, 0), -1);
    EXPECT_EQ(QZ_TimeFromHMS(0, 0, 60), -1);
    EXPECT_EQ(QZ_TimeFromHMS(-1, 0, 0), -1);
    EXPECT_EQ(QZ_TimeFromHMS(0, -1, 0), -1);
    EXPECT_EQ(QZ_TimeFromHMS(0, 0, -1), -1);

    for (int32_t t = 0; t < 86400; ++t) {
        int16_t h = -1, m = -1, s = -1;
        QZ_TimeToHMS(t, &h, &m, &s);
        ASSERT_EQ(QZ_TimeFromHMS(h, m, s), t);
    }
    for (int32_t t : {-1, 86400, INT32_MIN, INT32_MAX}) {
        int16_t h = -1, m = -1, s = -1;
        QZ_TimeToHMS(t, &h, &m, &s);
        EXPECT_EQ(h, 0);
        EXPECT_EQ(m, 0);
        EXPECT_EQ(s, 0);
    }

    const QZ_DateTime dt = QZ_DateTimeFromParts(2026, 12, 7, 10, 20, 30);
    EXPECT_EQ(dt.date, 2461382);
    EXPECT_EQ(dt.time, 37230);
    const QZ_DateTime bad = QZ_DateTimeFromParts(2026, 2, 30, 25, 0, 0);
    EXPECT_EQ(bad.date, 0);
    EXPECT_EQ(bad.time, -1);
    EXPECT_EQ(QZ_NullDateTime.date, 0);
    EXPECT_EQ(QZ_NullDateTime.time, 0);
}

TEST(DatesCalendar, CompareOrdersByDateThenTime)
{
    EXPECT_EQ(QZ_CompareDateTime(10, 500, 10, 500), 0);
    EXPECT_EQ(QZ_CompareDateTime(10, 500, 11, 0), -1);
    EXPECT_EQ(QZ_CompareDateTime(11, 0, 10, 86399), 1);
    EXPECT_EQ(QZ_CompareDateTime(10, 1, 10, 2), -1);
    EXPECT_EQ(QZ_CompareDateTime(10, 2, 10, -1), 1);
    EXPECT_EQ(QZ_CompareDateTime(INT32_MIN, 0, INT32_MAX, 0), -1);
}

} // namespace
