/* The program context: the state of one CGI run, and the process-wide
 * services that reach it (current context, message output, fatal signals). */
#ifndef QZ_QZGLOBAL_H
#define QZ_QZGLOBAL_H

#include "qzdefs.h"
#include "qzmsglist.h"
#include "qzhttprequest.h"
#include "qzhttp.h"

QZ_BEGIN_DECLS

struct QZ_XmlWriter;

/* Longest texts of the context (the arrays hold one more byte). */
#define QZ_CTX_LINEBREAK_MAX 4
#define QZ_CTX_USERID_MAX 30
#define QZ_CTX_PASSWORD_MAX 30
#define QZ_CTX_LINKURL_MAX 2048
#define QZ_CTX_CALLERURL_MAX 1024

/* Prints one message line (signal reports). */
typedef void (*QZ_MessageHook)(const char *text);
/* Ends the process with the given exit code. */
typedef void (*QZ_ExitHook)(int32_t exitCode);

typedef struct QZ_PgmContext {
    char lineBreak[QZ_CTX_LINEBREAK_MAX + 1];   /* separator of database report lines */
    char userId[QZ_CTX_USERID_MAX + 1];         /* login given to the data store */
    char password[QZ_CTX_PASSWORD_MAX + 1];
    int32_t lastDbmsError;                      /* native code of the last checked call */
    int16_t retry;                              /* 1: the last call met a lock, repeat it */
    int16_t closeWindow;                        /* 1: answer with the close-window page */
    char linkUrl[QZ_CTX_LINKURL_MAX + 1];       /* redirect target requested by the events */
    char callerUrl[QZ_CTX_CALLERURL_MAX + 1];   /* "sCallerURL" of a POST, else the referer */
    QZ_HTTP_SrvReq request;                     /* the CGI request, held here */
    QZ_HTTP_Response response;                  /* the response being built, held here */
    QZ_HTTP_Response *responseHandle;           /* always &response after initialisation */
    QZ_MsgList messages;                        /* page messages (QZ_Msg elements) */
    int16_t *connHandle;                        /* data-access connection handle storage */
    struct QZ_XmlWriter *xmlWriter;             /* created by QZ_PgmContext_Init */
    QZ_MessageHook messageHook;                 /* QZ_PrintMessage by default */
    QZ_ExitHook exitHook;                       /* process exit by default */
} QZ_PgmContext;

/* Allocates a context from the default pool and makes it current; NULL when
   the allocation failed. */
QZ_EXPORT QZ_PgmContext *QZ_PgmContext_New(void);
QZ_EXPORT void QZ_PgmContext_Init(QZ_PgmContext *ctx);
QZ_EXPORT void QZ_PgmContext_Free(QZ_PgmContext *ctx);
/* Frees the current context's storage (and clears the current context). */
QZ_EXPORT void QZ_PgmContext_Delete(void);

QZ_EXPORT void QZ_SetCurrentContext(QZ_PgmContext *ctx);
QZ_EXPORT QZ_PgmContext *QZ_GetCurrentContext(void);

/* Writes the text and a line end to standard output, then appends it to the trace file. */
QZ_EXPORT void QZ_PrintMessage(const char *text);
/* The default exit hook: ends the process through the standard exit. */
QZ_EXPORT void QZ_ExitProcess(int32_t exitCode);

/* Installs QZ_SignalHandler for SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM and SIGABRT. */
QZ_EXPORT void QZ_InstallSignalHandlers(void);
QZ_EXPORT void QZ_SignalHandler(int signalNumber);
/* The text QZ_SignalHandler prints first for a signal. */
QZ_EXPORT const char *QZ_SignalText(int signalNumber);

QZ_END_DECLS

#endif
