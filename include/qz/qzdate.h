/* Dates, times of day and date-times: conversions, texts, names, the clock,
   file times and the configurable upper/lower-case mapping.

   A date is a 32-bit Julian day number (2451545 is 1 January 2000); 0 is the
   empty date, and the date 1/1/1 is treated as the empty date everywhere.
   A time is a count of seconds since midnight, 0 to 86399; -1 is invalid.

   Every operation that fills a caller's buffer takes the buffer and a size n:
   it writes at most n characters and then a terminating zero, so the buffer
   needs n + 1 bytes. */
#ifndef QZ_QZDATE_H
#define QZ_QZDATE_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* A date and a time of day taken together. */
typedef struct QZ_DateTime {
    int32_t date; /* Julian day number, 0 = empty date */
    int32_t time; /* seconds since midnight, -1 = invalid */
} QZ_DateTime;

/* (0, 0): the empty date at midnight. */
QZ_EXPORT extern const QZ_DateTime QZ_NullDateTime;

#define QZ_EMPTY_DATE 0
#define QZ_INVALID_TIME (-1)
#define QZ_DEFAULT_YEAR_LIMIT 40

/* Largest year a date decomposes to; later day numbers decompose to 1/1/1. */
#define QZ_DATE_MAX_YEAR 32767

/* Name tables: language index 0 English, 1 Spanish ("SPA"), 2 Portuguese
   ("POR"), 3 Italian ("ITA"); day 1 = Sunday ... 7 = Saturday. Each name sits
   in a fixed slot (terminator included). */
#define QZ_LANGUAGE_COUNT 4
#define QZ_DAY_NAME_SLOT 10
#define QZ_MONTH_NAME_SLOT 11
#define QZ_LANG_ENGLISH 0
#define QZ_LANG_SPANISH 1
#define QZ_LANG_PORTUGUESE 2
#define QZ_LANG_ITALIAN 3
QZ_EXPORT extern const char QZ_DayNameTable[QZ_LANGUAGE_COUNT][7][QZ_DAY_NAME_SLOT];
QZ_EXPORT extern const char QZ_MonthNameTable[QZ_LANGUAGE_COUNT][12][QZ_MONTH_NAME_SLOT];

/* Language index of a language text: its first three characters, upper-cased,
   "SPA" 1, "POR" 2, "ITA" 3, anything else (NULL included) 0. */
QZ_EXPORT int16_t QZ_LanguageIndex(const char *language);

/* ---- Conversions ---------------------------------------------------- */

/* Day number; 0 when the date is not valid or is 1/1/1. */
QZ_EXPORT int32_t QZ_DateFromYMD(int16_t year, int16_t month, int16_t day);
/* The parts; 1/1/1 for the empty date, any number below 1, and any number
   past the last day of year QZ_DATE_MAX_YEAR. NULL outputs are skipped. */
QZ_EXPORT void QZ_DateToYMD(int32_t date, int16_t *year, int16_t *month, int16_t *day);
/* 1 valid (1/1/1 counts as valid), 0 not. */
QZ_EXPORT int16_t QZ_IsValidDate(int16_t year, int16_t month, int16_t day);
QZ_EXPORT int16_t QZ_Year(int32_t date);
QZ_EXPORT int16_t QZ_Month(int32_t date);
QZ_EXPORT int16_t QZ_DayOfMonth(int32_t date);
/* 1 (Sunday) to 7 (Saturday); 0 for a date below 1. */
QZ_EXPORT int16_t QZ_DayOfWeek(int32_t date);

/* hours * 3600 + minutes * 60 + seconds; -1 unless 0-23, 0-59, 0-59. */
QZ_EXPORT int32_t QZ_TimeFromHMS(int16_t hours, int16_t minutes, int16_t seconds);
/* The parts; all 0 for a time outside 0 to 86399. NULL outputs are skipped. */
QZ_EXPORT void QZ_TimeToHMS(int32_t time, int16_t *hours, int16_t *minutes, int16_t *seconds);
/* (QZ_DateFromYMD, QZ_TimeFromHMS). */
QZ_EXPORT QZ_DateTime QZ_DateTimeFromParts(int16_t year, int16_t month, int16_t day,
                                           int16_t hours, int16_t minutes, int16_t seconds);
/* -1, 0 or 1: by date, then by time. */
QZ_EXPORT int16_t QZ_CompareDateTime(int32_t date1, int32_t time1, int32_t date2, int32_t time2);

/* Completes a year typed with fewer than four digits, in place, with the
   YearLimit pivot (section "DateHandling", key "YearLimit" of qzcfg.ini,
   default 40, read once per process): year < YearLimit -> + 2000,
   < 100 -> + 1900, < 1000 -> + 1000, otherwise unchanged. A sum that would
   not fit 16 bits leaves the year unchanged. */
QZ_EXPORT void QZ_CompleteYear(int16_t *year);
/* QZ_CompleteYear, then QZ_DateFromYMD. */
QZ_EXPORT int32_t QZ_DateFromYMDCompleted(int16_t year, int16_t month, int16_t day);
/* The YearLimit in force (loads it on first use). */
QZ_EXPORT int16_t QZ_GetYearLimit(void);

