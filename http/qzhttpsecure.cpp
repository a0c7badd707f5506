// The secure path: libcurl carries the exchange over TLS; the runtime
// supplies method, path, headers, body, proxy and credentials and collects
// status, head and body.

#include "http/qzhttpcore_internal.h"
#include "http/qzhttpsecure_curl.h"

#include "qz/qzhttpauth.h"
#include "qz/qzhttpclient.h"
#include "qz/qztrace.h"

#include <cctype>
#include <cstring>
#include <string>

using namespace qz_httpclient;

namespace {

size_t CollectBody(char *bytes, size_t size, size_t count, void *user) {
    auto *request = static_cast<QZ_HTTP_Request *>(user);
    const size_t n = size * count;
    // The body is appended by byte count; the text views still end at a zero.
    return appendGrow(&request->responseBody, {bytes, n}) ? n : 0;
}

// Every response (a redirect, a 100 Continue) starts the head afresh, so that
// the head is that of the final answer: status line and header lines joined
// by CR LF, without the blank line, as on the plain path.
size_t CollectHead(char *bytes, size_t size, size_t count, void *user) {
    auto *request = static_cast<QZ_HTTP_Request *>(user);
    const size_t n = size * count;
    std::string_view line(bytes, n);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/") Clear(&request->responseHead);
    if (line.empty()) return n;
    if (request->responseHead.length + line.size() > kHeadMax) return 0;
    if (request->responseHead.length > 0) appendGrow(&request->responseHead, "\r\n");
    appendGrow(&request->responseHead, line);
    return n;
}

bool HasHeader(std::string_view headers, std::string_view name) {
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string_view line = headers.substr(start, end - start);
        if (line.size() > name.size() && line[name.size()] == ':') {
            bool same = true;
            for (size_t i = 0; i < name.size() && same; ++i)
                same = std::tolower(static_cast<unsigned char>(line[i])) == std::tolower(static_cast<unsigned char>(name[i]));
            if (same) return true;
        }
        start = end + 2;
    }
    return false;
}

curl_slist *HeaderList(const CurlApi &curl, std::string_view headers, const std::string &authorization) {
    curl_slist *list = nullptr;
    size_t start = 0;
    while (start < headers.size()) {
        size_t end = headers.find("\r\n", start);
        if (end == std::string_view::npos) end = headers.size();
        const std::string line(headers.substr(start, end - start));
        if (!line.empty()) list = curl.slistAppend(list, line.c_str());
        start = end + 2;
    }
    // No headers beyond those the caller added: no Accept, no Expect, and
    // no guessed Content-Type.
    list = curl.slistAppend(list, "Accept:");
    list = curl.slistAppend(list, "Expect:");
    if (!HasHeader(headers, "Content-Type")) list = curl.slistAppend(list, "Content-Type:");
    if (!authorization.empty()) {
        // One line, whatever a credential or a challenge held.
        QZ_CStr line;
        QZ_CStr_Init(&line);
        AppendOneLine(&line, "Authorization: " + authorization);
        list = curl.slistAppend(list, line.data);
        QZ_CStr_Free(&line);
    }
    return list;
}

int32_t ResultOfFailure(const CurlApi &curl, CURL *handle, CURLcode code) {
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL:
    case CURLE_URL_MALFORMAT:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
        return QZHTTP_ERR_CONNECTION;
    case CURLE_SEND_ERROR:
        return QZHTTP_ERR_SEND;
    case CURLE_OPERATION_TIMEDOUT: {
        // A time-out before the connection stood is a connection error.
        curl_off_t connected = 0;
        curl.easyGetinfo(handle, CURLINFO_APPCONNECT_TIME_T, &connected);
        return connected == 0 ? QZHTTP_ERR_CONNECTION : QZHTTP_ERR_RECEIVE;
    }
    default:
        return QZHTTP_ERR_RECEIVE;
    }
}

// The path of the URL libcurl ended on (after its redirects): the uri a
// Digest answer must name.
std::string EffectivePath(const CurlApi &curl, CURL *handle, const std::string &fallback) {
    char *url = nullptr;
    if (curl.easyGetinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) return fallback;
    const char *scheme = std::strstr(url, "://");
    const char *path = scheme != nullptr ? std::strchr(scheme + 3, '/') : nullptr;
    return path != nullptr ? std::string(path) : fallback;
}

}  // namespace

