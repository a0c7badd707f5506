// The exchange record: allocation, release and the readers of the response
// head (status code, reason phrase, header values).

#include "http/qzhttpcore_internal.h"
#include "http/qzhttpsecure_stream.h"

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "qz/qzurl.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

namespace qz_httpclient {

void AppendOneLine(QZ_CStr *s, std::string_view text) {
    while (!text.empty()) {
        const size_t cut = text.find_first_of("\r\n");
        appendGrow(s, text.substr(0, cut));
        if (cut == std::string_view::npos) break;
        text.remove_prefix(cut + 1);
    }
}

char *CopyPadded(char *buffer, int32_t n, std::string_view text) {
    if (buffer == nullptr) return buffer;
    if (n < 1) {
        buffer[0] = '\0';
        return buffer;
    }
    const size_t size = static_cast<size_t>(n);
    const size_t copied = std::min(size, text.size());
    if (copied > 0) std::memcpy(buffer, text.data(), copied);
    std::memset(buffer + copied, 0, size - copied + 1);
    return buffer;
}

char *CopyCut(char *buffer, uint32_t n, std::string_view text) {
    if (buffer == nullptr) return buffer;
    const size_t copied = std::min<size_t>(n, text.size());
    if (copied > 0) std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return buffer;
}

}  // namespace qz_httpclient

using namespace qz_httpclient;

namespace {

std::string_view HeadOf(const QZ_HTTP_Request *request) {
    if (request == nullptr || request->responseHead.data == nullptr) return {};
    return {request->responseHead.data, request->responseHead.length};
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// Calls found(value) for every header line of head whose name is `name`:
// header lines are those that follow a CR LF, so the status line is never
// matched, and the name must be followed by ":" at once.  The value starts
// after the blanks that follow the colon and runs to the carriage return
// that ends its line (or the end of the head).  found returns false to stop.
template <typename Found>
void ForEachHeader(std::string_view head, std::string_view name, Found found) {
    size_t pos = head.find("\r\n");
    while (pos != std::string_view::npos) {
        const size_t line = pos + 2;
        const size_t next = head.find("\r\n", line);
        if (head.size() - line > name.size() && head[line + name.size()] == ':' &&
            SameIgnoringCase(head.substr(line, name.size()), name)) {
            size_t start = line + name.size() + 1;
            while (start < head.size() && IsBlank(head[start])) ++start;
            const size_t cr = head.find('\r', start);
            const size_t end = cr == std::string_view::npos ? head.size() : cr;
            if (!found(head.substr(start, end - start))) return;
        }
        pos = next;
    }
}

// The number after the first blank of the head, read like "%ld" (leading
// white space, a sign, digits), saturated to the 32-bit range; 0 without one.
int32_t StatusNumber(std::string_view head) {
    const size_t blank = head.find(' ');
    if (blank == std::string_view::npos) return 0;
    size_t i = blank + 1;
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i]))) ++i;
    bool negative = false;
    if (i < head.size() && (head[i] == '-' || head[i] == '+')) negative = head[i++] == '-';
    int64_t value = 0;
    for (; i < head.size() && head[i] >= '0' && head[i] <= '9'; ++i) {
        value = value * 10 + (head[i] - '0');
        if (value > INT32_MAX) value = static_cast<int64_t>(INT32_MAX) + 1;
    }
    if (negative) value = -value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

