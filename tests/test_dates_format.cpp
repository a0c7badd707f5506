// Dates and times as text: every layout, the empty date, and buffer bounds.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "qz/qzdate.h"

namespace {

constexpr int32_t kDec7 = 2461382; // 7 December 2026

std::string Date(int32_t date, int16_t code, const char *sep)
{
    char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    return QZ_FormatDate(buffer, sizeof buffer - 1, date, code, sep);
}

std::string Time(int32_t time, int16_t code, const char *sep)
{
    char buffer[64] = "untouched";
    return QZ_FormatTime(buffer, sizeof buffer - 1, time, code, sep);
}

// The layouts themselves are checked against printf below; here the
// separators and the codes outside the table.
TEST(DatesFormat, SeparatorsAndUnknownCodes)
{
    EXPECT_EQ(Date(kDec7, 0, "-"), "2026-12-07");
    EXPECT_EQ(Date(kDec7, 0, nullptr), "20261207");
    EXPECT_EQ(Date(kDec7, 4, " - "), "07 - 12 - 2026");
    EXPECT_EQ(Date(kDec7, 7, "/"), "20261207");
    EXPECT_EQ(Date(kDec7, 8, "/"), "BadFmt");
    EXPECT_EQ(Date(kDec7, -1, "/"), "BadFmt");
    EXPECT_EQ(Date(QZ_DateFromYMD(905, 3, 4), 2, "/"), "04/03/05");
}

TEST(DatesFormat, EmptyDateUsesTheBlankTemplates)
{
    for (int32_t empty : {0, -1, 1721426}) { // 0, below 1, and 1/1/1 itself
        EXPECT_EQ(Date(empty, 0, "/"), "0001/01/01");
        EXPECT_EQ(Date(empty, 1, "/"), "  /  /  ");
        EXPECT_EQ(Date(empty, 2, "/"), "  /  /  ");
        EXPECT_EQ(Date(empty, 3, "/"), "  /  /    ");
        EXPECT_EQ(Date(empty, 4, "/"), "  /  /    ");
        EXPECT_EQ(Date(empty, 5, "/"), "  /  /  ");
        EXPECT_EQ(Date(empty, 6, "/"), "    /  /  ");
        EXPECT_EQ(Date(empty, 7, "/"), "");
        EXPECT_EQ(Date(empty, 9, "/"), "BadFmt");
    }
}

TEST(DatesFormat, TwelveHourClockAndUnknownCodes)
{
    EXPECT_EQ(Time(37230, 3, ":"), "10:20:30");
    EXPECT_EQ(Time(0, 6, ":"), "12:00:00 AM");
    EXPECT_EQ(Time(46800, 4, ":"), "01 PM");
    EXPECT_EQ(Time(43200, 4, ":"), "12 PM"); // noon
    EXPECT_EQ(Time(-1, 3, ":"), "00:00:00"); // invalid time decomposes to midnight
    EXPECT_EQ(Time(86400, 3, ""), "000000");
    EXPECT_EQ(Time(37230, 7, ":"), "untouched");
    EXPECT_EQ(Time(37230, -1, ":"), "untouched");
}

// The 12-hour clock around its turning points, written out rather than computed:
// midnight is 12 AM, noon 12 PM, and the hour after noon 01 PM.
TEST(DatesFormat, TwelveHourClockAtItsTurningPoints)
{
    struct Case {
        int32_t time;
        const char *code4, *code5, *code6;
    } cases[] = {
        {0 * 3600 + 5 * 60 + 9, "12 AM", "12:05 AM", "12:05:09 AM"},
        {11 * 3600 + 59 * 60 + 59, "11 AM", "11:59 AM", "11:59:59 AM"},
        {12 * 3600, "12 PM", "12:00 PM", "12:00:00 PM"},
        {13 * 3600 + 1, "01 PM", "01:00 PM", "01:00:01 PM"},
        {23 * 3600 + 30 * 60, "11 PM", "11:30 PM", "11:30:00 PM"},
    };
    for (const Case &t : cases) {
        EXPECT_EQ(Time(t.time, 4, ":"), t.code4) << t.time;
        EXPECT_EQ(Time(t.time, 5, ":"), t.code5) << t.time;
        EXPECT_EQ(Time(t.time, 6, ":"), t.code6) << t.time;
    }
    // The 24-hour layouts of the same times keep the hour as it is.
    EXPECT_EQ(Time(13 * 3600 + 1, 3, ":"), "13:00:01");
    EXPECT_EQ(Time(0 * 3600 + 5 * 60 + 9, 2, "."), "00.05");
}

std::string DateTime(int32_t d, int32_t t, int16_t dl, int16_t tl, int16_t twelve, int16_t order)
{
    char buffer[64];
    return QZ_FormatDateTime(buffer, sizeof buffer - 1, d, t, dl, tl, twelve, order, "/", ":", " ");
}

TEST(DatesFormat, DateTimeLayouts)
{
    // Compact form: 14 digits, or the time alone behind eight zeros.
    EXPECT_EQ(DateTime(kDec7, 37230, 10, 8, 0, 4), "20261207102030");
    EXPECT_EQ(DateTime(0, 37230, 10, 8, 0, 4), "00000000102030");
    EXPECT_EQ(DateTime(0, 0, 10, 8, 0, 4), "");
    EXPECT_EQ(DateTime(kDec7, 0, 0, 0, 0, 4), "20261207000000");

    // Date length 8 / 10 by order, with the between-text before a time.
    EXPECT_EQ(DateTime(kDec7, 37230, 8, 8, 0, 1), "26/12/07 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 8, 8, 0, 2), "12/07/26 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 8, 8, 0, 3), "07/12/26 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 8, 8, 0, 0), "2026/12/07 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 10, 8, 0, 1), "2026/12/07 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 10, 8, 0, 2), "12/07/2026 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 10, 8, 0, 3), "07/12/2026 10:20:30");
    EXPECT_EQ(DateTime(kDec7, 37230, 10, 8, 0, 9), "2026/12/07 10:20:30");

    // Time lengths, 24- and 12-hour.
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 2, 0, 3), "07/12/2026 13");
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 2, 1, 3), "07/12/2026 01 PM");
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 5, 0, 3), "07/12/2026 13:00");
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 5, 1, 3), "07/12/2026 01:00 PM");
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 11, 1, 3), "07/12/2026 01:00:00 PM");
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 8, 2, 3), "07/12/2026 13:00:00"); // only flag 1 is 12-hour

    // No time: no between-text. No date: no between-text either.
    EXPECT_EQ(DateTime(kDec7, 46800, 10, 0, 0, 3), "07/12/2026");
    EXPECT_EQ(DateTime(kDec7, 46800, 0, 8, 0, 3), "13:00:00");
    EXPECT_EQ(DateTime(kDec7, 46800, 9, 0, 0, 3), "");
    EXPECT_EQ(DateTime(0, 0, 10, 8, 0, 2), "  /  /     00:00:00");
}

