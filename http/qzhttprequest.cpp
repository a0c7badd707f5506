// The CGI request: reading the environment and the body, the program
// parameters, the field accessors and the release.

#include "qz/qzhttprequest.h"

#include "http/qzhttp_internal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "runtime/qzrequest_channel.h"
#include "runtime/qztext_internal.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

using qz::CopyToBuffer;

// The body is read in pieces that start at this size and double, so that a
// CONTENT_LENGTH far above what the client actually sends costs memory only
// for the bytes that arrive.
constexpr uint32_t kFirstBodyChunk = 64 * 1024;

// The seventeen CGI strings, in the order they are filled.
std::array<QZ_CStr *, 17> cgiStrings(QZ_HTTP_SrvReq *r) {
    return {&r->serverSoftware, &r->serverName,    &r->serverProtocol,   &r->serverAdmin,
            &r->gatewayInterface, &r->requestMethod, &r->pathInfo,     &r->pathTranslated,
            &r->scriptName,     &r->queryString,   &r->remoteHost,       &r->remoteAddr,
            &r->subscriberNo,   &r->contentType,   &r->referer,          &r->accept,
            &r->userAgent};
}

void setFromEnv(QZ_CStr *field, const char *name) { QZ_CStr_SetText(field, qz_GetEnv(name)); }

// Reads up to `length` bytes of standard input into the content string. Stops
// early at end of input; the content then holds what arrived, and the parser
// still gets the claimed length (it stops at the end of the content), so that
// a short or missing body is parsed and traced like a whole one.
void readBody(QZ_HTTP_SrvReq *r, uint32_t length) {
    uint32_t have = 0;
    uint32_t room = std::min(length, kFirstBodyChunk);
    if (QZ_CStr_Reserve(&r->content, room) == 0) return; // no storage: no body, no message
    QZ_Trace(10, "Reading %ld bytes from stdin.", static_cast<long>(length));
    while (have < length) {
        if (have == room) {
            const uint32_t next = static_cast<uint32_t>(std::min<uint64_t>(length, uint64_t{room} * 2));
            if (QZ_CStr_Reserve(&r->content, next) == 0) break;
            room = next;
        }
        const size_t want = room - have;
        const size_t got = std::fread(r->content.data + have, 1, want, qz_RequestIn());
        have += static_cast<uint32_t>(got);
        if (got < want) break; // end of input (or a read error): keep what arrived
    }
    r->content.length = have;
    r->content.data[have] = '\0';
    QZ_Trace(10, "Bytes read from stdin:\"%s\"", r->content.data);
    ParseVariables(&r->variables, r->content.data, r->requestMethod.data,
                   static_cast<int32_t>(length));
}

void readSecureFlag(QZ_HTTP_SrvReq *r) {
    const std::string_view https = qz_GetEnv("HTTPS");
    const char *portSecure = qz_GetEnv("SERVER_PORT_SECURE");
    r->secure = -1;
    if (https == "on" || https == "ON")
        r->secure = 1;
    else if (https == "off" || https == "OFF")
        r->secure = 0;
    else if (std::strcmp(portSecure, "0") > 0)
        r->secure = 1;
    else if (std::strcmp(portSecure, "0") == 0)
        r->secure = 0;
}

} // namespace

