// Day and month names in the four languages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qz/qzdate.h"

namespace {

const char *const kDays[4][7] = {
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
    {"Domingo", "Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado"},
    {"Domingo", "Segunda", "Terca", "Quarta", "Quinta", "Sexta", "Sabado"},
    {"Domenica", "Lunedi", "Martedi", "Mercoledi", "Giovedi", "Venerdi", "Sabato"},
};
const char *const kMonths[4][12] = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
     "Octubre", "Noviembre", "Diciembre"},
    {"Janeiro", "Fevereiro", "Marco", "Abril", "Maio", "Junho", "Julho", "Agosto", "Setembro",
     "Outubro", "Novembro", "Dezembro"},
    {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
     "Settembre", "Ottobre", "Novembre", "Dicembre"},
};
const char *const kLanguages[4] = {"ENG", "SPA", "POR", "ITA"};

std::string Day(int32_t date, const char *language)
{
    char buffer[QZ_DAY_NAME_SLOT];
    return QZ_DayName(buffer, sizeof buffer - 1, date, language);
}

std::string Month(int32_t date, const char *language)
{
    char buffer[QZ_MONTH_NAME_SLOT];
    return QZ_MonthName(buffer, sizeof buffer - 1, date, language);
}

TEST(DatesNames, EveryDayAndMonthInEveryLanguage)
{
    const int32_t sunday = QZ_DateFromYMD(2026, 12, 6);
    ASSERT_EQ(QZ_DayOfWeek(sunday), 1);
    for (int lang = 0; lang < 4; ++lang) {
        for (int day = 0; day < 7; ++day)
            EXPECT_EQ(Day(sunday + day, kLanguages[lang]), kDays[lang][day]) << lang << day;
        for (int16_t month = 1; month <= 12; ++month)
            EXPECT_EQ(Month(QZ_DateFromYMD(2026, month, 15), kLanguages[lang]),
                      kMonths[lang][month - 1]);
    }
}

TEST(DatesNames, LanguageTextIsReadOnItsFirstThreeLettersInAnyCase)
{
    const int32_t monday = 2461382;
    EXPECT_EQ(Day(monday, "spa"), "Lunes");
    EXPECT_EQ(Day(monday, "Spanish"), "Lunes");
    EXPECT_EQ(Day(monday, "ENG"), "Monday");
    EXPECT_EQ(Day(monday, "pOrtugues"), "Segunda");
    EXPECT_EQ(Day(monday, "ita"), "Lunedi");
    EXPECT_EQ(Day(monday, "DEU"), "Monday");
    EXPECT_EQ(Day(monday, "sp"), "Monday");
    EXPECT_EQ(Day(monday, ""), "Monday");
    EXPECT_EQ(Day(monday, nullptr), "Monday");
    EXPECT_EQ(Day(monday, "\xff\x80\x01"), "Monday");
}

TEST(DatesNames, EmptyDateAndShortBuffers)
{
    for (const char *language : {"ENG", "SPA", "POR", "ITA"}) {
        EXPECT_EQ(Day(0, language), "") << language;
        EXPECT_EQ(Day(-3, language), "") << language;
    }
    EXPECT_EQ(Month(0, "ENG"), "January");
    EXPECT_EQ(Month(0, "ITA"), "Gennaio");

    // The cookie writer keeps three characters of a name.
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    QZ_DayName(buffer, 3, QZ_DateFromYMD(2026, 12, 9), "ENG");
    EXPECT_STREQ(buffer, "Wed");
    EXPECT_EQ(buffer[4], '#');
    std::memset(buffer, '#', sizeof buffer);
    QZ_MonthName(buffer, 3, QZ_DateFromYMD(2026, 9, 1), "SPA");
    EXPECT_STREQ(buffer, "Sep");
    EXPECT_EQ(buffer[4], '#');
}

} // namespace