TEST(DatesFormat, NeverWritesPastTheBuffer)
{
    char buffer[16];
    std::memset(buffer, '#', sizeof buffer);
    QZ_FormatDate(buffer, 4, kDec7, 0, "-");
    EXPECT_STREQ(buffer, "2026");
    EXPECT_EQ(buffer[5], '#');

    std::memset(buffer, '#', sizeof buffer);
    QZ_FormatTime(buffer, 7, 0, 6, ":");
    EXPECT_STREQ(buffer, "12:00:0");
    EXPECT_EQ(buffer[8], '#');

    std::memset(buffer, '#', sizeof buffer);
    QZ_FormatDateTime(buffer, 9, kDec7, 37230, 10, 8, 0, 4, "", "", "");
    EXPECT_STREQ(buffer, "202612071");
    EXPECT_EQ(buffer[10], '#');

    std::memset(buffer, '#', sizeof buffer);
    QZ_FormatDate(buffer, 0, kDec7, 0, "-");
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '#');

    // A long separator is cut, not overrun.
    const std::string sep(200, '=');
    std::memset(buffer, '#', sizeof buffer);
    QZ_FormatDate(buffer, 14, kDec7, 4, sep.c_str());
    EXPECT_STREQ(buffer, "07============");
    EXPECT_EQ(buffer[15], '#');
}

} // namespace

namespace {

// The layouts are written field by field; they must give what the printf
// format of each layout gives, for every date and every time of day.
TEST(DatesFormat, LayoutsMatchTheirPrintfFormats)
{
    const char *s = "/";
    char expected[64];
    const int32_t first = QZ_DateFromYMD(1, 1, 2);
    const int32_t last = QZ_DateFromYMD(QZ_DATE_MAX_YEAR, 12, 31);
    for (int32_t n = first; n <= last; n += 37) {
        int16_t y = 0, m = 0, d = 0;
        QZ_DateToYMD(n, &y, &m, &d);
        const auto yy = static_cast<int16_t>(y % 100);
        std::snprintf(expected, sizeof expected, "%04hd%s%02hd%s%02hd", y, s, m, s, d);
        ASSERT_EQ(Date(n, 0, s), expected);
        ASSERT_EQ(Date(n, 6, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%02hd", m, s, d, s, yy);
        ASSERT_EQ(Date(n, 1, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%02hd", d, s, m, s, yy);
        ASSERT_EQ(Date(n, 2, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%04hd", m, s, d, s, y);
        ASSERT_EQ(Date(n, 3, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%04hd", d, s, m, s, y);
        ASSERT_EQ(Date(n, 4, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%02hd", yy, s, m, s, d);
        ASSERT_EQ(Date(n, 5, s), expected);
        std::snprintf(expected, sizeof expected, "%04hd%02hd%02hd", y, m, d);
        ASSERT_EQ(Date(n, 7, s), expected);
    }
    for (int32_t t = 0; t < 86400; ++t) {
        const auto h = static_cast<int16_t>(t / 3600), m = static_cast<int16_t>(t / 60 % 60),
                   sec = static_cast<int16_t>(t % 60);
        const auto h12 = static_cast<int16_t>(h > 12 ? h - 12 : (h == 0 ? 12 : h));
        const char *suffix = h < 12 ? " AM" : " PM";
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%02hd", h, s, m, s, sec);
        ASSERT_EQ(Time(t, 0, s), expected);
        ASSERT_EQ(Time(t, 3, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd", h);
        ASSERT_EQ(Time(t, 1, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd", h, s, m);
        ASSERT_EQ(Time(t, 2, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s", h12, suffix);
        ASSERT_EQ(Time(t, 4, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s", h12, s, m, suffix);
        ASSERT_EQ(Time(t, 5, s), expected);
        std::snprintf(expected, sizeof expected, "%02hd%s%02hd%s%02hd%s", h12, s, m, s, sec, suffix);
        ASSERT_EQ(Time(t, 6, s), expected);
    }
}

} // namespace
