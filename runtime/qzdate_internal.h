/* Pieces shared by the date modules; not part of the public interface. */
#ifndef QZ_RUNTIME_QZDATE_INTERNAL_H
#define QZ_RUNTIME_QZDATE_INTERNAL_H

#include <cstddef>
#include <cstdint>

#include "qz/qzdate.h"

namespace qz::date {

/* Parts of a date that the parsers read, before completion and checks. */
struct ParsedDate {
    int16_t year = 0;
    int16_t month = 0;
    int16_t day = 0;
    int yearDigits = 0;    /* digits the year was written with */
    const char *end = nullptr; /* where the text after the date begins */
};

/* Runs the date state machine over text: the parts, already completed and
   with 0/0/0 turned into 1/1/1, and the position after the date. */
ParsedDate ParseDateParts(const char *text, int16_t order);

/* Case alphabets: forget them so that the next use reads them again. */
void ResetCaseAlphabets();

/* Parses a configuration value the way the C library's atoi would (leading
   blanks, optional sign, digits), saturated to the 16-bit range. */
int16_t IniValueToInt16(const char *value);

} // namespace qz::date

#endif
