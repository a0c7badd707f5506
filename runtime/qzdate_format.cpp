/* Dates and times as text, in the fixed layouts of generated pages. */
#include <optional>
#include <string>

#include "qz/qzdate.h"
#include "runtime/qztext_internal.h"

namespace {

/* Builds the fixed layouts directly: each field is written as printf's
   "%02hd" / "%04hd" would write it (zero-padded to the width, a minus sign
   in front of the padding), without going through the format parser. */
class Fields {
public:
    Fields &Num(int value, int width)
    {
        char digits[12];
        int count = 0;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            digits[count++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) {
            text_ += '-';
            --width;
        }
        for (int i = count; i < width; ++i)
            text_ += '0';
        while (count > 0)
            text_ += digits[--count];
        return *this;
    }
    Fields &Text(const char *text)
    {
        text_ += text;
        return *this;
    }
    std::string Take() { return std::move(text_); }

private:
    std::string text_;
};

/* The empty date in a blank template: blanks where the fields go. */
std::string Blank(size_t first, const char *s, size_t last)
{
    std::string text(first, ' ');
    text += s;
    text += "  ";
    text += s;
    text.append(last, ' ');
    return text;
}

std::string DateText(int32_t date, int16_t format, const char *s)
{
    int16_t y = 1, m = 1, d = 1;
    QZ_DateToYMD(date, &y, &m, &d);
    const bool empty = y == 1 && m == 1 && d == 1;
    const auto yy = static_cast<int16_t>(y % 100);
    switch (format) {
    case 0: /* year first; the empty date shows as the year-1 date */
        return Fields().Num(y, 4).Text(s).Num(m, 2).Text(s).Num(d, 2).Take();
    case 1:
        return empty ? Blank(2, s, 2) : Fields().Num(m, 2).Text(s).Num(d, 2).Text(s).Num(yy, 2).Take();
    case 2:
        return empty ? Blank(2, s, 2) : Fields().Num(d, 2).Text(s).Num(m, 2).Text(s).Num(yy, 2).Take();
    case 3:
        return empty ? Blank(2, s, 4) : Fields().Num(m, 2).Text(s).Num(d, 2).Text(s).Num(y, 4).Take();
    case 4:
        return empty ? Blank(2, s, 4) : Fields().Num(d, 2).Text(s).Num(m, 2).Text(s).Num(y, 4).Take();
    case 5:
        return empty ? Blank(2, s, 2) : Fields().Num(yy, 2).Text(s).Num(m, 2).Text(s).Num(d, 2).Take();
    case 6:
        return empty ? Blank(4, s, 2) : Fields().Num(y, 4).Text(s).Num(m, 2).Text(s).Num(d, 2).Take();
    case 7:
        return empty ? std::string() : Fields().Num(y, 4).Num(m, 2).Num(d, 2).Take();
    default:
        return "BadFmt";
    }
}

std::optional<std::string> TimeText(int32_t time, int16_t format, const char *s)
{
    int16_t h = 0, m = 0, sec = 0;
    QZ_TimeToHMS(time, &h, &m, &sec);
    const auto h12 = static_cast<int16_t>(h > 12 ? h - 12 : (h == 0 ? 12 : h));
    const char *suffix = h < 12 ? " AM" : " PM";
    switch (format) {
    case 0:
    case 3:
        return Fields().Num(h, 2).Text(s).Num(m, 2).Text(s).Num(sec, 2).Take();
    case 1:
        return Fields().Num(h, 2).Take();
    case 2:
        return Fields().Num(h, 2).Text(s).Num(m, 2).Take();
    case 4:
        return Fields().Num(h12, 2).Text(suffix).Take();
    case 5:
        return Fields().Num(h12, 2).Text(s).Num(m, 2).Text(suffix).Take();
    case 6:
        return Fields().Num(h12, 2).Text(s).Num(m, 2).Text(s).Num(sec, 2).Text(suffix).Take();
    default:
        return std::nullopt;
    }
}

/* Date format for a date length and a date order of QZ_FormatDateTime;
   -1 when no date is written. */
int16_t DateFormatFor(int16_t dateLength, int16_t dateOrder)
{
    if (dateLength == 8)
        return dateOrder == 1 ? 5 : dateOrder == 2 ? 1 : dateOrder == 3 ? 2 : 0;
    if (dateLength == 10)
        return dateOrder == 1 ? 6 : dateOrder == 2 ? 3 : dateOrder == 3 ? 4 : 0;
    return -1;
}

std::string DateTimeText(int32_t date, int32_t time, int16_t dateLength, int16_t timeLength,
                         int16_t twelveHour, int16_t dateOrder, const char *dateSep,
                         const char *timeSep, const char *between)
{
    if (dateOrder == 4) {
        if (date != 0)
            return DateText(date, 7, "") + TimeText(time, 3, "").value_or("");
        if (time != 0)
            return "00000000" + TimeText(time, 3, "").value_or("");
        return std::string();
    }
    std::string text;
    const int16_t dateFormat = DateFormatFor(dateLength, dateOrder);
    if (dateFormat >= 0) {
        text = DateText(date, dateFormat, dateSep);
        if (timeLength != 0)
            text += between;
    }
    if (timeLength != 0) {
        const bool twelve = twelveHour == 1;
        const int16_t timeFormat = timeLength == 2 ? (twelve ? 4 : 1)
                                   : timeLength == 5 ? (twelve ? 5 : 2)
                                                     : (twelve ? 6 : 3);
        text += TimeText(time, timeFormat, timeSep).value_or("");
    }
    return text;
}

} // namespace

extern "C" {

char *QZ_FormatDate(char *buffer, size_t n, int32_t date, int16_t format, const char *separator)
{
    return qz::CopyToBuffer(buffer, n, DateText(date, format, qz::OrEmpty(separator)));
}

char *QZ_FormatTime(char *buffer, size_t n, int32_t time, int16_t format, const char *separator)
{
    const std::optional<std::string> text = TimeText(time, format, qz::OrEmpty(separator));
    return text ? qz::CopyToBuffer(buffer, n, *text) : buffer;
}

char *QZ_FormatDateTime(char *buffer, size_t n, int32_t date, int32_t time, int16_t dateLength,
                        int16_t timeLength, int16_t twelveHour, int16_t dateOrder,
                        const char *dateSeparator, const char *timeSeparator, const char *between)
{
    return qz::CopyToBuffer(buffer, n,
                            DateTimeText(date, time, dateLength, timeLength, twelveHour, dateOrder,
                                         qz::OrEmpty(dateSeparator), qz::OrEmpty(timeSeparator),
                                         qz::OrEmpty(between)));
}

} // extern "C"
