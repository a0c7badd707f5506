/* Upper/lower-case conversion, by the C library's rules or by the accented
   alphabets configured in qzcfg.ini (section "Upper/Lower"). */
#include <cctype>
#include <cstring>

#include "qz/qzdate.h"
#include "qz/qztrace.h"
#include "runtime/qzdate_internal.h"

namespace {

/* 0 not loaded yet, 1 loaded and usable, -1 not usable. */
int16_t gState = 0;
char gUpper[QZ_CASE_ALPHABET_MAX + 1];
char gLower[QZ_CASE_ALPHABET_MAX + 1];
size_t gLength = 0;

void LoadAlphabets()
{
    char lower[QZ_INI_VALUE_MAX + 1] = {0};
    char upper[QZ_INI_VALUE_MAX + 1] = {0};
    const bool haveLower = QZ_ReadIniValue("QZCFG", "Upper/Lower", "Lower", "qzcfg.ini", lower) != 0;
    const bool haveUpper = QZ_ReadIniValue("QZCFG", "Upper/Lower", "Upper", "qzcfg.ini", upper) != 0;
    /* The lengths are compared as written; longer alphabets are then cut
       alike, which keeps every remaining pair at the same position. */
    if (haveLower && haveUpper && std::strlen(lower) == std::strlen(upper)) {
        const size_t length = strnlen(lower, QZ_CASE_ALPHABET_MAX);
        std::memcpy(gLower, lower, length);
        std::memcpy(gUpper, upper, length);
        gLower[length] = gUpper[length] = '\0';
        gLength = length;
        gState = 1;
    } else {
        gLower[0] = gUpper[0] = '\0';
        gLength = 0;
        gState = -1;
    }
}

char StdLower(char c)
{
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

char StdUpper(char c)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

/* The character at the position of c in from, taken from to; fallback(c)
   when c is not in from. */
char MapThrough(char c, const char *from, const char *to, char (*fallback)(char))
{
    const void *hit = std::memchr(from, c, gLength);
    if (hit == nullptr)
        return fallback(c);
    return to[static_cast<const char *>(hit) - from];
}

/* Copies at most n characters converted, stops after the terminator, and
   always ends the buffer at position n. */
template <typename Convert>
char *CopyConverted(char *buffer, const char *text, size_t n, Convert convert)
{
    if (buffer == nullptr)
        return buffer;
    if (text == nullptr)
        text = "";
    for (size_t i = 0; i < n; ++i) {
        buffer[i] = text[i] == '\0' ? '\0' : convert(text[i]);
        if (text[i] == '\0')
            break;
    }
    buffer[n] = '\0';
    return buffer;
}

} // namespace

namespace qz::date {

void ResetCaseAlphabets()
{
    gState = 0;
    gLength = 0;
    gLower[0] = gUpper[0] = '\0';
}

} // namespace qz::date

extern "C" {

int16_t QZ_CaseAlphabetsLoaded(void)
{
    if (gState == 0)
        LoadAlphabets();
    return gState;
}

char *QZ_ToLowerInPlace(char *text)
{
    if (text == nullptr)
        return text;
    for (char *p = text; *p != '\0'; ++p)
        *p = StdLower(*p);
    return text;
}

char *QZ_ToLowerCopy(char *buffer, const char *text, size_t n)
{
    return CopyConverted(buffer, text, n, StdLower);
}

char *QZ_ToUpperCopy(char *buffer, const char *text, size_t n)
{
    return CopyConverted(buffer, text, n, StdUpper);
}

char *QZ_ToLowerConfigured(char *buffer, const char *text, size_t n)
{
    if (QZ_CaseAlphabetsLoaded() != 1)
        return QZ_ToLowerCopy(buffer, text, n);
    return CopyConverted(buffer, text, n,
                         [](char c) { return MapThrough(c, gUpper, gLower, StdLower); });
}

char *QZ_ToUpperConfigured(char *buffer, const char *text, size_t n)
{
    if (QZ_CaseAlphabetsLoaded() != 1)
        return QZ_ToUpperCopy(buffer, text, n);
    return CopyConverted(buffer, text, n,
                         [](char c) { return MapThrough(c, gLower, gUpper, StdUpper); });
}

} // extern "C"
