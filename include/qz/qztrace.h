/* Configuration file reader and tracing. */
#ifndef QZ_QZTRACE_H
#define QZ_QZTRACE_H

#include <stdarg.h>
#include "qzdefs.h"

QZ_BEGIN_DECLS

/* Longest configuration line (and so value) the reader handles; a value
   buffer passed to QZ_ReadIniValue must hold QZ_INI_VALUE_MAX + 1 bytes. */
#define QZ_INI_VALUE_MAX 512

/* The file is read once per process and later lookups are served from that
   copy for as long as the file keeps its identity, size and times. */
QZ_EXPORT int16_t QZ_ReadIniValue(const char *envVar, const char *section, const char *key,
                                  const char *fileName, char *value);
QZ_EXPORT void QZ_ReadTraceConfig(void);
QZ_EXPORT void QZ_Trace(int16_t level, const char *format, ...) QZ_PRINTF(2, 3);
QZ_EXPORT void QZ_TraceIndent(int16_t change, const char *format, ...) QZ_PRINTF(2, 3);
QZ_EXPORT void qz_TraceV(int16_t level, int16_t change, const char *format, va_list args) QZ_PRINTF(3, 0);
QZ_EXPORT int16_t QZ_GetTraceLevel(void);
/* Writes to standard output and traces the same message at level 0; 0. */
QZ_EXPORT int QZ_Printf(const char *format, ...) QZ_PRINTF(1, 2);
QZ_EXPORT void QZ_TraceAppendMessage(const char *text);

/* Forget the trace settings, close the trace stream and forget the process's
   copy of the configuration files, so that the next trace call reads the
   configuration again (used by tests and forked children). */
QZ_EXPORT void QZ_TraceReset(void);

QZ_END_DECLS

#endif
