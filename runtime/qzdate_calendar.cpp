/* Julian day numbers and seconds since midnight, to and from their parts. */
#include <cstdint>

#include "qz/qzdate.h"

namespace {

constexpr int32_t kDayNumberOfMarchYear0 = 1721119;

constexpr bool IsLeapYear(int32_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

/* The day-number formula without the validity checks. */
constexpr int32_t DayNumber(int32_t y, int32_t m, int32_t d)
{
    if (m < 3) {
        m += 9;
        y -= 1;
    } else {
        m -= 3;
    }
    const int32_t k = y / 100;
    const int32_t r = y % 100;
    return r * 1461 / 4 + k * 146097 / 4 + (153 * m + 2) / 5 + d + kDayNumberOfMarchYear0;
}

/* Last day number that still decomposes into a 16-bit year. */
constexpr int32_t kLastDayNumber = DayNumber(QZ_DATE_MAX_YEAR, 12, 31);

void Store(int16_t *out, int32_t value)
{
    if (out != nullptr)
        *out = static_cast<int16_t>(value);
}

} // namespace

extern "C" {

const QZ_DateTime QZ_NullDateTime = {0, 0};

int16_t QZ_IsValidDate(int16_t year, int16_t month, int16_t day)
{
    if (year == 1 && month == 1 && day == 1)
        return 1;
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > 31)
        return 0;
    switch (month) {
    case 4: case 6: case 9: case 11:
        return day <= 30 ? 1 : 0;
    case 2:
        return day <= (IsLeapYear(year) ? 29 : 28) ? 1 : 0;
    default:
        return 1;
    }
}

int32_t QZ_DateFromYMD(int16_t year, int16_t month, int16_t day)
{
    if (!QZ_IsValidDate(year, month, day))
        return 0;
    if (year == 1 && month == 1 && day == 1)
        return 0;
    return DayNumber(year, month, day);
}

void QZ_DateToYMD(int32_t date, int16_t *year, int16_t *month, int16_t *day)
{
    /* Numbers below 1 are the empty date; numbers past year 32767 have no
       16-bit year, so they are treated as empty too rather than wrapping. */
    if (date < 1 || date > kLastDayNumber) {
        Store(year, 1);
        Store(month, 1);
        Store(day, 1);
        return;
    }
    /* 64-bit so that no intermediate overflows; the steps are those of the
       32-bit original, truncating divisions included. */
    const int64_t a = 4 * (static_cast<int64_t>(date) - kDayNumberOfMarchYear0) - 1;
    const int64_t k = a / 146097;
    const int64_t b = (a - 146097 * k) / 4 * 4;
    const int64_t yy = (b + 3) / 1461;
    const int64_t e = ((b + 3 - 1461 * yy + 4) / 4) * 5 - 3;
    const int64_t mm = e / 153;
    int64_t d = (e % 153 + 5) / 5;
    int64_t y = 100 * k + yy;
    int64_t m;
    if (mm >= 10) {
        m = mm - 9;
        y += 1;
    } else {
        m = mm + 3;
    }
    /* Day numbers before 1 January of year 1 come out with a year of 0 or
       below: they have no date of their own and decompose as the empty date. */
    if (y < 1 || m < 1 || d < 1) {
        y = 1;
        m = 1;
        d = 1;
    }
    Store(year, static_cast<int32_t>(y));
    Store(month, static_cast<int32_t>(m));
    Store(day, static_cast<int32_t>(d));
}

int16_t QZ_Year(int32_t date)
{
    int16_t y = 1;
    QZ_DateToYMD(date, &y, nullptr, nullptr);
    return y;
}

int16_t QZ_Month(int32_t date)
{
    int16_t m = 1;
    QZ_DateToYMD(date, nullptr, &m, nullptr);
    return m;
}

int16_t QZ_DayOfMonth(int32_t date)
{
    int16_t d = 1;
    QZ_DateToYMD(date, nullptr, nullptr, &d);
    return d;
}

int16_t QZ_DayOfWeek(int32_t date)
{
    if (date < 1)
        return 0;
    return static_cast<int16_t>((static_cast<int64_t>(date) + 1) % 7 + 1);
}

int32_t QZ_TimeFromHMS(int16_t hours, int16_t minutes, int16_t seconds)
{
    if (hours < 0 || hours > 23 || minutes < 0 || minutes > 59 || seconds < 0 || seconds > 59)
        return -1;
    return hours * 3600 + minutes * 60 + seconds;
}

void QZ_TimeToHMS(int32_t time, int16_t *hours, int16_t *minutes, int16_t *seconds)
{
    if (time < 0 || time > 86399)
        time = 0;
    Store(hours, time / 3600);
    Store(minutes, time / 60 % 60);
    Store(seconds, time % 60);
}

QZ_DateTime QZ_DateTimeFromParts(int16_t year, int16_t month, int16_t day, int16_t hours,
                                 int16_t minutes, int16_t seconds)
{
    QZ_DateTime result;
    result.date = QZ_DateFromYMD(year, month, day);
    result.time = QZ_TimeFromHMS(hours, minutes, seconds);
    return result;
}

int16_t QZ_CompareDateTime(int32_t date1, int32_t time1, int32_t date2, int32_t time2)
{
    if (date1 != date2)
        return date1 < date2 ? -1 : 1;
    if (time1 != time2)
        return time1 < time2 ? -1 : 1;
    return 0;
}

} // extern "C"
