// The response record: lifecycle, settings and the content-type table.

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using qz::OrEmpty;

struct ExtensionType {
    const char *extension;
    const char *type;
};

constexpr ExtensionType kExtensionTypes[] = {
    {"txt", "text/plain"},       {"rtx", "text/richtext"},
    {"htm", "text/html"},        {"html", "text/html"},
    {"xml", "text/xml"},         {"xsl", "text/xml"},
    {"aif", "audio/x-aiff"},     {"au", "audio/basic"},
    {"wav", "audio/wav"},        {"bmp", "image/bmp"},
    {"gif", "image/gif"},        {"jpe", "image/jpeg"},
    {"jpeg", "image/jpeg"},      {"jpg", "image/jpeg"},
    {"jfif", "image/pjpeg"},     {"tif", "image/tiff"},
    {"tiff", "image/tiff"},      {"mpeg", "video/mpeg"},
    {"mov", "video/quicktime"},  {"qt", "video/quicktime"},
    {"avi", "video/x-msvideo"},  {"exe", "application/octet-stream"},
    {"ps", "application/postscript"}, {"pdf", "application/pdf"},
    {"tgz", "application/x-compressed"}, {"png", "image/x-png"},
    {"zip", "application/x-zip-compressed"}, {"gz", "application/x-gzip"},
    {"dll", "application/x-msdownload"},
};

char *copyText(const char *text) {
    const size_t n = std::strlen(text);
    auto *copy = static_cast<char *>(QZ_malloc(nullptr, n + 1, "qzhttp", __LINE__));
    if (copy != nullptr) std::memcpy(copy, text, n + 1);
    return copy;
}

void releaseOwnBuffer(QZ_HTTP_Response *r) {
    if (r->outputMode == QZ_HTTP_MODE_CACHED && r->buffer != nullptr) {
        QZ_CStr_Free(r->buffer);
        QZ_free(nullptr, r->buffer);
    }
    r->buffer = nullptr;
}

} // namespace

