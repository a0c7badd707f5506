/* Dynamic strings. */
#ifndef QZ_QZCSTR_H
#define QZ_QZCSTR_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

typedef struct QZ_CStr {
    uint32_t capacity; /* text bytes the block holds, without the terminator; 0 = shared empty */
    uint32_t length;   /* bytes of text */
    char *data;        /* zero-terminated text, never NULL */
} QZ_CStr;

QZ_EXPORT extern char QZ_EmptyString[]; /* the shared empty string: never written */

QZ_EXPORT void QZ_CStr_Init(QZ_CStr *s);
QZ_EXPORT void QZ_CStr_Free(QZ_CStr *s);
QZ_EXPORT QZ_Flag QZ_CStr_Reserve(QZ_CStr *s, uint32_t needed);
QZ_EXPORT void QZ_CStr_Set(QZ_CStr *s, const char *bytes, uint32_t length);
QZ_EXPORT void QZ_CStr_SetText(QZ_CStr *s, const char *text);
QZ_EXPORT QZ_CStr *QZ_CStr_Assign(QZ_CStr *s, const QZ_CStr *source);
QZ_EXPORT QZ_CStr *QZ_CStr_Concat(QZ_CStr *s, const QZ_CStr *a, const QZ_CStr *b);
QZ_EXPORT QZ_CStr *QZ_CStr_Append(QZ_CStr *s, const char *bytes, uint32_t length);
QZ_EXPORT void QZ_CStr_AppendText(QZ_CStr *s, const char *text);
QZ_EXPORT void QZ_CStr_AppendChar(QZ_CStr *s, char c);
QZ_EXPORT void QZ_CStr_PadRight(QZ_CStr *s, uint32_t newLength, const char *fill);
QZ_EXPORT QZ_Flag QZ_CStr_Resize(QZ_CStr *s, uint32_t newLength);
QZ_EXPORT QZ_CStr *QZ_CStr_AssignTrimRight(QZ_CStr *s, const QZ_CStr *source);
QZ_EXPORT uint32_t QZ_CStr_Length(const QZ_CStr *s);
QZ_EXPORT char *QZ_CStr_Data(const QZ_CStr *s);
QZ_EXPORT QZ_Flag QZ_CStr_IsEmpty(const QZ_CStr *s);
QZ_EXPORT void QZ_CStr_Print(const QZ_CStr *s);

/* Fixed-buffer trimming: the destination has room for n + 1 bytes. */
QZ_EXPORT char *QZ_StrCopyTrimLeft(char *dest, const char *src, size_t n);
QZ_EXPORT char *QZ_StrCopyTrim(char *dest, const char *src, size_t n);

QZ_END_DECLS

#endif