extern "C" int32_t QZ_HTTP_Request_Win_Request(QZ_HTTP_Request *request, const char *method, const char *host,
                                               int32_t port, const char *path, const char *proxyHost,
                                               int32_t proxyPort, QZ_List *credentials, uint32_t timeoutSeconds) {
    QZ_Trace(2, "Start QZ_HTTP_Request_Win_Request");
    int32_t result = QZHTTP_ERR_OK;
    if (request == nullptr) return QZHTTP_ERR_CONNECTION;
    Clear(&request->responseBody);
    Clear(&request->responseHead);

    const CurlApi *curl = Curl();
    CURL *handle = curl != nullptr ? curl->easyInit() : nullptr;
    if (handle == nullptr) {
        result = QZHTTP_ERR_CONNECTION;
        QZ_Trace(2, "QZ_HTTP_Request_Win_Request Return = %d", static_cast<int>(result));
        return result;
    }

    // The proxy is always set, to "" when there is none: libcurl must never
    // take one from the environment (under CGI, HTTP_PROXY comes from the
    // client's "Proxy:" request header).
    std::string_view proxy = Text(proxyHost);
    while (!proxy.empty() && proxy.front() == ' ') proxy.remove_prefix(1);
    std::string proxyText(proxy);
    if (!proxyText.empty() && proxyPort >= 1) proxyText += ":" + std::to_string(proxyPort);
    const int32_t serverPort = port < 1 ? 443 : port;
    const std::string verb = method != nullptr && *method != '\0' ? method : "GET";
    std::string requestPath(Cut(Text(path), QZHTTP_URL_MAX));
    if (requestPath.empty() || requestPath[0] != '/') requestPath.insert(0, "/");
    const std::string url = "https://" + std::string(Text(host)) + ":" + std::to_string(serverPort) + requestPath;
    // What goes out as the body (a HEAD request carries none).
    const std::string_view content = verb == "HEAD" ? std::string_view() : TextOf(request->content);
    char caFile[QZ_INI_VALUE_MAX + 1];
    const bool haveCaFile = QZ_ReadIniValue("QZCFG", "Http", "CAFile", "qzcfg.ini", caFile) != 0 && caFile[0] != '\0';

    const auto set = curl->easySetopt;
    set(handle, CURLOPT_URL, url.c_str());
    set(handle, CURLOPT_USERAGENT, "QZHttpClient");
    set(handle, CURLOPT_PROXY, proxyText.c_str());
    set(handle, CURLOPT_NOPROXY, "");
    set(handle, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    // As the platform library did by default: a redirect never leaves TLS,
    // so neither the request nor its answer travels in the clear.
    set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    set(handle, CURLOPT_FOLLOWLOCATION, 1L);
    set(handle, CURLOPT_MAXREDIRS, 5L);
    set(handle, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    set(handle, CURLOPT_NOSIGNAL, 1L);
    set(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    set(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    if (haveCaFile) set(handle, CURLOPT_CAINFO, caFile);
    // The time-out is read in seconds, as on the plain path: for the
    // connection, and as the longest stall of the answer.
    set(handle, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeoutSeconds));
    if (timeoutSeconds > 0) {
        set(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        set(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(timeoutSeconds));
    }
    if (verb == "HEAD") {
        set(handle, CURLOPT_NOBODY, 1L);
    } else {
        set(handle, CURLOPT_CUSTOMREQUEST, verb.c_str());
        if (!content.empty() || verb == "POST" || verb == "PUT") {
            set(handle, CURLOPT_POSTFIELDS, content.data());
            set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(content.size()));
        }
    }
    set(handle, CURLOPT_WRITEFUNCTION, &CollectBody);
    set(handle, CURLOPT_WRITEDATA, request);
    set(handle, CURLOPT_HEADERFUNCTION, &CollectHead);
    set(handle, CURLOPT_HEADERDATA, request);

    std::string authorization;
    for (int attempt = 0; attempt < 2; ++attempt) {
        Clear(&request->responseBody);
        Clear(&request->responseHead);
        curl_slist *headers = HeaderList(*curl, TextOf(request->headers), authorization);
        set(handle, CURLOPT_HTTPHEADER, headers);
        const CURLcode code = curl->easyPerform(handle);
        set(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist *>(nullptr));
        curl->slistFreeAll(headers);
        if (code != CURLE_OK) {
            result = ResultOfFailure(*curl, handle, code);
            QZ_Trace(2, "QZ_HTTP_Request_Win_Request: %s", curl->easyStrerror(code));
            break;
        }
        long status = 0;
        curl->easyGetinfo(handle, CURLINFO_RESPONSE_CODE, &status);
        if (status != 401 || attempt == 1) break;
        char challenges[QZHTTP_CHALLENGES_MAX + 1] = {};
        qz_HTTP_Request_Get_Header_Values(request, "WWW-Authenticate", challenges, QZHTTP_CHALLENGES_MAX);
        char answer[QZHTTP_SECURE_CREDENTIALS_MAX + 1] = {};
        const std::string uri = EffectivePath(*curl, handle, requestPath);
        // qop auth-int hashes the body this request carries.
        QZ_HTTP_AuthorizationBody(credentials, challenges, uri.c_str(), verb.c_str(), content.data(), content.size(),
                                  answer, QZHTTP_SECURE_CREDENTIALS_MAX);
        if (answer[0] == '\0') {
            result = QZHTTP_ERR_AUTHENTICATION;
            break;
        }
        authorization = answer;
    }
    curl->easyCleanup(handle);
    QZ_Trace(2, "QZ_HTTP_Request_Win_Request Return = %d", static_cast<int>(result));
    return result;
}
