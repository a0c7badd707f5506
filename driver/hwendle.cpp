// The web object "wendle": its data block and the steps the driver calls.
#include <time.h>

#include <cstring>

#include "driver/hwendle.h"
#include "qz/qzdb.h"
#include "qz/qzpgmmem.h"
#include "qz/qzstrings.h"

namespace {

constexpr const char *kSource = "hwendle";
constexpr const char *kDataStore = "Default";
constexpr const char *kUserId = "valdlocal";
constexpr const char *kPassword = "mervoslan";

void Pause() {
    struct timespec pause = {0, HWENDLE_RETRY_PAUSE_MS * 1000000L};
    nanosleep(&pause, nullptr);
}

bool IsPost(QZ_PgmContext *ctx) {
    return QZ_StrCmpTrim(QZ_HTTP_SrvReq_Get_Method(&ctx->request), "POST", 1) == 0;
}

void SetCallerUrl(QZ_PgmContext *ctx, const char *url) {
    QZ_StrConcat(ctx->callerUrl, QZ_CTX_CALLERURL_MAX, 1, url);
}

// Connect and disconnect: the call is repeated while the check asks for a
// retry (a locked resource), the last allowed attempt without retry.
template <typename Call>
int16_t CallWithRetry(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t line, Call call) {
    int16_t result = 0;
    int attempt = 0;
    do {
        if (attempt > 0) Pause();
        ++attempt;
        int16_t status = call();
        int16_t retryAllowed = attempt < HWENDLE_CONNECT_ATTEMPTS ? 1 : 0;
        result = QZ_DB_CheckError(ctx, *ctx->connHandle, 0, status, &data->status,
                                  &ctx->lastDbmsError, &ctx->retry, retryAllowed, kSource, line);
    } while (ctx->retry != 0);
    return result;
}

}  // namespace

extern "C" {

Hwendle_Data *Hwendle_New(void) {
    auto *data = static_cast<Hwendle_Data *>(QZ_malloc(nullptr, sizeof(Hwendle_Data), kSource, 666));
    if (data == nullptr) return nullptr;
    std::memset(data, 0, sizeof *data);
    QZ_MsgList_Init(&data->savedMessages[0]);
    QZ_MsgList_Init(&data->savedMessages[1]);
    QZ_CStr_Init(&data->work[0]);
    QZ_CStr_Init(&data->work[1]);
    return data;
}

void Hwendle_Delete(Hwendle_Data *data) {
    if (data == nullptr) return;
    QZ_MsgList_Free(&data->savedMessages[0]);
    QZ_MsgList_Free(&data->savedMessages[1]);
    QZ_CStr_Free(&data->work[0]);
    QZ_CStr_Free(&data->work[1]);
    QZ_free(nullptr, data);
}

void Hwendle_Connect(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *, int32_t *, int32_t *, char *) {
    std::strcpy(ctx->lineBreak, "<BR>");
    ctx->connHandle = static_cast<int16_t *>(QZ_malloc(nullptr, sizeof(int16_t), kSource, 168));
    if (ctx->connHandle == nullptr)
        QZ_RuntimeAbort(ctx, kSource, 168, -1, "Not enough memory for the connection handle.");
    *ctx->connHandle = 0;
    QZ_StrConcat(ctx->userId, QZ_CTX_USERID_MAX, 1, kUserId);
    QZ_StrConcat(data->userId, HWENDLE_NAME_MAX, 1, ctx->userId);
    QZ_StrConcat(ctx->password, QZ_CTX_PASSWORD_MAX, 1, kPassword);
    QZ_StrConcat(data->password, HWENDLE_NAME_MAX, 1, ctx->password);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetUserId(kDataStore, ctx->userId), kSource, 173);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetPassword(kDataStore, ctx->password), kSource, 174);
    data->connectStatus = CallWithRetry(ctx, data, 176, [ctx] { return QZ_DB_Connect(kDataStore, ctx->connHandle); });
}

void Hwendle_Disconnect(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *, int32_t *, int32_t *, char *) {
    if (ctx->connHandle == nullptr) return;
    data->disconnectStatus = CallWithRetry(ctx, data, 189, [ctx] { return QZ_DB_Disconnect(*ctx->connHandle); });
    QZ_free(nullptr, ctx->connHandle);
    ctx->connHandle = nullptr;
}

void Hwendle_Before(QZ_PgmContext *, Hwendle_Data *, int32_t *, int32_t *, int32_t *, char *) {}

void Hwendle_After(QZ_PgmContext *, Hwendle_Data *, int32_t *, int32_t *, int32_t *, char *) {}

void Hwendle_Execute(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2, int32_t *n3,
                     char *text) {
    Hwendle_InitData(data);
    Hwendle_Initialize(ctx, data);
    Hwendle_Initialize(ctx, data);  // the event runs once however often the page initialises
    if (data->returnFlag == 0) {
        Hwendle_WebStart(ctx, data);
        Hwendle_WebProcess(ctx, data, n1, n2, n3, text);
    }
    Hwendle_Cleanup(ctx, data);
}

void Hwendle_InitData(Hwendle_Data *data) {
    data->connectStatus = 0;
    data->status = 0;
    data->disconnectStatus = 0;
    data->returnFlag = 0;
    data->responseStatus = 0;
    data->initialised = 0;
    data->headWritten = 0;
    data->asComponent = 0;
    data->userId[0] = '\0';
    data->password[0] = '\0';
    data->programName[0] = '\0';
    data->urlPrefix[0] = '\0';
    data->backgroundImage[0] = '\0';
}

void Hwendle_Initialize(QZ_PgmContext *, Hwendle_Data *data) {
    if (data->initialised != 0) return;
    // The page's Initialize event has no statements.
    data->initialised = 1;
}

void Hwendle_WebStart(QZ_PgmContext *ctx, Hwendle_Data *data) {
    data->headWritten = 0;
    data->responseStatus = 0;
    ctx->linkUrl[0] = '\0';
    ctx->closeWindow = 0;
    if (IsPost(ctx))
        SetCallerUrl(ctx, QZ_HTTP_SrvReq_GetVariable(&ctx->request, "sCallerURL"));
    else
        SetCallerUrl(ctx, QZ_HTTP_SrvReq_Get_Referer(&ctx->request));
    Hwendle_Start(ctx, data);
}

void Hwendle_Start(QZ_PgmContext *ctx, Hwendle_Data *data) {
    QZ_StrConcat(data->programName, HWENDLE_NAME_MAX, 1, "Hwendle");
    if (IsPost(ctx)) SetCallerUrl(ctx, QZ_HTTP_SrvReq_GetVariable(&ctx->request, "sCallerURL"));
}

void Hwendle_Cleanup(QZ_PgmContext *, Hwendle_Data *) {}

void Hwendle_Call(QZ_PgmContext *ctx, int32_t *n1, int32_t *n2, int32_t *n3, char *text) {
    Hwendle_Data *data = Hwendle_New();
    if (data == nullptr) return;
    Hwendle_Before(ctx, data, n1, n2, n3, text);
    Hwendle_Execute(ctx, data, n1, n2, n3, text);
    Hwendle_After(ctx, data, n1, n2, n3, text);
    Hwendle_Delete(data);
}

}  // extern "C"