extern "C" {

const char *qz_GetEnv(const char *name) {
    const char *value = qz_RequestEnv(name);
    return value != nullptr ? value : QZ_EmptyString;
}

void QZ_HTTP_SrvReq_Init(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    r->leadingWord = 0;
    r->readArgument = 0;
    QZ_CStr_Init(&r->content);
    for (QZ_CStr *field : cgiStrings(r)) QZ_CStr_Init(field);
    r->browserKind = QZBROWSER_OTHER;
    QZ_CStr_Init(&r->browserVersion);
    r->deviceMarkup = 0;
    r->serverPort = -1;
    r->secure = -1;
    r->contentLength = 0;
    r->paramCursor = r->queryString.data;
    QZ_List_Init(&r->cookies);
    QZ_HTTP_VarTable_Init(&r->variables);
    r->lastFileError = 0;
}

void QZ_HTTP_SrvReq_ReadCGIEnvironment(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    if (QZ_GetTraceLevel() >= 5) {
        QZ_Trace(0, "<<CGI environment variables");
        for (char *const *entry = qz_RequestEnviron(); entry != nullptr && *entry != nullptr; ++entry)
            QZ_Trace(0, "%s", *entry);
        QZ_Trace(0, ">>End of environment variables");
    }
    setFromEnv(&r->serverSoftware, "SERVER_SOFTWARE");
    setFromEnv(&r->serverName, "SERVER_NAME");
    setFromEnv(&r->serverProtocol, "SERVER_PROTOCOL");
    QZ_CStr_SetText(&r->serverAdmin, QZ_HTTP_SERVER_ADMIN);
    setFromEnv(&r->gatewayInterface, "GATEWAY_INTERFACE");
    setFromEnv(&r->requestMethod, "REQUEST_METHOD");
    setFromEnv(&r->pathInfo, "PATH_INFO");
    QZ_CStr_Free(&r->pathTranslated);
    setFromEnv(&r->scriptName, "SCRIPT_NAME");
    setFromEnv(&r->queryString, "QUERY_STRING");
    setFromEnv(&r->remoteHost, "REMOTE_HOST");
    setFromEnv(&r->remoteAddr, "REMOTE_ADDR");
    setFromEnv(&r->subscriberNo, "HTTP_X_UP_SUBNO");
    setFromEnv(&r->contentType, "CONTENT_TYPE");
    setFromEnv(&r->referer, "HTTP_REFERER");
    setFromEnv(&r->accept, "HTTP_ACCEPT");
    setFromEnv(&r->userAgent, "HTTP_USER_AGENT");

    r->contentLength = 0;
    qz::http::parseInt32(qz_GetEnv("CONTENT_LENGTH"), &r->contentLength);
    const char *port = qz_RequestEnv("SERVER_PORT");
    r->serverPort = -1;
    if (port != nullptr) {
        int32_t value = 0;
        // A SERVER_PORT that holds no number reads as 0, as "%d" leaves it.
        r->serverPort = qz::http::parseInt32(port, &value) ? value : 0;
    }
    readSecureFlag(r);

    if (r->contentLength > 0) readBody(r, static_cast<uint32_t>(r->contentLength));
    r->paramCursor = r->queryString.data;
}

void QZ_HTTP_SrvReq_Read(QZ_HTTP_SrvReq *r, int32_t argument) {
    if (r == nullptr) return;
    r->readArgument = argument;
    QZ_HTTP_SrvReq_ReadCGIEnvironment(r);
    QZ_HTTP_SrvReq_ParseCookies(r, qz_GetEnv("HTTP_COOKIE"));
    QZ_HTTP_SrvReq_DetectBrowser(r);
    QZ_HTTP_SrvReq_DetectBrowserVersion(r);
    QZ_HTTP_SrvReq_DetectDeviceMarkup(r);
}

void QZ_HTTP_SrvReq_SetLeadingWord(QZ_HTTP_SrvReq *r, int32_t word) {
    if (r != nullptr) r->leadingWord = word;
}

char *QZ_HTTP_SrvReq_GetParameter(QZ_HTTP_SrvReq *r, char *buffer, size_t size) {
    if (buffer == nullptr) return buffer;
    if (r == nullptr || r->paramCursor == nullptr) return CopyToBuffer(buffer, 0, "");
    char *start = r->paramCursor;
    char *comma = std::strchr(start, ',');
    if (comma != nullptr) {
        *comma = '\0';
        r->paramCursor = comma + 1;
    } else {
        r->paramCursor = QZ_EmptyString; // every later call yields an empty parameter
    }
    char decoded[QZ_URL_DECODE_MAX + 1];
    QZ_UrlDecode(decoded, start);
    CopyToBuffer(buffer, size, decoded);
    QZ_Trace(0, "Program parameter: %s", buffer);
    return buffer;
}

void QZ_HTTP_SrvReq_Free(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    qz::http::releaseVariables(&r->variables);
    for (QZ_CStr *field : cgiStrings(r)) QZ_CStr_Free(field);
    QZ_CStr_Free(&r->content);
    QZ_CStr_Free(&r->browserVersion);
    QZ_HTTP_CookieList_Free(&r->cookies);
    r->paramCursor = QZ_EmptyString;
}

const char *QZ_HTTP_SrvReq_Get_ServerName(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->serverName.data : QZ_EmptyString;
}
const char *QZ_HTTP_SrvReq_Get_Referer(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->referer.data : QZ_EmptyString;
}
const char *QZ_HTTP_SrvReq_Get_UserAgent(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->userAgent.data : QZ_EmptyString;
}
const char *QZ_HTTP_SrvReq_Get_Method(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->requestMethod.data : QZ_EmptyString;
}
const char *QZ_HTTP_SrvReq_Get_SubscriberNo(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->subscriberNo.data : QZ_EmptyString;
}
const char *QZ_HTTP_SrvReq_Get_BrowserVersion(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->browserVersion.data : QZ_EmptyString;
}
int16_t QZ_HTTP_SrvReq_Get_Port(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? static_cast<int16_t>(r->serverPort) : -1;
}
int16_t QZ_HTTP_SrvReq_Get_Secure(const QZ_HTTP_SrvReq *r) { return r != nullptr ? r->secure : -1; }
int16_t QZ_HTTP_SrvReq_Get_BrowserKind(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->browserKind : QZBROWSER_OTHER;
}
int16_t QZ_HTTP_SrvReq_Get_DeviceMarkup(const QZ_HTTP_SrvReq *r) {
    return r != nullptr ? r->deviceMarkup : 0;
}

char *QZ_HTTP_SrvReq_Get_ScriptDir(const QZ_HTTP_SrvReq *r, char *buffer, size_t size) {
    if (buffer == nullptr) return buffer;
    const std::string_view script = r != nullptr ? r->scriptName.data : "";
    const size_t slash = script.rfind('/');
    return CopyToBuffer(buffer, size, slash == std::string_view::npos ? "" : script.substr(0, slash + 1));
}

} // extern "C"
