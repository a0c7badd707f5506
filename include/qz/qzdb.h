/* Data-access layer: data stores, connections and their error reports.
 *
 * A data store is declared by name, configured, and then connected; the
 * connection is known by a 16-bit handle. Every call returns a 16-bit status,
 * QZ_DB_OK (0) on success. The backend behind a data store (the embedded
 * SQLite database by default, or ODBC) is chosen in qzcfg.ini. */
#ifndef QZ_QZDB_H
#define QZ_QZDB_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

struct QZ_PgmContext;

/* Statuses of the data-access calls. */
#define QZ_DB_OK 0
#define QZ_DB_ERROR (-1)          /* the database refused the call; its diagnostics are kept */
#define QZ_DB_ERR_NOSTORE (-2)    /* no data store of that name was declared */
#define QZ_DB_ERR_ARGUMENT (-3)   /* a null or over-long argument */
#define QZ_DB_ERR_HANDLE (-4)     /* the handle names no connection */
#define QZ_DB_ERR_NOMEMORY (-5)   /* storage ran out */
#define QZ_DB_ERR_STATE (-6)      /* the call does not fit the data store's state */
#define QZ_DB_ERR_BACKEND (-7)    /* the configured backend is unknown or cannot be loaded */

/* Largest error text and SQLSTATE the error readers deliver (buffers hold one more byte). */
#define QZ_DB_MESSAGE_MAX 255
#define QZ_DB_SQLSTATE_MAX 255

/* DBMS kinds delivered by QZ_DB_GetDBMS; the error reports interpret 1 to 5 and 7. */
#define QZ_DBMS_SQLSERVER 1  /* Microsoft SQL Server and Sybase: message numbers */
#define QZ_DBMS_ORACLE 2     /* Oracle error numbers */
#define QZ_DBMS_DB2 3        /* DB2 SQLCODE */
#define QZ_DBMS_DB2_400 4    /* DB2 for i (AS/400) SQLCODE */
#define QZ_DBMS_INFORMIX 5   /* Informix error numbers */
#define QZ_DBMS_MYSQL 6      /* MySQL and MariaDB: no code table, every error is fatal */
#define QZ_DBMS_OTHER 7      /* PostgreSQL, SQLite and any other DBMS */

/* The connection functions, in the order of a run. */
QZ_EXPORT void QZ_DB_Init(int32_t reserved);
QZ_EXPORT int16_t QZ_DB_Declare_Conn(const char *dataStore, int32_t kind);
QZ_EXPORT int16_t QZ_DB_ConnSetDSName(const char *dataStore, const char *dataSourceName);
QZ_EXPORT int16_t QZ_DB_ConnSetTrnInt(const char *dataStore, int32_t transactionMode);
QZ_EXPORT int16_t QZ_DB_ConnSetPrompt(const char *dataStore, int32_t promptMode);
QZ_EXPORT int16_t QZ_DB_ConnSetConnData(const char *dataStore, const char *connectionText);
QZ_EXPORT int16_t QZ_DB_ConnSetUserId(const char *dataStore, const char *userId);
QZ_EXPORT int16_t QZ_DB_ConnSetPassword(const char *dataStore, const char *password);
QZ_EXPORT int16_t QZ_DB_Connect(const char *dataStore, int16_t *handle);
QZ_EXPORT int16_t QZ_DB_Disconnect(int16_t handle);
/* Error readers: message and SQLSTATE get at most messageMax / stateMax
   characters and a terminating zero. First: non-zero with native code 0 means
   the error could not be described; otherwise native code 0 means "no error".
   Next: non-zero while a further error was delivered. */
QZ_EXPORT int16_t QZ_DB_GetFirstConnError(int16_t handle, int32_t messageMax, char *message,
                                          int32_t stateMax, char *sqlState, int32_t *nativeCode);
QZ_EXPORT int16_t QZ_DB_GetNextConnError(int16_t handle, int32_t messageMax, char *message,
                                         int32_t stateMax, char *sqlState, int32_t *nativeCode);
QZ_EXPORT int16_t QZ_DB_GetDBMS(int16_t handle, int16_t *kind);
QZ_EXPORT void QZ_DB_End(void);

/* Program statuses written by QZ_DB_CheckError. */
#define QZ_STATUS_OK 0
#define QZ_STATUS_DUPLICATE 1
#define QZ_STATUS_NOT_FOUND 101
#define QZ_STATUS_LOCKED 103
#define QZ_STATUS_MISSING 105
#define QZ_STATUS_EXISTS 106
#define QZ_STATUS_NAME_IN_USE 107
#define QZ_STATUS_INTEGRITY 500
#define QZ_STATUS_OTHER 999

/* Severities. */
#define QZ_SEVERITY_HANDLED 0
#define QZ_SEVERITY_RETRY 1
#define QZ_SEVERITY_FATAL 2
#define QZ_SEVERITY_UNCLASSIFIED 3

/* Handled-errors mask bits passed by generated code. */
#define QZ_HANDLE_LOCKED 1
#define QZ_HANDLE_MISSING 2
#define QZ_HANDLE_DUPLICATE 4
#define QZ_HANDLE_EXISTS 8

/* Returns only when status is 0; otherwise the fatal report ends the process. */
QZ_EXPORT void QZ_DB_CheckCall(struct QZ_PgmContext *ctx, int16_t status, const char *source,
                               int32_t line);
/* Classifies the connection's error (see the reports in docs/driver.md); returns
   the out status, or 0 when the connection reports no error. */
QZ_EXPORT int16_t QZ_DB_CheckError(struct QZ_PgmContext *ctx, int16_t handle, int32_t handledMask,
                                   int16_t callStatus, int16_t *outStatus, int32_t *outNative,
                                   int16_t *outSeverity, int16_t retryAllowed, const char *source,
                                   int32_t line);
/* Maps a native code of a DBMS kind to a program status and a severity (steps of
   QZ_DB_CheckError without the report); message is consulted by kind 7 only. */
QZ_EXPORT void QZ_DB_MapNativeError(int16_t kind, int32_t native, const char *message,
                                    int32_t handledMask, int16_t *outStatus, int16_t *outSeverity);
#if defined(__GNUC__)
#define QZ_NORETURN __attribute__((noreturn))
#else
#define QZ_NORETURN
#endif

/* Writes the runtime abort report and ends the process with exitCode. */
QZ_EXPORT QZ_NORETURN void QZ_RuntimeAbort(struct QZ_PgmContext *ctx, const char *source,
                                           int32_t line, int16_t exitCode, const char *format, ...)
    QZ_PRINTF(5, 6);

QZ_END_DECLS

#endif