extern "C" {

QZ_HTTP_Request *QZ_HTTP_Request_Init(void) {
    auto *request = static_cast<QZ_HTTP_Request *>(QZ_malloc(nullptr, sizeof(QZ_HTTP_Request), kTag, kRequestLine));
    if (request == nullptr) {
        QZ_Trace(2, "QZ_HTTP_Request_Init: Can not allocate memory");
        return nullptr;
    }
    request->socket = -1;
    request->connected = 0;
    QZ_CStr_Init(&request->protocol);
    QZ_CStr_Init(&request->content);
    QZ_CStr_Init(&request->requestText);
    QZ_CStr_Init(&request->headers);
    QZ_CStr_Init(&request->responseHead);
    QZ_CStr_Init(&request->responseBody);
    QZ_CStr_SetText(&request->protocol, "http");
    return request;
}

void QZ_HTTP_Request_Free(QZ_HTTP_Request *request) {
    if (request == nullptr) return;
    SecureClose(request);  // a secure exchange left open ends with its record
    QZ_CStr_Free(&request->protocol);
    QZ_CStr_Free(&request->content);
    QZ_CStr_Free(&request->requestText);
    QZ_CStr_Free(&request->headers);
    QZ_CStr_Free(&request->responseHead);
    QZ_CStr_Free(&request->responseBody);
}

QZ_Flag QZ_HTTP_Request_Set_Protocol(QZ_HTTP_Request *request, const char *protocol) {
    if (request != nullptr && protocol != nullptr) QZ_CStr_SetText(&request->protocol, protocol);
    return 1;
}

const char *qz_HTTP_Request_Get_Content(QZ_HTTP_Request *request) {
    if (request == nullptr || request->responseBody.data == nullptr) return QZ_EmptyString;
    return request->responseBody.data;
}

int16_t qz_HTTP_Request_Get_Status_Code(QZ_HTTP_Request *request) {
    return static_cast<int16_t>(std::clamp<int32_t>(StatusNumber(HeadOf(request)), INT16_MIN, INT16_MAX));
}

const char *qz_HTTP_Request_Get_Status_Line(QZ_HTTP_Request *request, uint32_t *length) {
    const std::string_view head = HeadOf(request);
    // The reason phrase is looked for on the status line only: a status line
    // without one ("HTTP/1.0 200") must not lend a piece of a header line.
    const size_t lineEnd = std::min(head.find('\r'), head.size());
    const std::string_view statusLine = head.substr(0, lineEnd);
    const size_t first = statusLine.find(' ');
    const size_t second = first == std::string_view::npos ? first : statusLine.find(' ', first + 1);
    if (second == std::string_view::npos) {
        if (length != nullptr) *length = 0;
        return QZ_EmptyString;
    }
    if (length != nullptr) *length = static_cast<uint32_t>(lineEnd - second - 1);
    return head.data() + second + 1;
}

const char *qz_HTTP_Request_Get_Header_Field(QZ_HTTP_Request *request, const char *name, uint32_t *length) {
    const std::string_view head = HeadOf(request);
    if (head.empty()) {
        if (length != nullptr) *length = 0;
        return nullptr;
    }
    const char *result = nullptr;
    ForEachHeader(head, Text(name), [&](std::string_view value) {
        result = value.data();
        if (length != nullptr) *length = static_cast<uint32_t>(value.size());
        return false;
    });
    return result;
}

void qz_HTTP_Request_Get_Header_Values(QZ_HTTP_Request *request, const char *name, char *output,
                                       uint32_t maximum) {
    const std::string_view head = HeadOf(request);
    if (head.empty() || output == nullptr) return;
    size_t used = 0;
    ForEachHeader(head, Text(name), [&](std::string_view value) {
        if (used > 0 && used < maximum) output[used++] = ',';
        const size_t n = std::min<size_t>(value.size(), maximum - used);
        std::memcpy(output + used, value.data(), n);
        used += n;
        return used < maximum;
    });
    output[used] = '\0';
}

void QZ_HTTP_Set_Param(QZ_HTTP_Request *request, const char *name, const char *value) {
    QZ_Trace(2, "QZ_HTTP_Set_Param: Parameter '%s', Value '%s'", name != nullptr ? name : "",
             value != nullptr ? value : "");
    if (request == nullptr) return;
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_HTTP_EncodeFormValue(&encoded, value != nullptr ? value : "");
    appendGrow(&request->content, Text(name));
    appendGrow(&request->content, "=");
    appendGrow(&request->content, TextOf(encoded));
    appendGrow(&request->content, "&");
    QZ_CStr_Free(&encoded);
}

}  // extern "C"
