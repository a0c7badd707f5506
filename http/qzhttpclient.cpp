// The HTTP client's exported operations: the client record, its settings,
// the request being built, the exchange and the reading of its result.

#include "http/qzhttpcore_internal.h"

#include "qz/qzhttpauth.h"
#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"

#include <cerrno>
#include <cstdio>
#include <string>

using namespace qz_httpclient;

namespace {

std::string_view Held(const QZ_CStr &s) { return {s.data, s.length}; }

const char *DescriptionOf(int32_t code) {
    static const char *const kTexts[] = {"No error",           "Connection error",     "Error sending data",
                                         "Error receiving data", "Authentication error", "Can not access file"};
    // Compared as unsigned, so that negative codes (errno never is, but a
    // caller may store anything) fall on "Unknown" as well.
    const auto index = static_cast<uint32_t>(code);
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : "Unknown";
}

// The base URL, a "/" and the given path (the "/" is put in even when one of
// them already has a slash there), cut at the longest path an exchange takes.
std::string ComposePath(const QZ_HTTP_Client *client, const char *path) {
    std::string composed;
    if (client->baseURL.length > 0) {
        composed.assign(client->baseURL.data, client->baseURL.length);
        composed += '/';
    }
    composed += Text(path);
    if (composed.size() > QZHTTP_URL_MAX) composed.resize(QZHTTP_URL_MAX);
    return composed;
}

}  // namespace

