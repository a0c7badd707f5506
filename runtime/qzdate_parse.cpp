/* Dates and times typed by users: a small state machine for dates in any of
   the three field orders, and a lenient reader for times of day. */
#include <cstdint>

#include "qz/qzdate.h"
#include "runtime/qzdate_internal.h"

namespace {

enum State { kYear = 1, kBeforeMonth, kMonth, kBeforeDay, kDay, kBeforeYear, kDone };

/* Next state by current state (row, 0 = start) and date order (column). */
constexpr int kNextState[7][5] = {
    {kYear, kMonth, kDay, kMonth, kDay},                          /* start */
    {kBeforeMonth, kDone, kDone, kDone, kDone},                   /* after the year */
    {kMonth, kMonth, kMonth, kMonth, kMonth},                     /* before the month */
    {kBeforeDay, kBeforeDay, kBeforeYear, kBeforeDay, kBeforeYear}, /* after the month */
    {kDay, kDay, kDay, kDay, kDay},                               /* before the day */
    {kDone, kBeforeYear, kBeforeMonth, kBeforeYear, kBeforeMonth}, /* after the day */
    {kDone, kYear, kYear, kYear, kYear},                          /* before the year */
};

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsDateSeparator(char c)
{
    return c == '-' || c == '.' || c == '/';
}

struct Number {
    int16_t value = 0;
    int digits = 0;
};

/* A date field: up to maxLength blanks (worth 0) or up to maxLength digits. */
Number ReadDateNumber(const char *&p, int maxLength)
{
    Number number;
    if (IsBlank(*p)) {
        for (int i = 0; i < maxLength && IsBlank(*p); ++i)
            ++p;
        return number;
    }
    int value = 0;
    while (number.digits < maxLength && IsDigit(*p)) {
        value = value * 10 + (*p++ - '0');
        ++number.digits;
    }
    number.value = static_cast<int16_t>(value); /* at most 9999 */
    return number;
}

bool EndsTimeNumber(char c)
{
    return c == '\0' || c == ':' || c == '.' || IsBlank(c) || c == 'A' || c == 'a' || c == 'P' ||
           c == 'p';
}

/* A time field: leading blanks skipped, then up to two characters up to a
   stop character, valued the way atoi values them. */
int16_t ReadTimeNumber(const char *&p)
{
    while (IsBlank(*p))
        ++p;
    char chunk[3] = {0};
    for (int i = 0; i < 2 && !EndsTimeNumber(*p); ++i)
        chunk[i] = *p++;
    const char *c = chunk;
    bool negative = false;
    if (*c == '+' || *c == '-')
        negative = *c++ == '-';
    int value = 0;
    for (; IsDigit(*c); ++c)
        value = value * 10 + (*c - '0');
    return static_cast<int16_t>(negative ? -value : value);
}

/* After a time field: ":" or "." or a digit lead to the next field. */
bool LeadsToNextField(const char *&p)
{
    if (*p == ':' || *p == '.') {
        ++p;
        return true;
    }
    return IsDigit(*p);
}

} // namespace

namespace qz::date {

ParsedDate ParseDateParts(const char *text, int16_t order)
{
    ParsedDate parts;
    if (text == nullptr)
        text = "";
    if (order < 0 || order > 4)
        order = 0;
    const char *p = text;
    while (IsBlank(*p))
        ++p;

    int state = kNextState[0][order];
    while (state != kDone) {
        const int maxLength = (state == kYear || state == kBeforeYear) ? 4 : 2;
        const Number number = ReadDateNumber(p, maxLength);
        switch (state) {
        case kYear:
            parts.year = number.value;
            parts.yearDigits = number.digits;
            break;
        case kMonth:
            parts.month = number.value;
            break;
        case kDay:
            parts.day = number.value;
            break;
        default: /* a separator state: without a separator the number is the next field */
            if (IsDateSeparator(*p)) {
                ++p;
            } else if (state == kBeforeMonth) {
                parts.month = number.value;
                state = kMonth;
            } else if (state == kBeforeDay) {
                parts.day = number.value;
                state = kDay;
            } else {
                parts.year = number.value;
                parts.yearDigits = number.digits;
                state = kYear;
            }
            break;
        }
        state = kNextState[state][order];
    }

    /* What follows the date: the end, a blank, "-" (skipped) or a digit (the
       time) are fine; anything else means the text was not a date. */
    if (*p != '\0' && !IsBlank(*p)) {
        if (*p == '-') {
            ++p;
        } else if (!IsDigit(*p)) {
            parts.year = parts.month = parts.day = 0;
            parts.yearDigits = 0;
            p = text;
        }
    }

    if (parts.year == 0 && parts.month == 0 && parts.day == 0) {
        parts.year = parts.month = parts.day = 1;
    } else if (parts.yearDigits < 4) {
        QZ_CompleteYear(&parts.year);
    }
    parts.end = p;
    return parts;
}

} // namespace qz::date

extern "C" {

int32_t QZ_ParseDate(const char *text, int16_t order)
{
    const qz::date::ParsedDate parts = qz::date::ParseDateParts(text, order);
    return QZ_DateFromYMD(parts.year, parts.month, parts.day);
}

int32_t QZ_ParseTime(const char *text)
{
    const char *p = text != nullptr ? text : "";
    int16_t hours = ReadTimeNumber(p);
    int16_t minutes = 0;
    int16_t seconds = 0;
    if (LeadsToNextField(p)) {
        minutes = ReadTimeNumber(p);
        if (LeadsToNextField(p))
            seconds = ReadTimeNumber(p);
    }
    if (hours < 0)
        return -1; /* a signed hour is no hour; the suffix must not make one of it */
    while (IsBlank(*p))
        ++p;
    if (*p == 'p' || *p == 'P') {
        if (hours < 12)
            hours = static_cast<int16_t>(hours + 12);
        else if (hours > 12)
            return -1;
    } else if (*p == 'a' || *p == 'A') {
        if (hours == 12)
            hours = 0;
        else if (hours > 12)
            return -1;
    }
    return QZ_TimeFromHMS(hours, minutes, seconds);
}

QZ_DateTime QZ_ParseDateTime(const char *text, int16_t order)
{
    const qz::date::ParsedDate parts = qz::date::ParseDateParts(text, order);
    QZ_DateTime result = {-1, -1};
    if (QZ_IsValidDate(parts.year, parts.month, parts.day)) {
        result.date = QZ_DateFromYMD(parts.year, parts.month, parts.day);
        result.time = QZ_ParseTime(parts.end);
    }
    return result;
}

} // extern "C"
