// The program context of a run: its creation, initialisation and release,
// the process-wide current context, and the default hooks.
#include <cstdio>
#include <cstdlib>

#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzshell.h"
#include "qz/qztrace.h"
#include "qz/qzxml.h"
#include "runtime/qzrequest_channel.h"

namespace {
QZ_PgmContext *g_current = nullptr;
}

extern "C" {

void QZ_SetCurrentContext(QZ_PgmContext *ctx) { g_current = ctx; }

QZ_PgmContext *QZ_GetCurrentContext(void) { return g_current; }

void QZ_PrintMessage(const char *text) {
    if (text == nullptr) text = "";
    std::fputs(text, qz_RequestOut());
    std::fputc('\n', qz_RequestOut());
    QZ_TraceAppendMessage(text);
}

void QZ_ExitProcess(int32_t exitCode) {
    std::fflush(qz_RequestOut());
    std::exit(exitCode);
}

QZ_PgmContext *QZ_PgmContext_New(void) {
    // The request record inside is large (the form variable table); only the
    // parts that the initialisers set are ever touched, so it is not cleared.
    auto *ctx = static_cast<QZ_PgmContext *>(QZ_malloc(nullptr, sizeof(QZ_PgmContext), "qzpgmmem_st", 25));
    if (ctx == nullptr) return nullptr;
    QZ_SetCurrentContext(ctx);
    ctx->messageHook = QZ_PrintMessage;
    ctx->exitHook = QZ_ExitProcess;
    return ctx;
}

void QZ_PgmContext_Init(QZ_PgmContext *ctx) {
    ctx->lineBreak[0] = '\0';
    ctx->userId[0] = '\0';
    ctx->password[0] = '\0';
    ctx->lastDbmsError = 0;
    ctx->retry = 0;
    ctx->closeWindow = 0;
    ctx->linkUrl[0] = '\0';
    ctx->callerUrl[0] = '\0';
    QZ_MsgList_Init(&ctx->messages);
    ctx->connHandle = nullptr;
    ctx->xmlWriter = static_cast<QZ_XmlWriter *>(QZ_malloc(nullptr, sizeof(QZ_XmlWriter), "qzglobal", 38));
    if (ctx->xmlWriter != nullptr) QZ_xmlinit(ctx->xmlWriter);
    QZ_HTTP_ResponseAttach(&ctx->responseHandle, ctx);
}

void QZ_PgmContext_Free(QZ_PgmContext *ctx) {
    qz_Shell_ReapChildren(); // shell children of this run that have ended
    QZ_MsgList_Free(&ctx->messages);
    if (ctx->xmlWriter != nullptr) {
        QZ_xmlclear(ctx->xmlWriter);
        QZ_free(nullptr, ctx->xmlWriter);
        ctx->xmlWriter = nullptr;
    }
    QZ_HTTP_ResponseDetach(&ctx->responseHandle);
}

void QZ_PgmContext_Delete(void) {
    QZ_PgmContext *ctx = QZ_GetCurrentContext();
    if (ctx == nullptr) return;
    // Cleared first: a signal arriving now must not find freed storage.
    QZ_SetCurrentContext(nullptr);
    QZ_free(nullptr, ctx);
}

}  // extern "C"