extern "C" {

const char *QZ_HTTP_LookupContentType(const char *extension) {
    std::string key(std::string_view(OrEmpty(extension)).substr(0, 5));
    for (char &c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const ExtensionType &row : kExtensionTypes)
        if (key == row.extension) return row.type;
    return nullptr;
}

const char *QZ_HTTP_ContentTypeForExtension(const char *extension) {
    const char *type = QZ_HTTP_LookupContentType(extension);
    return type != nullptr ? type : "text/html";
}

void QZ_HTTP_Response_Init(QZ_HTTP_Response *r, const char *contentType) {
    if (r == nullptr) return;
    r->contentType = copyText(contentType != nullptr ? contentType : "text/html");
    r->contentTypeImplicit = 1;
    QZ_CStr_Init(&r->outputFileName);
    QZ_CStr_Init(&r->status);
    QZ_CStr_SetText(&r->status, "200 OK");
    QZ_CStr_Init(&r->headers);
    r->buffer = nullptr;
    r->outputStarted = 0;
    r->outputMode = QZ_HTTP_MODE_DIRECT;
    QZ_List_Init(&r->cookies);
    r->stream = nullptr;
    r->lastError = 0;
    r->ownsStream = 0;
}

void QZ_HTTP_Response_SetCtrlBlock(QZ_HTTP_Response *r, FILE *stream) {
    QZ_Trace(2, "QZ_HTTP_Response_SetCtrlBlock RequestStruct = %p", static_cast<void *>(r));
    if (r == nullptr) return;
    r->stream = stream;
    r->ownsStream = 0;
}

int16_t QZ_HTTP_Response_SetContentTypeText(QZ_HTTP_Response *r, const char *text, int16_t implicit) {
    if (r == nullptr) return QZ_HTTP_RESP_REFUSED;
    if (r->outputStarted != 0) return QZ_HTTP_RESP_REFUSED;
    if (r->contentType != nullptr) QZ_free(nullptr, r->contentType);
    r->contentType = copyText(OrEmpty(text));
    if (r->contentType == nullptr) {
        QZ_Trace(0, "HTT0002: Not enough memory.");
        return QZ_HTTP_RESP_REFUSED;
    }
    r->contentTypeImplicit = implicit;
    return QZ_HTTP_RESP_OK;
}

void QZ_HTTP_Response_SetDefaultContentType(QZ_HTTP_Response *r, const char *text) {
    if (r != nullptr && r->outputStarted == 0 && r->contentTypeImplicit != 0)
        QZ_HTTP_Response_SetContentTypeText(r, text, 1);
}

int16_t QZ_HTTP_Response_SetContentType(QZ_HTTP_Response *r, const char *text) {
    const char *type = OrEmpty(text);
    if (std::strchr(type, '/') == nullptr) {
        type = QZ_HTTP_LookupContentType(type);
        if (type == nullptr) return QZ_HTTP_RESP_NOT_DONE;
    }
    return QZ_HTTP_Response_SetContentTypeText(r, type, 0);
}

int16_t QZ_HTTP_Response_SetOutputFile(QZ_HTTP_Response *r, const char *fileName) {
    if (r != nullptr) QZ_CStr_SetText(&r->outputFileName, OrEmpty(fileName));
    if (r != nullptr && (fileName == nullptr || *fileName == '\0')) QZ_CStr_Free(&r->outputFileName);
    return QZ_HTTP_RESP_OK;
}

void QZ_HTTP_Response_SetCacheMode(QZ_HTTP_Response *r, int16_t mode) {
    if (r == nullptr || mode == r->outputMode) return; // staying in a mode keeps its buffer
    if (r->outputMode == QZ_HTTP_MODE_CACHED) releaseOwnBuffer(r);
    if (mode == QZ_HTTP_MODE_CACHED) {
        auto *buffer = static_cast<QZ_CStr *>(QZ_malloc(nullptr, sizeof(QZ_CStr), "qzhttp", __LINE__));
        if (buffer != nullptr) QZ_CStr_Init(buffer);
        r->buffer = buffer;
    }
    if (mode == QZ_HTTP_MODE_DIRECT) r->buffer = nullptr;
    r->outputMode = mode;
}

void QZ_HTTP_Response_SetOutputBuffer(QZ_HTTP_Response *r, QZ_CStr *string) {
    if (r == nullptr) return;
    releaseOwnBuffer(r); // an own cached buffer is released, never leaked
    r->outputMode = QZ_HTTP_MODE_STRING;
    r->buffer = string;
}

const char *QZ_HTTP_Response_GetCachedText(const QZ_HTTP_Response *r) {
    if (r == nullptr || r->buffer == nullptr) return QZ_EmptyString;
    return r->buffer->data;
}

void QZ_HTTP_Response_SetStatusCode(QZ_HTTP_Response *r, int16_t code) {
    if (r == nullptr) return;
    char text[16];
    std::snprintf(text, sizeof text, "%03hd ", code);
    QZ_CStr_SetText(&r->status, text);
}

int16_t QZ_HTTP_Response_AddHeader(QZ_HTTP_Response *r, const char *name, const char *value) {
    if (r == nullptr) return QZ_HTTP_RESP_OK;
    qz::http::addHeaderLine(&r->headers, qz::http::headerSafe(name, "a header name") + ": " +
                                             qz::http::headerSafe(value, "a header value") + "\n");
    return QZ_HTTP_RESP_OK;
}

void QZ_HTTP_Response_AddHeaderText(QZ_HTTP_Response *r, const char *text) {
    if (r != nullptr) qz::http::addHeaderLine(&r->headers, OrEmpty(text));
}

void QZ_HTTP_Response_End(QZ_HTTP_Response *r) {
    if (r == nullptr) return;
    if (r->outputMode == QZ_HTTP_MODE_CACHED) {
        // Cached output that never opened still needs its Content-type line and stream.
        QZ_HTTP_Response_Open(r);
        QZ_Trace(5, "Sending Cached output.");
        const uint32_t length = r->buffer != nullptr ? r->buffer->length : 0;
        char line[64];
        std::snprintf(line, sizeof line, "Content-Length: %ld\r\n", static_cast<long>(length));
        qz::http::addHeaderLine(&r->headers, line);
        QZ_CStr *body = r->buffer;
        r->buffer = nullptr;
        r->outputMode = QZ_HTTP_MODE_DIRECT;
        QZ_Trace(10, "Sending headers.");
        QZ_HTTP_Response_SendHeaders(r);
        QZ_Trace(10, "End of headers.");
        if (body != nullptr) {
            QZ_HTTP_Response_Send(r, body->data, static_cast<int32_t>(body->length));
            QZ_CStr_Free(body);
            QZ_free(nullptr, body);
        }
    }
    if (r->stream != nullptr) {
        if (r->ownsStream != 0)
            std::fclose(r->stream);
        else
            std::fflush(r->stream);
    }
    r->stream = nullptr;
    r->ownsStream = 0;
    QZ_CStr_Free(&r->status);
    QZ_CStr_Free(&r->headers);
    QZ_CStr_Free(&r->outputFileName);
    if (r->contentType != nullptr) QZ_free(nullptr, r->contentType);
    r->contentType = nullptr;
    releaseOwnBuffer(r);
    r->outputMode = QZ_HTTP_MODE_DIRECT;
    QZ_HTTP_CookieList_Free(&r->cookies);
}

void QZ_HTTP_Response_Copy(QZ_HTTP_Response *target, QZ_HTTP_Response *source) {
    if (target == nullptr || source == nullptr || target == source) return;
    if (source->contentType != nullptr) QZ_HTTP_Response_SetContentType(target, source->contentType);
    QZ_CStr_Assign(&target->outputFileName, &source->outputFileName);
    QZ_CStr_Assign(&target->status, &source->status);
    QZ_CStr_Assign(&target->headers, &source->headers);
    if (source->outputMode == QZ_HTTP_MODE_STRING)
        QZ_HTTP_Response_SetOutputBuffer(target, source->buffer);
    else
        QZ_HTTP_Response_SetCacheMode(target, source->outputMode); // an own, empty buffer
    if (target->stream == nullptr && source->ownsStream == 0) {
        target->stream = source->stream; // shared, never closed by the copy
        target->ownsStream = 0;
    }
    QZ_HTTP_CookieList_Copy(&target->cookies, &source->cookies);
}

} // extern "C"
