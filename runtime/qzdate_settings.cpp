/* The YearLimit pivot that completes two-digit years, read once per process
   from the configuration file. */
#include <cstdint>

#include "qz/qzdate.h"
#include "qz/qztrace.h"
#include "runtime/qzdate_internal.h"
#include "runtime/qzini_internal.h"

namespace {

bool gYearLimitLoaded = false;
int16_t gYearLimit = QZ_DEFAULT_YEAR_LIMIT;

void LoadYearLimit()
{
    if (gYearLimitLoaded)
        return;
    gYearLimitLoaded = true;
    char value[QZ_INI_VALUE_MAX + 1] = {0};
    if (QZ_ReadIniValue("QZCFG", "DateHandling", "YearLimit", "qzcfg.ini", value))
        gYearLimit = qz::date::IniValueToInt16(value);
}

} // namespace

namespace qz::date {

int16_t IniValueToInt16(const char *value)
{
    const char *p = value;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    int32_t result = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        result = result * 10 + (*p - '0');
        if (result > 40000) /* far enough past the 16-bit range to saturate */
            result = 40000;
    }
    if (negative)
        result = -result;
    if (result > INT16_MAX)
        result = INT16_MAX;
    if (result < INT16_MIN)
        result = INT16_MIN;
    return static_cast<int16_t>(result);
}

} // namespace qz::date

extern "C" {

int16_t QZ_GetYearLimit(void)
{
    LoadYearLimit();
    return gYearLimit;
}

void QZ_CompleteYear(int16_t *year)
{
    if (year == nullptr)
        return;
    const int32_t limit = QZ_GetYearLimit();
    int32_t y = *year;
    if (y < limit)
        y += 2000;
    else if (y < 100)
        y += 1900;
    else if (y < 1000)
        y += 1000;
    /* A pivot configured near the top of the range could push the sum past
       16 bits; such a year is left as typed instead of wrapping around. */
    if (y <= INT16_MAX)
        *year = static_cast<int16_t>(y);
}

int32_t QZ_DateFromYMDCompleted(int16_t year, int16_t month, int16_t day)
{
    QZ_CompleteYear(&year);
    return QZ_DateFromYMD(year, month, day);
}

void QZ_DateResetSettings(void)
{
    gYearLimitLoaded = false;
    gYearLimit = QZ_DEFAULT_YEAR_LIMIT;
    qz::date::ResetCaseAlphabets();
    qz::ini::ForgetCopies(); // the settings are read from the file as it is now
}

} // extern "C"
