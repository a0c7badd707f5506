// Response handle operations for generated code.

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qzglobal.h"
#include "qz/qzxml.h"
#include "runtime/qzrequest_channel.h"

#include <cstdio>
#include <cstring>

extern "C" {

void QZ_HTTP_ResponseAttach(QZ_HTTP_ResponseHandle *handle, QZ_PgmContext *context) {
    if (handle != nullptr) *handle = context != nullptr ? &context->response : nullptr;
}

void QZ_HTTP_ResponseDetach(QZ_HTTP_ResponseHandle *handle) {
    if (handle != nullptr) *handle = nullptr;
}

void QZ_HTTP_ResponseAddString(QZ_HTTP_ResponseHandle handle, const char *text) {
    if (handle == nullptr) return;
    handle->lastError = 0;
    QZ_HTTP_Response_Write(handle, text);
}

void QZ_HTTP_ResponseAddHeader(QZ_HTTP_ResponseHandle handle, const char *name, const char *value) {
    if (handle == nullptr) return;
    qz::http::addHeaderLine(&handle->headers, qz::http::headerSafe(name, "a header name") + ": " +
                                                  qz::http::headerSafe(value, "a header value") + "\r\n");
}

int32_t QZ_HTTP_ResponseGetLastError(QZ_HTTP_ResponseHandle handle) {
    return handle != nullptr ? handle->lastError : 0;
}

const char *QZ_HTTP_ResponseGetLastErrorText(QZ_HTTP_ResponseHandle handle) {
    return std::strerror(handle != nullptr ? handle->lastError : 0);
}

int16_t QZ_HTTP_ResponseStartXML(struct QZ_XmlWriter *writer, QZ_HTTP_ResponseHandle handle) {
    if (handle == nullptr) return 0;
    QZ_HTTP_Response_SetDefaultContentType(handle, "text/xml");
    QZ_HTTP_Response_Open(handle);
    if (handle->stream != nullptr) std::fflush(handle->stream); // the headers precede the document
    if (writer == nullptr) return 0;
    // On standard output the writer starts with an empty target; a response
    // directed elsewhere (an output file) keeps the document with its stream.
    if (handle->stream == nullptr || handle->stream == qz_RequestOut())
        QZ_xmlstart(writer, "");
    else
        QZ_xmlstartOnFile(writer, handle->stream);
    return 0;
}

} // extern "C"
