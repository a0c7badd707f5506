/* The local clock and file modification times. */
#include <sys/stat.h>

#include <ctime>

#include "qz/qzdate.h"

namespace {

char gTimeText[9] = "00:00:00";

/* Local broken-down time of a clock value; false when it has none. */
bool LocalTime(std::time_t when, std::tm &local)
{
    return localtime_r(&when, &local) != nullptr;
}

/* The calendar year of a tm, or 0 (no valid year) past the 16-bit range. */
int16_t YearOf(const std::tm &local)
{
    const long year = static_cast<long>(local.tm_year) + 1900;
    return year >= 1 && year <= QZ_DATE_MAX_YEAR ? static_cast<int16_t>(year) : 0;
}

int32_t DateOf(const std::tm &local)
{
    return QZ_DateFromYMD(YearOf(local),
                          static_cast<int16_t>(local.tm_mon + 1),
                          static_cast<int16_t>(local.tm_mday));
}

void PutTwoDigits(char *at, int value)
{
    /* tm fields are 0-60 here; the clamp keeps the text at eight characters
       even for a broken C library. */
    value = value < 0 ? 0 : value % 100;
    at[0] = static_cast<char>('0' + value / 10);
    at[1] = static_cast<char>('0' + value % 10);
}

void SetTimeText(const std::tm &local)
{
    PutTwoDigits(gTimeText, local.tm_hour);
    gTimeText[2] = ':';
    PutTwoDigits(gTimeText + 3, local.tm_min);
    gTimeText[5] = ':';
    PutTwoDigits(gTimeText + 6, local.tm_sec);
    gTimeText[8] = '\0';
}

} // namespace

extern "C" {

int32_t QZ_Today(void)
{
    std::tm local{};
    return LocalTime(std::time(nullptr), local) ? DateOf(local) : 0;
}

const char *QZ_CurrentTimeText(void)
{
    std::tm local{};
    if (LocalTime(std::time(nullptr), local))
        SetTimeText(local);
    return gTimeText;
}

QZ_DateTime QZ_Now(void)
{
    /* Date and time come from one reading of the clock, so that a call just
       before midnight cannot pair yesterday's date with today's 00:00:00. */
    std::tm local{};
    if (!LocalTime(std::time(nullptr), local))
        return QZ_NullDateTime;
    SetTimeText(local);
    QZ_DateTime now;
    now.date = DateOf(local);
    now.time = QZ_ParseTime(gTimeText);
    return now;
}

QZ_DateTime QZ_FileDateTime(const char *path)
{
    struct stat status {};
    std::tm local{};
    if (path == nullptr || stat(path, &status) != 0 || !LocalTime(status.st_mtime, local))
        return QZ_NullDateTime;
    return QZ_DateTimeFromParts(YearOf(local),
                                static_cast<int16_t>(local.tm_mon + 1),
                                static_cast<int16_t>(local.tm_mday),
                                static_cast<int16_t>(local.tm_hour),
                                static_cast<int16_t>(local.tm_min),
                                static_cast<int16_t>(local.tm_sec));
}

} // extern "C"
