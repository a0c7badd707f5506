// Redirects: a "Location:" header, or, when cookies must travel with the
// redirect, a small page whose script replaces the location.

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qztrace.h"
#include "qz/qzurl.h"
#include "runtime/qztext_internal.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace {

constexpr size_t kPartMax = 2048;

bool blankOrEmpty(const char *text) {
    for (const char *p = text; *p != '\0'; ++p)
        if (*p != ' ') return false;
    return true;
}

// The URL without carriage returns and line feeds (which would split the
// response); traced when any was dropped.
std::string withoutLineBreaks(const char *url) {
    std::string clean;
    const std::string_view all(qz::OrEmpty(url));
    for (const char c : all)
        if (c != '\r' && c != '\n') clean.push_back(c);
    if (clean.size() != all.size()) QZ_Trace(0, "Line break refused in a redirect URL: '%s'", clean.c_str());
    return clean;
}

// The target as it stands inside the script's quoted string, itself inside a
// double-quoted attribute: characters that could end either are written as
// URL escapes, "&" as its entity (the page reads it back as "&").
std::string forScript(std::string_view target) {
    std::string out;
    for (const char c : target) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\'' || c == '"' || c == '<' || c == '>' || c == '\\' || u < 0x20 || u == 0x7F) {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", u);
            out += escape;
        } else if (c == '&') {
            out += "&amp;";
        } else {
            out += c;
        }
    }
    return out;
}

std::string scriptTarget(const QZ_HTTP_SrvReq *request, const char *url) {
    char scheme[kPartMax + 1], host[kPartMax + 1], dir[kPartMax + 1], file[kPartMax + 1],
        query[kPartMax + 1];
    QZ_HTTP_UrlGetProtocol(scheme, url, kPartMax);
    QZ_HTTP_UrlGetHost(host, url, kPartMax);
    QZ_HTTP_UrlGetDirectory(dir, url, kPartMax);
    QZ_HTTP_UrlGetFile(file, url, kPartMax);
    QZ_HTTP_UrlGetQuery(query, url, kPartMax);
    std::string target;
    if (!blankOrEmpty(scheme)) target.append(scheme).append(":");
    const char *serverName = QZ_HTTP_SrvReq_Get_ServerName(request);
    if (!blankOrEmpty(host)) {
        target.append("//").append(host); // a port in the URL is not carried over
    } else if (*serverName != '\0') {
        target.append("//").append(serverName);
        // The full port is used, so that ports above 32767 survive.
        const int32_t port = request->serverPort;
        if (port > 0 && port != 80 && port <= 65535) target.append(":").append(std::to_string(port));
    }
    if (!blankOrEmpty(dir)) {
        target.append(dir);
    } else {
        char scriptDir[kPartMax + 1];
        target.append(QZ_HTTP_SrvReq_Get_ScriptDir(request, scriptDir, kPartMax));
    }
    target.append(file);
    if (!blankOrEmpty(query)) target.append("?").append(query);
    return target;
}

} // namespace

extern "C" {

void QZ_HTTP_Response_Redirect(QZ_HTTP_SrvReq *request, QZ_HTTP_Response *r, const char *url) {
    if (r == nullptr) return;
    const std::string target = withoutLineBreaks(url);
    if (QZ_HTTP_Response_CookieCount(r) == 0) {
        if (QZ_GetTraceLevel() > 0) QZ_Trace(1, "Redirecting to:%s", target.c_str());
        r->outputStarted = 1; // no Content-type or Status line follows
        QZ_HTTP_Response_OpenStream(r);
        // A cached body would otherwise follow the Location line as the body
        // of a 200 answer: the redirect replaces it.
        if (r->outputMode == QZ_HTTP_MODE_CACHED) QZ_HTTP_Response_SetCacheMode(r, QZ_HTTP_MODE_DIRECT);
        const std::string head = "Location: " + target + "\n\n";
        QZ_HTTP_Response_Send(r, head.data(), static_cast<int32_t>(head.size()));
        return;
    }
    if (QZ_GetTraceLevel() > 0) QZ_Trace(1, "Redirecting with COOKIES to:%s", target.c_str());
    QZ_HTTP_Response_Open(r);
    QZ_HTTP_Response_Write(r, "<head><title>Redirect w/cookies</title></head>\n");
    QZ_HTTP_Response_Write(r, "<body onLoad=\"location.replace('");
    QZ_HTTP_Response_Write(r, forScript(scriptTarget(request, target.c_str())).c_str());
    QZ_HTTP_Response_Write(r, "');\"></body>\n");
}

} // extern "C"