/* ---- Texts ---------------------------------------------------------- */

/* Date format codes of QZ_FormatDate (s = separator):
   0 YYYY s MM s DD (the empty date printed as 0001 s 01 s 01),
   1 MM s DD s YY, 2 DD s MM s YY, 3 MM s DD s YYYY, 4 DD s MM s YYYY,
   5 YY s MM s DD, 6 YYYY s MM s DD, 7 YYYYMMDD (empty text for the empty
   date); codes 1 to 6 print the empty date as blanks around the separators;
   any other code prints "BadFmt". A NULL separator is the empty text. */
QZ_EXPORT char *QZ_FormatDate(char *buffer, size_t n, int32_t date, int16_t format,
                              const char *separator);

/* Time format codes of QZ_FormatTime (s = separator, h12 = 12-hour value,
   suffix " AM"/" PM"): 0 and 3 HH s MM s SS, 1 HH, 2 HH s MM, 4 h12 suffix,
   5 h12 s MM suffix, 6 h12 s MM s SS suffix. A code outside 0 to 6 leaves
   the buffer untouched. */
QZ_EXPORT char *QZ_FormatTime(char *buffer, size_t n, int32_t time, int16_t format,
                              const char *separator);

/* Date order codes of QZ_FormatDateTime: 1 year first, 2 month first, 3 day
   first, 4 compact (YYYYMMDDHHMMSS), any other value year first (format 0).
   Date length 8 (two-digit year) or 10 (four-digit year) selects the date
   layout, any other length writes no date; time length 0 writes no time,
   2 hours only, 5 hours and minutes, any other length the full time. */
QZ_EXPORT char *QZ_FormatDateTime(char *buffer, size_t n, int32_t date, int32_t time,
                                  int16_t dateLength, int16_t timeLength, int16_t twelveHour,
                                  int16_t dateOrder, const char *dateSeparator,
                                  const char *timeSeparator, const char *between);

/* Date order codes of the parsers (not those of QZ_FormatDateTime):
   0 year first, 1 and 3 month first, 2 and 4 day first; any other value is
   taken as 0. Separators are "-", "." and "/"; fields may also follow each
   other without separators. A NULL text is the empty text. */
QZ_EXPORT int32_t QZ_ParseDate(const char *text, int16_t order);
/* Seconds since midnight, or -1 ('1230' is 12:30, '12:30 am' is 00:30). */
QZ_EXPORT int32_t QZ_ParseTime(const char *text);
/* (date, time); (-1, -1) when the date part is not a valid date. */
QZ_EXPORT QZ_DateTime QZ_ParseDateTime(const char *text, int16_t order);

/* Full day / month name of the date in the language of the language text.
   QZ_DayName gives the empty text for a date below 1; QZ_MonthName gives the
   name of month 1 for the empty date. */
QZ_EXPORT char *QZ_DayName(char *buffer, size_t n, int32_t date, const char *language);
QZ_EXPORT char *QZ_MonthName(char *buffer, size_t n, int32_t date, const char *language);

/* ---- Clock and files ------------------------------------------------ */

/* Today's local date. */
QZ_EXPORT int32_t QZ_Today(void);
/* The current local time as "HH:MM:SS", in a static buffer. */
QZ_EXPORT const char *QZ_CurrentTimeText(void);
/* The current local (date, time), both taken from one clock reading. */
QZ_EXPORT QZ_DateTime QZ_Now(void);
/* The file's last modification as local (date, time); QZ_NullDateTime when
   the file cannot be examined. */
QZ_EXPORT QZ_DateTime QZ_FileDateTime(const char *path);

/* ---- Case conversion ------------------------------------------------ */

/* Longest configured alphabet; longer values are cut. */
#define QZ_CASE_ALPHABET_MAX 255

/* Lower-cases the text in place by the standard library's rules; returns it. */
QZ_EXPORT char *QZ_ToLowerInPlace(char *text);
/* Copy at most n characters converted, stop after a zero, and always write a
   zero at position n (the buffer needs n + 1 bytes). Return the buffer. */
QZ_EXPORT char *QZ_ToLowerCopy(char *buffer, const char *text, size_t n);
QZ_EXPORT char *QZ_ToUpperCopy(char *buffer, const char *text, size_t n);
/* As the copies, but characters found in the configured Upper (Lower)
   alphabet map to the same position of the other one (section "Upper/Lower",
   keys "Upper" and "Lower" of qzcfg.ini) when the alphabets are usable. */
QZ_EXPORT char *QZ_ToLowerConfigured(char *buffer, const char *text, size_t n);
QZ_EXPORT char *QZ_ToUpperConfigured(char *buffer, const char *text, size_t n);
/* 1 when the configured alphabets are usable, -1 when not (loads on first call). */
QZ_EXPORT int16_t QZ_CaseAlphabetsLoaded(void);

/* Forget the loaded YearLimit and case alphabets, so that the next use reads
   the configuration file again (for tests and long-lived hosts). */
QZ_EXPORT void QZ_DateResetSettings(void);

QZ_END_DECLS

#endif