extern "C" {

void QZ_HTTP_Client_Init(QZ_HTTP_Client *client) {
    QZ_Trace(2, "QZ_HTTP_Client_Init start");
    if (client == nullptr) return;
    QZ_CStr_Init(&client->host);
    QZ_CStr_Init(&client->baseURL);
    QZ_CStr_Init(&client->proxyHost);
    QZ_HTTP_AuthList_Init(&client->credentials);
    int32_t proxyPort = 0;
    QZ_HTTP_GetSystemProxy(&client->proxyHost, &proxyPort);
    client->proxyPort = static_cast<uint16_t>(proxyPort);
    client->port = 80;
    client->errorCode = QZHTTP_ERR_OK;
    client->timeout = 60;
    client->secure = 0;
    client->request = QZ_HTTP_Request_Init();
    QZ_Trace(2, "QZ_HTTP_Client_Init end");
}

void QZ_HTTP_Client_Deinit(QZ_HTTP_Client *client) {
    QZ_Trace(2, "QZ_HTTP_Client_Deinit start");
    if (client == nullptr) return;
    QZ_CStr_Free(&client->host);
    QZ_CStr_Free(&client->baseURL);
    QZ_CStr_Free(&client->proxyHost);
    QZ_HTTP_AuthList_Free(&client->credentials);
    if (client->request != nullptr) {
        // An exchange may have left its connection open (a redirect answer
        // without Location is read by Execute, but a caller may stop early).
        QZ_HTTP_Request_Close(client->request);
        QZ_HTTP_Request_Free(client->request);
        QZ_free(nullptr, client->request);
        client->request = nullptr;
    }
    QZ_Trace(2, "QZ_HTTP_Client_Deinit end");
}

void QZ_HTTP_ClientSetHost(QZ_HTTP_Client *client, const char *host) {
    if (client != nullptr && host != nullptr) QZ_CStr_SetText(&client->host, host);
}
char *QZ_HTTP_ClientGetHost(QZ_HTTP_Client *client, char *buffer, int32_t n) {
    return CopyPadded(buffer, n, client != nullptr ? Held(client->host) : std::string_view());
}
void QZ_HTTP_ClientSetPort(QZ_HTTP_Client *client, uint16_t port) {
    if (client != nullptr) client->port = port;
}
uint16_t QZ_HTTP_ClientGetPort(QZ_HTTP_Client *client) { return client != nullptr ? client->port : 0; }
void QZ_HTTP_ClientSetSecure(QZ_HTTP_Client *client, int16_t secure) {
    if (client != nullptr) client->secure = secure;
}
int16_t QZ_HTTP_ClientGetSecure(QZ_HTTP_Client *client) { return client != nullptr ? client->secure : 0; }
void QZ_HTTP_ClientSetTimeout(QZ_HTTP_Client *client, uint32_t seconds) {
    if (client != nullptr) client->timeout = seconds;
}
int32_t QZ_HTTP_ClientGetTimeout(QZ_HTTP_Client *client) {
    return client != nullptr ? static_cast<int32_t>(client->timeout) : 0;
}
void QZ_HTTP_ClientSetBaseURL(QZ_HTTP_Client *client, const char *baseURL) {
    if (client != nullptr && baseURL != nullptr) QZ_CStr_SetText(&client->baseURL, baseURL);
}
char *QZ_HTTP_ClientGetBaseURL(QZ_HTTP_Client *client, char *buffer, int32_t n) {
    return CopyPadded(buffer, n, client != nullptr ? Held(client->baseURL) : std::string_view());
}
void QZ_HTTP_ClientSetProxyHost(QZ_HTTP_Client *client, const char *host) {
    if (client != nullptr && host != nullptr) QZ_CStr_SetText(&client->proxyHost, host);
}
char *QZ_HTTP_ClientGetProxyHost(QZ_HTTP_Client *client, char *buffer, int32_t n) {
    return CopyPadded(buffer, n, client != nullptr ? Held(client->proxyHost) : std::string_view());
}
void QZ_HTTP_ClientSetProxyPort(QZ_HTTP_Client *client, uint16_t port) {
    if (client != nullptr) client->proxyPort = port;
}
uint16_t QZ_HTTP_ClientGetProxyPort(QZ_HTTP_Client *client) { return client != nullptr ? client->proxyPort : 0; }

void QZ_HTTP_ClientSetSocksHost(QZ_HTTP_Client *, const char *) {}
const char *QZ_HTTP_ClientGetSocksHost(QZ_HTTP_Client *) { return QZ_EmptyString; }
void QZ_HTTP_ClientSetSocksPort(QZ_HTTP_Client *, uint16_t) {}
int32_t QZ_HTTP_ClientGetSocksPort(QZ_HTTP_Client *) { return 0; }

int16_t QZ_HTTP_ClientAuthenticationBasic(QZ_HTTP_Client *) { return QZHTTP_AUTH_BASIC; }
int16_t QZ_HTTP_ClientAuthenticationDigest(QZ_HTTP_Client *) { return QZHTTP_AUTH_DIGEST; }

void QZ_HTTP_ClientAddAuthentication(QZ_HTTP_Client *client, int16_t scheme, const char *realm,
                                     const char *user, const char *password) {
    if (client == nullptr) return;
    QZ_HTTP_AuthList_AddByCode(&client->credentials, scheme, realm, user, password);
}

void QZ_HTTP_ClientAddHeader(QZ_HTTP_Client *client, const char *name, const char *value) {
    QZ_Trace(2, "QZ_HTTP_ClientAddHeader start");
    if (client != nullptr && client->request != nullptr) {
        // A line break inside a name or value would let it start a header
        // line of its own (or end the head early): such characters are dropped.
        QZ_CStr *headers = &client->request->headers;
        AppendOneLine(headers, Text(name));
        appendGrow(headers, ": ");
        AppendOneLine(headers, Text(value));
        appendGrow(headers, "\r\n");
    }
    QZ_Trace(2, "QZ_HTTP_ClientAddHeader end");
}

void QZ_HTTP_ClientAddVariable(QZ_HTTP_Client *client, const char *name, const char *value) {
    QZ_Trace(2, "QZ_HTTP_ClientAddVariable start");
    if (client != nullptr && client->request != nullptr) QZ_HTTP_Set_Param(client->request, name, value);
    QZ_Trace(2, "QZ_HTTP_ClientAddVariable end");
}

void QZ_HTTP_ClientAddString(QZ_HTTP_Client *client, const char *text) {
    QZ_Trace(2, "QZ_HTTP_ClientAddString start");
    if (client != nullptr && client->request != nullptr) appendGrow(&client->request->content, Text(text));
    QZ_Trace(2, "QZ_HTTP_ClientAddString end");
}

void QZ_HTTP_ClientAddFile(QZ_HTTP_Client *client, const char *fileName) {
    QZ_Trace(2, "QZ_HTTP_ClientAddFile start FileName = '%s'", fileName != nullptr ? fileName : "");
    if (client == nullptr) return;
    FILE *file = fileName != nullptr ? std::fopen(fileName, "r") : nullptr;
    client->errorCode = file != nullptr ? QZHTTP_ERR_OK : QZHTTP_ERR_FILE;
    if (file != nullptr) {
        char *block = static_cast<char *>(QZ_malloc(nullptr, QZHTTP_FILE_BLOCK, kTag, kFileBlockLine));
        if (block != nullptr) {
            size_t got;
            while ((got = std::fread(block, 1, QZHTTP_FILE_BLOCK, file)) > 0) {
                if (client->request != nullptr) appendGrow(&client->request->content, {block, got});
            }
            QZ_free(nullptr, block);
        }
        std::fclose(file);
    }
    QZ_Trace(2, "QZ_HTTP_ClientAddFile end, nLastErr = %d", static_cast<int>(client->errorCode));
}

void QZ_HTTP_ClientExecute(QZ_HTTP_Client *client, const char *method, const char *path) {
    if (client == nullptr) return;
    QZ_HTTP_Request *request = client->request;
    if (request == nullptr) {
        // The record could not be allocated at Init: nothing can be sent.
        client->errorCode = QZHTTP_ERR_CONNECTION;
        return;
    }
    const std::string composed = ComposePath(client, path);
    const char *verb = method != nullptr ? method : "GET";
    const int32_t result =
        client->secure != 0
            ? QZ_HTTP_Request_Win_Request(request, verb, client->host.data, client->port, composed.c_str(),
                                          client->proxyHost.data, client->proxyPort, &client->credentials,
                                          client->timeout)
            : QZ_HTTP_Request_Init_Request(request, verb, client->host.data, client->port, composed.c_str(),
                                           client->proxyHost.data, client->proxyPort, &client->credentials,
                                           client->timeout);
    Clear(&request->content);
    Clear(&request->headers);
    if (result >= 1) {
        client->errorCode = result;
        return;
    }
    if (client->secure != 0) {
        client->errorCode = QZHTTP_ERR_OK;
        return;
    }
    // An answer with an empty body counts as a receive error.
    client->errorCode = QZ_HTTP_Read_Result(request, client->timeout) != 0 ? QZHTTP_ERR_OK : QZHTTP_ERR_RECEIVE;
}

int32_t QZ_HTTP_ClientGetStatusCode(QZ_HTTP_Client *client) {
    if (client == nullptr || client->request == nullptr) return 0;
    return qz_HTTP_Request_Get_Status_Code(client->request);
}

char *QZ_HTTP_ClientGetReasonLine(QZ_HTTP_Client *client, char *buffer, uint32_t n) {
    uint32_t length = 0;
    const char *reason =
        client != nullptr && client->request != nullptr ? qz_HTTP_Request_Get_Status_Line(client->request, &length) : "";
    return CopyCut(buffer, n, {reason, length});
}

char *QZ_HTTP_ClientGetHeader(QZ_HTTP_Client *client, char *buffer, uint32_t n, const char *name) {
    uint32_t length = 0;
    const char *value = client != nullptr && client->request != nullptr
                            ? qz_HTTP_Request_Get_Header_Field(client->request, name, &length)
                            : nullptr;
    return CopyCut(buffer, n, value != nullptr ? std::string_view(value, length) : std::string_view());
}

const char *QZ_HTTP_ClientToString(QZ_HTTP_Client *client) {
    if (client == nullptr || client->request == nullptr) return QZ_EmptyString;
    return qz_HTTP_Request_Get_Content(client->request);
}

void QZ_HTTP_ClientToFile(QZ_HTTP_Client *client, const char *fileName) {
    QZ_Trace(2, "QZ_HTTP_ClientToFile start FileName = '%s'", fileName != nullptr ? fileName : "");
    if (client == nullptr) return;
    // errno is cleared first: a successful open or write leaves it as it
    // was, and an old value must not be reported as this call's failure.
    errno = 0;
    FILE *file = fileName != nullptr ? std::fopen(fileName, "w") : nullptr;
    if (fileName == nullptr) errno = EINVAL;
    client->errorCode = errno;
    if (file != nullptr) {
        errno = 0;
        // Text and binary files are the same here: the body goes out by its
        // byte count, so that a binary download is not cut at its first zero.
        const std::string_view body = client->request != nullptr ? Held(client->request->responseBody) : "";
        if (std::fwrite(body.data(), 1, body.size(), file) != body.size() && errno == 0) errno = EIO;
        if (std::fclose(file) != 0 && errno == 0) errno = EIO;
        client->errorCode = errno;
    }
    QZ_Trace(2, "QZ_HTTP_ClientToFile end, errno = %d", static_cast<int>(client->errorCode));
}

int32_t QZ_HTTP_ClientErrCode(QZ_HTTP_Client *client) { return client != nullptr ? client->errorCode : 0; }

char *QZ_HTTP_ClientDescription(QZ_HTTP_Client *client, char *buffer, int32_t n) {
    return CopyPadded(buffer, n, DescriptionOf(client != nullptr ? client->errorCode : 0));
}

}  // extern "C"
