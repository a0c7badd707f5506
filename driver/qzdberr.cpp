// The checks that generated code puts after every data-access call, and the
// runtime error reports they write to standard output (and so into the CGI
// response) and to the trace file.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "qz/qzdb.h"
#include "qz/qzglobal.h"
#include "qz/qztrace.h"
#include "runtime/qzrequest_channel.h"

namespace {

const char *LineBreak(const QZ_PgmContext *ctx) { return ctx != nullptr ? ctx->lineBreak : ""; }

__attribute__((format(printf, 1, 0))) std::string FormatV(const char *format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return {};
    std::string text(static_cast<size_t>(n), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, args);
    return text;
}

QZ_PRINTF(1, 2) std::string Format(const char *format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = FormatV(format, args);
    va_end(args);
    return text;
}

// The abort of a failed data-access call: the library is ended first, so that
// its connections are closed before the process goes.
[[noreturn]] void FatalAfterEnd(QZ_PgmContext *ctx, const char *source, int32_t line,
                                const std::string &message) {
    QZ_DB_End();
    QZ_RuntimeAbort(ctx, source, line, -1, "%s", message.c_str());
}

// The records of the call, the first one already in the buffers; each further
// record is read into the same buffers (and native code) as it is printed.
void NonFatalReport(int16_t handle, char *message, char *state, int32_t *native, const char *source,
                    int32_t line) {
    QZ_Printf("\n---- Runtime program error report.\n");
    do {
        QZ_Printf("SQLCODE %ld in source %s line %d.\n", static_cast<long>(*native), source,
                  static_cast<int>(line));
        QZ_Printf("SQLSTATE %s.\n", state);
        QZ_Printf("Error text follows:\n");
        QZ_Printf("%s", message);
    } while (QZ_DB_GetNextConnError(handle, QZ_DB_MESSAGE_MAX, message, QZ_DB_SQLSTATE_MAX, state,
                                    native) != 0);
    QZ_Printf("\n---- End error report. Error Ignored.\n");
}

}  // namespace

extern "C" {

void QZ_RuntimeAbort(QZ_PgmContext *ctx, const char *source, int32_t line, int16_t exitCode,
                     const char *format, ...) {
    const char *lb = LineBreak(ctx);
    QZ_Printf("\n\n%s---- Runtime program error report.%s", lb, lb);
    va_list args;
    va_start(args, format);
    std::string message = FormatV(format, args);
    va_end(args);
    std::fwrite(message.data(), 1, message.size(), qz_RequestOut());
    QZ_Trace(0, "%s", message.c_str());
    QZ_Printf("%s%s", lb, lb);
    QZ_Printf("Program ''%s'' aborted at line %d. Exit code: %hd.", source, static_cast<int>(line),
              exitCode);
    QZ_Printf("%s---- End error report.", lb);
    std::fflush(qz_RequestOut());
    if (ctx != nullptr && ctx->exitHook != nullptr) ctx->exitHook(exitCode);
    std::exit(exitCode);
}

void QZ_DB_CheckCall(QZ_PgmContext *ctx, int16_t status, const char *source, int32_t line) {
    if (status == 0) return;
    FatalAfterEnd(ctx, source, line, Format("Fatal Error in ODBC/OLEDB File '%s', Line %d%s", source,
                  static_cast<int>(line), LineBreak(ctx)));
}

int16_t QZ_DB_CheckError(QZ_PgmContext *ctx, int16_t handle, int32_t mask, int16_t callStatus,
                         int16_t *outStatus, int32_t *outNative, int16_t *outSeverity,
                         int16_t retryAllowed, const char *source, int32_t line) {
    const char *lb = LineBreak(ctx);
    *outSeverity = QZ_SEVERITY_UNCLASSIFIED;
    *outStatus = callStatus;
    *outNative = 0;
    char message[QZ_DB_MESSAGE_MAX + 1] = "";
    char state[QZ_DB_SQLSTATE_MAX + 1] = "";
    int16_t got = QZ_DB_GetFirstConnError(handle, QZ_DB_MESSAGE_MAX, message, QZ_DB_SQLSTATE_MAX,
                                          state, outNative);
    if (got != 0 && *outNative == 0)
        FatalAfterEnd(ctx, source, line, Format("Fatal Error in ODBC/OLEDB Api%sError text follows: %s%s",
                      lb, message, lb));
    if (*outNative == 0) {
        *outSeverity = QZ_SEVERITY_HANDLED;
        return 0;
    }
    int16_t kind = 0;
    if (QZ_DB_GetDBMS(handle, &kind) == 0)
        FatalAfterEnd(ctx, source, line, Format(
                      "Last Error: %s%s Fatal Error: DBMS for connection %d is unknown %s.", message,
                      lb, static_cast<int>(handle), lb));
    if (kind < 1 || kind > 7 || kind == 6)
        FatalAfterEnd(ctx, source, line, Format("Last Error: %s%s Fatal Error: DBMS %d is unknown %s.",
                      message, lb, static_cast<int>(kind), lb));

    QZ_DB_MapNativeError(kind, *outNative, message, mask, outStatus, outSeverity);

    if (*outSeverity == QZ_SEVERITY_FATAL)
        FatalAfterEnd(ctx, source, line, Format("DBMS error code %ld. SqlState %s%s%s.",
                      static_cast<long>(*outNative), state, lb, message));
    if (*outSeverity == QZ_SEVERITY_UNCLASSIFIED) {
        *outSeverity = QZ_SEVERITY_HANDLED;
        switch (*outStatus) {
        case QZ_STATUS_DUPLICATE:
        case QZ_STATUS_NOT_FOUND:
            break;
        case QZ_STATUS_LOCKED:
            if (retryAllowed != 0) *outSeverity = QZ_SEVERITY_RETRY;
            break;
        default:
            NonFatalReport(handle, message, state, outNative, source, line);
            break;
        }
    }
    return *outStatus;
}

}  // extern "C"
