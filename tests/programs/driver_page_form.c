/* A CGI program that answers with the web object's rendered page: the head,
   the form that posts back to hwendle.exe with the four parameters of the
   query string, and the script block. These are the page's own render steps,
   in the order its event processing runs them when no link is requested
   (hwendle.exe itself always has a link, so it always redirects). */
#include <stdio.h>

#include "driver/hwendle.h"
#include "driver/qzmdl.h"
#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"

static int run(int argc, char **argv) {
    (void)argc;
    (void)argv;
    char number[QZMDL_PARAMETER_MAX + 1];
    char text[HWENDLE_TEXT_MAX + 1];
    int32_t n1, n2, n3;
    QZ_PgmContext *ctx;
    Hwendle_Data *data;
    QZ_GetDefaultPool();
    ctx = QZ_PgmContext_New();
    if (ctx == NULL) return 1;
    QZ_PgmContext_Init(ctx);
    QZ_HTTP_Response_Init(&ctx->response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&ctx->response, NULL);
    QZ_HTTP_SrvReq_Init(&ctx->request);
    QZ_HTTP_SrvReq_Read(&ctx->request, 0);
    n1 = QZ_ParameterToLong(QZ_HTTP_SrvReq_GetParameter(&ctx->request, number, QZMDL_PARAMETER_MAX));
    n2 = QZ_ParameterToLong(QZ_HTTP_SrvReq_GetParameter(&ctx->request, number, QZMDL_PARAMETER_MAX));
    n3 = QZ_ParameterToLong(QZ_HTTP_SrvReq_GetParameter(&ctx->request, number, QZMDL_PARAMETER_MAX));
    QZ_HTTP_SrvReq_GetParameter(&ctx->request, text, HWENDLE_TEXT_MAX);

    data = Hwendle_New();
    Hwendle_InitData(data);
    Hwendle_Initialize(ctx, data);
    Hwendle_WebStart(ctx, data);
    Hwendle_RenderHead(ctx, data, &n1, &n2, &n3, text);
    QZ_HTTP_Response_WriteLine(ctx->responseHandle, "</form>");
    Hwendle_RenderScript(ctx, data);
    QZ_HTTP_Response_WriteLine(ctx->responseHandle, "</body>");
    QZ_HTTP_Response_WriteLine(ctx->responseHandle, "</html>");
    Hwendle_Delete(data);

    QZ_HTTP_Response_End(&ctx->response);
    QZ_HTTP_SrvReq_Free(&ctx->request);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    QZ_MemPool_delete(QZ_GetDefaultPool());
    QZ_SetDefaultPool(NULL);
    return 0;
}

int main(int argc, char **argv) { return QZ_Serve(argc, argv, run); }
