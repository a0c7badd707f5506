/* Static web generation options: whether this run generates static pages or
   serves a CGI request, and the settings of static generation, from the
   command line ("/sd:", "/su:", "/so:", "/sl:", "/sr:") and from qzcfg.ini
   (section "Web", key "SSP_BASE_URL"). One process-wide set per run. */
#ifndef QZ_QZSTATIC_H
#define QZ_QZSTATIC_H

#include "qzdefs.h"
#include "qzdate.h"

QZ_BEGIN_DECLS

/* Option prefixes (compared exactly, case included) and their keys. */
#define QZ_STATIC_OPT_DIR "/sd:"
#define QZ_STATIC_OPT_DYNURL "/su:"
#define QZ_STATIC_OPT_OVERWRITE "/so:"
#define QZ_STATIC_OPT_LINKS "/sl:"
#define QZ_STATIC_OPT_REFDATE "/sr:"
#define QZ_STATIC_KEY_DIR "quazen.staticweb.dir"
#define QZ_STATIC_KEY_DYNURL "quazen.staticweb.dynurl"
#define QZ_STATIC_KEY_OVERWRITE "quazen.staticweb.overwrite"
#define QZ_STATIC_KEY_LINKS "quazen.staticweb.links"
#define QZ_STATIC_KEY_REFDATE "quazen.staticweb.refdate"

/* Overwrite / links value while not set. */
#define QZ_STATIC_UNSET 65535u

/* Size of the buffer behind QZ_StaticWeb_OptionsText: holds every option
   in full, escaped values at their longest. */
#define QZ_STATIC_OPTIONS_TEXT_SIZE 4352

/* Reads the options from argv[first + 1] to argv[argc - 1] (the arguments
   after the program name and the page's own parameters), then the SSP base
   URL from the configuration file. Static mode is 1 without
   GATEWAY_INTERFACE in the environment, and whenever an option is given. */
QZ_EXPORT void QZ_StaticWeb_ParseOptions(int argc, char *const *argv, int first);
/* 0 when key is one of the five option keys (the value is stored),
   1 otherwise (nothing changes). */
QZ_EXPORT int16_t QZ_StaticWeb_SetOption(const char *key, const char *value);
QZ_EXPORT void QZ_StaticWeb_SetSSPBaseURL(const char *text);

QZ_EXPORT int16_t QZ_StaticWeb_IsStatic(void);
/* The texts end in "/" or "\\" unless empty; the empty text when never set. */
QZ_EXPORT const char *QZ_StaticWeb_GetDir(void);
QZ_EXPORT const char *QZ_StaticWeb_GetDynURL(void);
QZ_EXPORT const char *QZ_StaticWeb_GetSSPBaseURL(void);
/* 0 or 1; 1 while unset. */
QZ_EXPORT int16_t QZ_StaticWeb_GetOverwrite(void);
QZ_EXPORT int16_t QZ_StaticWeb_GetLinks(void);
/* The reference date-time (QZ_Now when the options were parsed, unless "/sr:"). */
QZ_EXPORT QZ_DateTime QZ_StaticWeb_GetRefDate(void);
/* 1 when the file's modification is at or after the reference, else 0. */
QZ_EXPORT int16_t QZ_StaticWeb_IsUpToDate(const char *path);
/* In static mode the URL itself; otherwise the SSP base URL followed by the
   URL. At most size characters, then a zero. Returns the buffer. */
QZ_EXPORT char *QZ_StaticWeb_BuildLink(char *buffer, const char *url, size_t size);
/* The settings as command-line options for another program, each as
   blank, double quote, prefix, value, double quote; in a static buffer. */
QZ_EXPORT const char *QZ_StaticWeb_OptionsText(void);
/* Releases the stored texts and marks them unset (exit path). */
QZ_EXPORT void QZ_StaticWeb_Free(void);

/* Copies text with each double quote written as backslash + quote, and the
   backslashes in front of a quote or of the end doubled, so that the text can
   stand inside double quotes on a command line. Writes at most n characters
   (never half an escape) and then a zero. Returns the buffer. */
QZ_EXPORT char *QZ_EscapeQuotes(char *buffer, const char *text, size_t n);

QZ_END_DECLS

#endif
