/* Fixed-buffer text operations used by generated code. */
#ifndef QZ_QZSTRINGS_H
#define QZ_QZSTRINGS_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* The destination of each has room for n + 1 bytes (bound + 1 for QZ_StrConcat). */
QZ_EXPORT char *QZ_RTrimCopy(char *dest, const char *src, size_t n);
QZ_EXPORT int32_t QZ_StrCmpTrim(const char *a, const char *b, int16_t mode);
QZ_EXPORT char *QZ_StrConcat(char *dest, size_t bound, int count, ...);
QZ_EXPORT char *QZ_Trim(char *dest, const char *src, size_t n);
QZ_EXPORT int32_t QZ_StrICmp(const char *a, const char *b);

QZ_END_DECLS

#endif
