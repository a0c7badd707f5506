// Date, time and date-time texts in every field order: parsing never fails
// hard, and whatever comes out formats within its buffer in every layout.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzdate.h"

namespace {

void CheckFormats(int32_t date, int32_t time)
{
    char buffer[24];
    for (int16_t code = -1; code <= 8; ++code) {
        std::memset(buffer, '#', sizeof buffer);
        QZ_FormatDate(buffer, 15, date, code, "/");
        if (buffer[16] != '#' || std::strlen(buffer) > 15)
            std::abort();
        QZ_FormatTime(buffer, 15, time, code, ":");
        if (buffer[16] != '#')
            std::abort();
    }
    for (int16_t order = 0; order <= 5; ++order) {
        std::memset(buffer, '#', sizeof buffer);
        QZ_FormatDateTime(buffer, 20, date, time, 10, 8, 1, order, "-", ":", " ");
        if (buffer[21] != '#' || std::strlen(buffer) > 20)
            std::abort();
    }
    std::memset(buffer, '#', sizeof buffer);
    QZ_DayName(buffer, 3, date, "SPA");
    QZ_MonthName(buffer, 3, date, "ita");
    if (buffer[4] != '#')
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size); // zero-terminated
    for (int16_t order = -1; order <= 5; ++order) {
        const int32_t date = QZ_ParseDate(text.c_str(), order);
        int16_t y = 0, m = 0, d = 0;
        QZ_DateToYMD(date, &y, &m, &d);
        if (date != 0 && QZ_DateFromYMD(y, m, d) != date)
            std::abort();
        const QZ_DateTime dt = QZ_ParseDateTime(text.c_str(), order);
        if (dt.time < -1 || dt.time > 86399)
            std::abort();
        CheckFormats(dt.date, dt.time);
        CheckFormats(date, 0);
    }
    const int32_t time = QZ_ParseTime(text.c_str());
    if (time < -1 || time > 86399)
        std::abort();
    return 0;
}
