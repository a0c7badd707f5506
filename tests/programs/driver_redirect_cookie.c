/* A CGI program on the runtime that sets a cookie and redirects: with a
   cookie pending, the redirect is the "Redirect w/cookies" page whose script
   replaces the location. The target is "landing.html", a page beside the
   program: the redirect completes it with the server's own name, port and
   script folder, so the cookie and the landing page share a host. */
#include <stdio.h>

#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"

static int run(int argc, char **argv) {
    (void)argc;
    (void)argv;
    QZ_PgmContext *ctx;
    QZ_GetDefaultPool();
    ctx = QZ_PgmContext_New();
    if (ctx == NULL) return 1;
    QZ_PgmContext_Init(ctx);
    QZ_HTTP_Response_Init(&ctx->response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&ctx->response, NULL);
    QZ_HTTP_SrvReq_Init(&ctx->request);
    QZ_HTTP_SrvReq_Read(&ctx->request, 0);

    QZ_HTTP_Response_SetCookie(&ctx->response, "qzvisit", "redirected", "/", 0, 0, "", 0);
    QZ_HTTP_Response_Redirect(&ctx->request, &ctx->response, "landing.html");

    QZ_HTTP_Response_End(&ctx->response);
    QZ_HTTP_SrvReq_Free(&ctx->request);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    QZ_MemPool_delete(QZ_GetDefaultPool());
    QZ_SetDefaultPool(NULL);
    return 0;
}

int main(int argc, char **argv) { return QZ_Serve(argc, argv, run); }
