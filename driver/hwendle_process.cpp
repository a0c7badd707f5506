// Event processing of the web object: the Start event and what the page
// answers with (a redirect, the close-window page or the rendered page).
#include <cstring>

#include "driver/hwendle.h"
#include "qz/qzstrings.h"
#include "qz/qztrace.h"

#ifndef HWENDLE_SITE_PREFIX
// The public site that serves the ".aspx" counterpart of the page. A reserved
// example domain: installations set theirs with key "SitePrefix" of section
// "Web" in qzcfg.ini (or at build time with -DHWENDLE_SITE_PREFIX=...).
#define HWENDLE_SITE_PREFIX "https://www.example.com/main/"
#endif

namespace {

constexpr const char *kClosePage =
    "<html><head><title>Close window</title></head><body><script language=\"JavaScript\" "
    "type=\"text/javascript\">self.close();</script></body></html>";

char g_sitePrefix[QZ_INI_VALUE_MAX + 1];
bool g_sitePrefixRead = false;

bool IsBlank(const char *text) {
    while (*text == ' ') ++text;
    return *text == '\0';
}

QZ_HTTP_Response *Out(QZ_PgmContext *ctx) { return ctx->responseHandle; }

// Close window: back to the caller when there is one, else the page that closes itself.
void CloseOrReturn(QZ_PgmContext *ctx) {
    if (IsBlank(ctx->callerUrl))
        QZ_HTTP_Response_Write(Out(ctx), kClosePage);
    else
        QZ_HTTP_Response_Redirect(&ctx->request, Out(ctx), ctx->callerUrl);
}

// Before and after the events: the close-window answer or the requested link
// take the place of the page.
bool AnsweredWithoutPage(QZ_PgmContext *ctx) {
    if (ctx->closeWindow == 1) {
        CloseOrReturn(ctx);
        return true;
    }
    if (!IsBlank(ctx->linkUrl)) {
        QZ_HTTP_Response_Redirect(&ctx->request, Out(ctx), ctx->linkUrl);
        return true;
    }
    return false;
}

}  // namespace

extern "C" {

const char *Hwendle_SitePrefix(void) {
    if (!g_sitePrefixRead) {
        g_sitePrefixRead = true;
        if (QZ_ReadIniValue("QZCFG", "Web", "SitePrefix", "qzcfg.ini", g_sitePrefix) == 0 ||
            g_sitePrefix[0] == '\0')
            QZ_StrConcat(g_sitePrefix, QZ_INI_VALUE_MAX, 1, HWENDLE_SITE_PREFIX);
    }
    return g_sitePrefix;
}

void Hwendle_ResetSitePrefix(void) { g_sitePrefixRead = false; }

void Hwendle_StartEvent(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                        int32_t *n3, char *text) {
    char name[HWENDLE_NAME_MAX + 1];
    char base[HWENDLE_BASEURL_MAX + 1];
    char parameters[QZ_CTX_LINKURL_MAX + 1];
    QZ_Trim(name, data->programName, HWENDLE_NAME_MAX);
    QZ_StrConcat(base, HWENDLE_BASEURL_MAX, 3, Hwendle_SitePrefix(), name, ".aspx");
    QZ_HTTP_FormatParameterList(parameters, QZ_CTX_LINKURL_MAX, "", "2224",
                                static_cast<long>(*n1), static_cast<long>(*n2), static_cast<long>(*n3), text);
    QZ_StrConcat(ctx->linkUrl, QZ_CTX_LINKURL_MAX, 1,
                 QZ_HTTP_BuildProgramURL(&data->work[0], base, parameters));
}

void Hwendle_Refresh(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2, int32_t *n3,
                     char *text) {
    Hwendle_StartEvent(ctx, data, n1, n2, n3, text);
    // The page's validity hook has no conditions: it always allows the page.
    if (IsBlank(ctx->linkUrl) && ctx->closeWindow != 1) Hwendle_RenderHead(ctx, data, n1, n2, n3, text);
}

void Hwendle_WebProcess(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                        int32_t *n3, char *text) {
    if (AnsweredWithoutPage(ctx)) return;
    Hwendle_Refresh(ctx, data, n1, n2, n3, text);
    if (AnsweredWithoutPage(ctx)) return;
    QZ_HTTP_Response_WriteLine(Out(ctx), "</form>");
    Hwendle_RenderScript(ctx, data);
    QZ_HTTP_Response_WriteLine(Out(ctx), "</body>");
    QZ_HTTP_Response_WriteLine(Out(ctx), "</html>");
}

}  // extern "C"
