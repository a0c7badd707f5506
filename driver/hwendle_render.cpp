// The rendered page of the web object: head, body and form opening, the
// message menu and the script block.
#include <cstdint>
#include <string>

#include "driver/hwendle.h"
#include "qz/qzurl.h"

namespace {

QZ_HTTP_Response *Out(QZ_PgmContext *ctx) { return ctx->responseHandle; }

void Write(QZ_PgmContext *ctx, const char *text) { QZ_HTTP_Response_Write(Out(ctx), text); }

void WriteLine(QZ_PgmContext *ctx, const char *text) { QZ_HTTP_Response_WriteLine(Out(ctx), text); }

constexpr int32_t kWhite = 16777215;

}  // namespace

extern "C" {

void Hwendle_RenderHead(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                        int32_t *n3, char *text) {
    if (data->headWritten != 0) return;
    data->responseStatus = QZ_HTTP_Response_SetContentType(Out(ctx), "text/html");
    data->responseStatus = QZ_HTTP_Response_AddHeader(Out(ctx), "pragma", "no-cache");
    WriteLine(ctx, "<html>");
    WriteLine(ctx, "<head>");
    WriteLine(ctx, "<meta name=\"Generator\" content=\"Quazen C/SQL\">");
    WriteLine(ctx, "<meta name=\"Version\" content=\"7_5_RC.035\">");
    Write(ctx, "<meta name=\"DESCRIPTION\" content=\"");
    QZ_HTTP_Response_WriteHtml(Out(ctx), "wendle");
    WriteLine(ctx, "\">");
    WriteLine(ctx, "<title>");
    Write(ctx, "wendle");
    WriteLine(ctx, "</title>");
    // The page's head-content hook adds nothing.
    WriteLine(ctx, "</head>");
    Write(ctx, "<body");
    if (data->backgroundImage[0] != '\0') {
        Write(ctx, " background=\"");
        Write(ctx, QZ_UrlEncodePath(data->backgroundImage));
        Write(ctx, "\"");
    }
    char colour[16];
    Write(ctx, " bgcolor=");
    Write(ctx, QZ_FormatColor(colour, kWhite));
    Write(ctx, ">");
    Write(ctx, "\n");

    char parameters[QZ_CTX_LINKURL_MAX + 1];
    QZ_HTTP_FormatParameterList(parameters, QZ_CTX_LINKURL_MAX, "", "2224",
                                static_cast<long>(*n1), static_cast<long>(*n2), static_cast<long>(*n3), text);
    std::string form = "<form id=\"MAINFORM\" name=\"MAINFORM\" method=\"POST\" ACTION=\"";
    form += data->urlPrefix;
    form += QZ_HTTP_BuildProgramURL(&data->work[1], "hwendle.exe", parameters);
    form += "\">";
    WriteLine(ctx, form.c_str());
    Hwendle_RenderMessages(ctx, data);
    Write(ctx, "<P>&nbsp;</P>");
    data->headWritten = 1;
}

void Hwendle_RenderMessages(QZ_PgmContext *ctx, Hwendle_Data *) {
    int32_t count = QZ_MsgList_Count(&ctx->messages);
    if (count < 1) return;
    Write(ctx, "<span");  // the page's span attributes are empty
    Write(ctx, ">");
    Write(ctx, "<menu>");
    for (int32_t i = 1; i <= count && i <= INT16_MAX; ++i) {
        Write(ctx, "<li>");
        Write(ctx, QZ_MsgList_Get(&ctx->messages, static_cast<int16_t>(i)));
        Write(ctx, "</li>");
    }
    Write(ctx, "</menu>");
    QZ_MsgList_Free(&ctx->messages);
    Write(ctx, "</span>");
}

void Hwendle_RenderScript(QZ_PgmContext *ctx, Hwendle_Data *) {
    static const char *const kCloseScript[] = {
        "var QZPARAMETERS = new Array();",
        "function QZ_js_close()",
        "{",
        "if (document.forms[0].sCallerURL.value != \"\")",
        "{",
        "location.assign(document.forms[0].sCallerURL.value);",
        "}",
        "else",
        "{",
        "self.close();",
        "}",
        "}",
    };
    WriteLine(ctx, "<script language=\"JavaScript\" type=\"text/javascript\">");
    if (ctx->closeWindow == 0)
        for (const char *line : kCloseScript) WriteLine(ctx, line);
    WriteLine(ctx, "</script>");
}

}  // extern "C"
