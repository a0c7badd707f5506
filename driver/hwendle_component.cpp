// The web object embedded in another page: it renders into the caller's
// string with the context's response and message list set aside meanwhile.
#include <cstdint>

#include "driver/hwendle.h"
#include "qz/qzstrings.h"

namespace {

void Initialize(void *block, void *const *parameters) {
    auto *data = static_cast<Hwendle_Data *>(block);
    Hwendle_InitData(data);
    for (int i = 0; i < 3; ++i)
        data->number[i] = parameters[i] != nullptr ? *static_cast<const int32_t *>(parameters[i]) : 0;
    data->text[0] = '\0';
    if (parameters[3] != nullptr)
        QZ_StrConcat(data->text, HWENDLE_TEXT_MAX, 1, static_cast<const char *>(parameters[3]));
}

const char *Render(QZ_PgmContext *ctx, void *block, QZ_CStr *buffer, const char *urlPrefix) {
    auto *data = static_cast<Hwendle_Data *>(block);
    const QZ_HTTP_Response savedResponse = ctx->response;
    const QZ_CStr savedMethod = ctx->request.requestMethod;

    QZ_HTTP_Response_Init(&ctx->response, "");
    QZ_CStr_SetText(buffer, "");
    QZ_HTTP_Response_SetOutputBuffer(&ctx->response, buffer);
    QZ_CStr_Init(&ctx->request.requestMethod);
    data->savedMessages[0] = ctx->messages;
    ctx->messages = data->savedMessages[1];
    QZ_StrConcat(data->urlPrefix, HWENDLE_PREFIX_MAX, 1, urlPrefix != nullptr ? urlPrefix : "");
    data->asComponent = 1;

    Hwendle_Initialize(ctx, data);
    Hwendle_WebStart(ctx, data);
    Hwendle_WebProcess(ctx, data, &data->number[0], &data->number[1], &data->number[2], data->text);
    Hwendle_Cleanup(ctx, data);

    data->savedMessages[1] = ctx->messages;
    ctx->messages = data->savedMessages[0];
    QZ_MsgList_Init(&data->savedMessages[0]);  // the context owns that list again
    QZ_HTTP_Response_End(&ctx->response);
    QZ_CStr_Free(&ctx->request.requestMethod);
    ctx->request.requestMethod = savedMethod;
    ctx->response = savedResponse;
    return buffer->data;
}

void Idle(void *) {}

void Release(void *block) { Hwendle_Delete(static_cast<Hwendle_Data *>(block)); }

}  // namespace

extern "C" void Hwendle_Component(QZ_ComponentDesc *desc, QZ_PgmContext *) {
    desc->data = Hwendle_New();
    desc->initialize = Initialize;
    desc->render = Render;
    desc->idle = Idle;
    desc->release = Release;
}
