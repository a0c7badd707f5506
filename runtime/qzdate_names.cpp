/* Day and month names in the four languages of generated pages. */
#include <cctype>
#include <cstring>
#include <string_view>

#include "qz/qzdate.h"
#include "runtime/qztext_internal.h"

extern "C" {

const char QZ_DayNameTable[QZ_LANGUAGE_COUNT][7][QZ_DAY_NAME_SLOT] = {
    {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
    {"Domingo", "Lunes", "Martes", "Miercoles", "Jueves", "Viernes", "Sabado"},
    {"Domingo", "Segunda", "Terca", "Quarta", "Quinta", "Sexta", "Sabado"},
    {"Domenica", "Lunedi", "Martedi", "Mercoledi", "Giovedi", "Venerdi", "Sabato"},
};

const char QZ_MonthNameTable[QZ_LANGUAGE_COUNT][12][QZ_MONTH_NAME_SLOT] = {
    {"January", "February", "March", "April", "May", "June", "July", "August", "September",
     "October", "November", "December"},
    {"Enero", "Febrero", "Marzo", "Abril", "Mayo", "Junio", "Julio", "Agosto", "Septiembre",
     "Octubre", "Noviembre", "Diciembre"},
    {"Janeiro", "Fevereiro", "Marco", "Abril", "Maio", "Junho", "Julho", "Agosto", "Setembro",
     "Outubro", "Novembro", "Dezembro"},
    {"Gennaio", "Febbraio", "Marzo", "Aprile", "Maggio", "Giugno", "Luglio", "Agosto",
     "Settembre", "Ottobre", "Novembre", "Dicembre"},
};

int16_t QZ_LanguageIndex(const char *language)
{
    if (language == nullptr)
        return QZ_LANG_ENGLISH;
    char code[4] = {0};
    for (int i = 0; i < 3 && language[i] != '\0'; ++i)
        code[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(language[i])));
    if (std::strcmp(code, "SPA") == 0)
        return QZ_LANG_SPANISH;
    if (std::strcmp(code, "POR") == 0)
        return QZ_LANG_PORTUGUESE;
    if (std::strcmp(code, "ITA") == 0)
        return QZ_LANG_ITALIAN;
    return QZ_LANG_ENGLISH;
}

} // extern "C"

namespace {

/* Copies a table slot into the caller's buffer of n + 1 bytes, reading no
   more of the slot than n characters. */
char *CopyName(char *buffer, size_t n, const char *name)
{
    return qz::CopyToBuffer(buffer, n, std::string_view(name, strnlen(name, n)));
}

} // namespace

extern "C" {

char *QZ_DayName(char *buffer, size_t n, int32_t date, const char *language)
{
    const int16_t weekday = QZ_DayOfWeek(date);
    if (weekday < 1)
        return CopyName(buffer, n, "");
    return CopyName(buffer, n, QZ_DayNameTable[QZ_LanguageIndex(language)][weekday - 1]);
}

char *QZ_MonthName(char *buffer, size_t n, int32_t date, const char *language)
{
    const int16_t month = QZ_Month(date);
    return CopyName(buffer, n, QZ_MonthNameTable[QZ_LanguageIndex(language)][month - 1]);
}

} // extern "C"
