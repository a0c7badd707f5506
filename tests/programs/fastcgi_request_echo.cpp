// A program on the runtime that answers every request with what it read:
// every field of the request, its form variables and cookies, and how many
// pool blocks were live when the request started. The first program parameter
// picks what else it does, so that one program shows every kind of response
// in both modes (CGI, FastCGI):
//   dump    the fields only          leak    leaves three pool blocks behind
//   cookie  sets a cookie, redirects cached  cached mode with Content-Length
//   xml     an XML response through the writer's stdout handler
//   abort   part of a page, then the runtime abort report (exit code -1)
//   crash   part of a page, then SIGSEGV          sleep   waits 1 s first
//   status  a 404 page with added headers
// Output depends on the request only, never on the process, so the bytes of
// both modes can be compared.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "qz/qzcookie.h"
#include "qz/qzdb.h"
#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"
#include "qz/qzxml.h"

namespace {

std::string Escaped(const char *text) {
    std::string out;
    for (const char *p = text; *p != '\0'; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c >= 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out;
}

void Line(QZ_HTTP_Response *out, const char *name, const std::string &value) {
    std::string line = std::string(name) + "=" + value;
    QZ_HTTP_Response_WriteLine(out, line.c_str());
}

void Dump(QZ_PgmContext *ctx, uint32_t blocksAtStart) {
    QZ_HTTP_Response *out = ctx->responseHandle;
    const QZ_HTTP_SrvReq &r = ctx->request;
    Line(out, "pool blocks at start", std::to_string(blocksAtStart));
    const std::pair<const char *, const QZ_CStr *> fields[] = {
        {"SERVER_SOFTWARE", &r.serverSoftware}, {"SERVER_NAME", &r.serverName},
        {"SERVER_PROTOCOL", &r.serverProtocol}, {"GATEWAY_INTERFACE", &r.gatewayInterface},
        {"REQUEST_METHOD", &r.requestMethod},   {"PATH_INFO", &r.pathInfo},
        {"SCRIPT_NAME", &r.scriptName},         {"QUERY_STRING", &r.queryString},
        {"REMOTE_HOST", &r.remoteHost},         {"REMOTE_ADDR", &r.remoteAddr},
        {"HTTP_X_UP_SUBNO", &r.subscriberNo},   {"CONTENT_TYPE", &r.contentType},
        {"HTTP_REFERER", &r.referer},           {"HTTP_ACCEPT", &r.accept},
        {"HTTP_USER_AGENT", &r.userAgent},      {"browser version", &r.browserVersion},
        {"content", &r.content}};
    for (const auto &[name, field] : fields) Line(out, name, Escaped(field->data));
    Line(out, "content length", std::to_string(r.contentLength));
    Line(out, "server port", std::to_string(r.serverPort));
    Line(out, "secure", std::to_string(r.secure));
    Line(out, "browser kind", std::to_string(r.browserKind));
    Line(out, "device markup", std::to_string(r.deviceMarkup));
    Line(out, "form variables", std::to_string(r.variables.count));
    for (uint32_t i = 0; i < r.variables.count; ++i)
        Line(out, r.variables.names[i], Escaped(r.variables.values[i]));
    char buffer[256];
    for (const char *name : {"a", "b", "sid", "qzvisit"}) {
        buffer[0] = '\0';
        Line(out, (std::string("cookie ") + name).c_str(),
             Escaped(QZ_HTTP_GetCookie(&ctx->response, &ctx->request, buffer, name, 255)));
    }
    for (int i = 0; i < 3; ++i) Line(out, "parameter", Escaped(QZ_HTTP_SrvReq_GetParameter(&ctx->request, buffer, 255)));
}

int Run(int, char **) {
    QZ_MemPool *pool = QZ_GetDefaultPool();
    const uint32_t blocksAtStart = pool->count;
    QZ_PgmContext *ctx = QZ_PgmContext_New();
    if (ctx == nullptr) return 1;
    QZ_InstallSignalHandlers();
    QZ_PgmContext_Init(ctx);
    QZ_HTTP_Response_Init(&ctx->response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&ctx->response, nullptr);
    QZ_HTTP_SrvReq_Init(&ctx->request);
    QZ_HTTP_SrvReq_Read(&ctx->request, 0);
    std::strcpy(ctx->lineBreak, "<BR>");

    char mode[64];
    QZ_HTTP_SrvReq_GetParameter(&ctx->request, mode, sizeof mode - 1);
    QZ_HTTP_Response *out = ctx->responseHandle;
    const std::string m = mode;
    if (m == "sleep") sleep(1);
    if (m == "cookie") {
        QZ_HTTP_Response_SetCookie(&ctx->response, "sid", "a b", "/", 0, 0, "", 0);
        QZ_HTTP_Response_Redirect(&ctx->request, out, "landing.html");
    } else if (m == "xml") {
        QZ_HTTP_ResponseStartXML(ctx->xmlWriter, out);
        QZ_xmlstartdocument(ctx->xmlWriter, "UTF-8", 1);
        QZ_xmlbeginelement(ctx->xmlWriter, "echo");
        QZ_xmlvaluestr(ctx->xmlWriter, "method", ctx->request.requestMethod.data);
        QZ_xmlvaluestr(ctx->xmlWriter, "query", ctx->request.queryString.data);
        QZ_xmlendelement(ctx->xmlWriter);
        QZ_xmlend(ctx->xmlWriter);
    } else {
        if (m == "cached") QZ_HTTP_Response_SetCacheMode(out, 1);
        if (m == "status") {
            QZ_HTTP_Response_SetStatusCode(out, 404);
            QZ_HTTP_Response_AddHeader(out, "pragma", "no-cache");
            QZ_HTTP_ResponseAddHeader(out, "X-Echo", "yes");
        }
        QZ_HTTP_Response_SetCookie(&ctx->response, "seen", mode, "", 0, 0, "", 0);
        Dump(ctx, blocksAtStart);
        if (m == "leak")
            for (int i = 0; i < 3; ++i) QZ_malloc(nullptr, 100, "echo", 100 + i);
        if (m == "abort") QZ_RuntimeAbort(ctx, "echo", 7, -1, "The page asked for the abort.");
        if (m == "crash") raise(SIGSEGV);
    }
    QZ_HTTP_Response_End(&ctx->response);
    QZ_HTTP_SrvReq_Free(&ctx->request);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    if (m != "leak") {
        // The leaking run leaves its pool to the request scope (and so, under
        // CGI, to the end of the process).
        QZ_MemPool_delete(QZ_GetDefaultPool());
        QZ_SetDefaultPool(nullptr);
    }
    return 0;
}

}  // namespace

int main(int argc, char **argv) { return QZ_Serve(argc, argv, Run); }
