// Dates and times typed by users, in every field order, and garbage.
#include <gtest/gtest.h>

#include <string>

#include "qz/qzdate.h"
#include "test_dates_support.h"

namespace {

constexpr int32_t kDec7 = 2461382; // 7 December 2026

// Each test runs in an empty directory: no qzcfg.ini, so YearLimit is 40.
class DatesParse : public ::testing::Test {
protected:
    datestest::TempCwd cwd_;
};

TEST_F(DatesParse, EveryOrderWithSeparators)
{
    EXPECT_EQ(QZ_ParseDate("2026-12-07", 0), kDec7);
    EXPECT_EQ(QZ_ParseDate("2026.12.07", 0), kDec7);
    EXPECT_EQ(QZ_ParseDate("12/07/2026", 1), kDec7);
    EXPECT_EQ(QZ_ParseDate("07/12/2026", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("12-07-2026", 3), kDec7);
    EXPECT_EQ(QZ_ParseDate("07.12.2026", 4), kDec7);
    EXPECT_EQ(QZ_ParseDate("   7/12/2026", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("7-8-2026", 4), QZ_DateFromYMD(2026, 8, 7));
    EXPECT_EQ(QZ_ParseDate("2026/1/5", 0), QZ_DateFromYMD(2026, 1, 5));
    EXPECT_EQ(QZ_ParseDate("07/12/26", 9), QZ_DateFromYMD(2007, 12, 26)) << "unknown orders read year first";
    EXPECT_EQ(QZ_ParseDate("2026-12-07", -3), kDec7);
}

TEST_F(DatesParse, FieldsWithoutSeparators)
{
    EXPECT_EQ(QZ_ParseDate("20261207", 0), kDec7);
    EXPECT_EQ(QZ_ParseDate("12072026", 1), kDec7);
    EXPECT_EQ(QZ_ParseDate("07122026", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("071226", 4), kDec7);
    EXPECT_EQ(QZ_ParseDate("2026-1207", 0), kDec7);
}

TEST_F(DatesParse, TwoAndThreeDigitYearsWithTheDefaultLimit)
{
    EXPECT_EQ(QZ_GetYearLimit(), 40);
    EXPECT_EQ(QZ_ParseDate("07/12/26", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("07/12/45", 2), QZ_DateFromYMD(1945, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/39", 2), QZ_DateFromYMD(2039, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/40", 2), QZ_DateFromYMD(1940, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/00", 2), QZ_DateFromYMD(2000, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/99", 2), QZ_DateFromYMD(1999, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/905", 2), QZ_DateFromYMD(1905, 12, 7));
    EXPECT_EQ(QZ_ParseDate("07/12/2026", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("07/12/0026", 2), QZ_DateFromYMD(26, 12, 7)) << "four digits: as written";

    int16_t year = 0;
    for (auto [typed, completed] : {std::pair{0, 2000}, {39, 2039}, {40, 1940}, {99, 1999},
                                    {100, 1100}, {999, 1999}, {1000, 1000}, {-1, 1999}}) {
        year = static_cast<int16_t>(typed);
        QZ_CompleteYear(&year);
        EXPECT_EQ(year, completed) << typed;
    }
    QZ_CompleteYear(nullptr);
    EXPECT_EQ(QZ_DateFromYMDCompleted(26, 12, 7), kDec7);
}

TEST_F(DatesParse, EmptyAndGarbageTexts)
{
    EXPECT_EQ(QZ_ParseDate("  /  /  ", 2), 0);
    EXPECT_EQ(QZ_ParseDate("", 0), 0);
    EXPECT_EQ(QZ_ParseDate(nullptr, 0), 0);
    EXPECT_EQ(QZ_ParseDate("07/12/26x", 2), 0);
    EXPECT_EQ(QZ_ParseDate("07/12/26 x", 2), kDec7) << "a blank ends the date";
    EXPECT_EQ(QZ_ParseDate("07/12/26-", 2), kDec7);
    EXPECT_EQ(QZ_ParseDate("2026-13-07", 0), 0);
    EXPECT_EQ(QZ_ParseDate("2026-02-30", 0), 0);
    EXPECT_EQ(QZ_ParseDate("abc", 0), 0);
    EXPECT_EQ(QZ_ParseDate("\xff\xfe\x80", 1), 0);
    EXPECT_EQ(QZ_ParseDate("99999999999999999999", 0), 0);
    EXPECT_EQ(QZ_ParseDate("----------", 4), 0);
}

TEST_F(DatesParse, Times)
{
    EXPECT_EQ(QZ_ParseTime("10:20:30"), 37230);
    EXPECT_EQ(QZ_ParseTime("10.20.30"), 37230);
    EXPECT_EQ(QZ_ParseTime("102030"), 37230);
    EXPECT_EQ(QZ_ParseTime("1230"), 45000);
    EXPECT_EQ(QZ_ParseTime("  7"), 25200);
    EXPECT_EQ(QZ_ParseTime("7: 5"), 25500);
    EXPECT_EQ(QZ_ParseTime("12:30 am"), 1800);
    EXPECT_EQ(QZ_ParseTime("12:30 PM"), 45000);
    EXPECT_EQ(QZ_ParseTime("1:05:09 pm"), 47109);
    EXPECT_EQ(QZ_ParseTime("1:05:09pm"), 47109);
    EXPECT_EQ(QZ_ParseTime("12 AM"), 0);
    EXPECT_EQ(QZ_ParseTime("11 a"), 39600);
    EXPECT_EQ(QZ_ParseTime("13 pm"), -1);
    EXPECT_EQ(QZ_ParseTime("13 am"), -1);
    EXPECT_EQ(QZ_ParseTime("13"), 46800);
    EXPECT_EQ(QZ_ParseTime("24:00"), -1);
    EXPECT_EQ(QZ_ParseTime("23:60"), -1);
    EXPECT_EQ(QZ_ParseTime("23:59:60"), -1);
    EXPECT_EQ(QZ_ParseTime(""), 0);
    EXPECT_EQ(QZ_ParseTime(nullptr), 0);
    EXPECT_EQ(QZ_ParseTime("xyz"), 0);
    EXPECT_EQ(QZ_ParseTime("-5 pm"), -1);
    EXPECT_EQ(QZ_ParseTime("-1"), -1);
}

TEST_F(DatesParse, DateTimes)
{
    QZ_DateTime dt = QZ_ParseDateTime("2026-12-07 10:20:30", 0);
    EXPECT_EQ(dt.date, kDec7);
    EXPECT_EQ(dt.time, 37230);
    dt = QZ_ParseDateTime("20261207102030", 0);
    EXPECT_EQ(dt.date, kDec7);
    EXPECT_EQ(dt.time, 37230);
    dt = QZ_ParseDateTime("07/12/26-1:05 pm", 2);
    EXPECT_EQ(dt.date, kDec7);
    EXPECT_EQ(dt.time, 46800 + 300);
    dt = QZ_ParseDateTime("07/12/26", 2);
    EXPECT_EQ(dt.date, kDec7);
    EXPECT_EQ(dt.time, 0);

    dt = QZ_ParseDateTime("2026-13-07 10:00", 0); // not a valid date
    EXPECT_EQ(dt.date, -1);
    EXPECT_EQ(dt.time, -1);
    dt = QZ_ParseDateTime("xyz", 0); // no date at all: the empty date at midnight
    EXPECT_EQ(dt.date, 0);
    EXPECT_EQ(dt.time, 0);
    dt = QZ_ParseDateTime("10:20", 0); // no date: the text is read again as the time
    EXPECT_EQ(dt.date, 0);
    EXPECT_EQ(dt.time, 37200);
    dt = QZ_ParseDateTime("  /  /   25:00", 2);
    EXPECT_EQ(dt.date, 0);
    EXPECT_EQ(dt.time, -1);
}

TEST_F(DatesParse, FormattedDatesReadBack)
{
    // Every day over a wide range, written in each layout with a four-digit
    // year and read back in the matching order.
    struct Layout {
        int16_t format, order;
    } layouts[] = {{0, 0}, {3, 1}, {4, 2}, {6, 0}, {7, 0}};
    const int32_t first = QZ_DateFromYMD(1000, 1, 1);
    const int32_t last = QZ_DateFromYMD(9999, 12, 31);
    for (int32_t n = first; n <= last; n += 7) {
        for (const Layout &layout : layouts) {
            char text[32];
            QZ_FormatDate(text, sizeof text - 1, n, layout.format, "/");
            ASSERT_EQ(QZ_ParseDate(text, layout.order), n) << text;
        }
    }
    // Two-digit years come back within the pivot's century.
    for (int16_t year = 1940; year <= 2039; ++year) {
        const int32_t n = QZ_DateFromYMD(year, 2, 28);
        char text[32];
        QZ_FormatDate(text, sizeof text - 1, n, 2, ".");
        ASSERT_EQ(QZ_ParseDate(text, 2), n) << text;
        QZ_FormatDate(text, sizeof text - 1, n, 5, "-");
        // Order 0 reads a four-digit year field: "40-02-28" is year 40, completed.
        ASSERT_EQ(QZ_ParseDate(text, 0), n) << text;
    }
    // Times too, in the 24- and 12-hour layouts.
    for (int32_t t = 0; t < 86400; t += 59) {
        char text[32];
        QZ_FormatTime(text, sizeof text - 1, t, 3, ":");
        ASSERT_EQ(QZ_ParseTime(text), t) << text;
        QZ_FormatTime(text, sizeof text - 1, t, 6, ":");
        ASSERT_EQ(QZ_ParseTime(text), t) << text;
    }
}

} // namespace
