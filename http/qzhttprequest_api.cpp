// The request API for generated code: handles, headers, the body as text, as
// a file and as XML reader input, and the query string.

#include "qz/qzhttprequest.h"

#include "http/qzhttp_internal.h"
#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "qz/qzurl.h"
#include "qz/qzxmlreader.h"
#include "runtime/qztext_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

// Input state of the XML reader over the request body.
struct BodyInput {
    uint32_t offset;
    QZ_HTTP_SrvReq *request;
};

QZ_Flag releaseBodyInput(void *state) {
    QZ_free(nullptr, state);
    return 1;
}

} // namespace

extern "C" {

void QZ_HTTP_SrvReq_Attach(QZ_HTTP_SrvReq_Handle *handle, QZ_PgmContext *context) {
    if (handle != nullptr) *handle = context != nullptr ? &context->request : nullptr;
}

void QZ_HTTP_SrvReq_Detach(QZ_HTTP_SrvReq_Handle *handle) {
    if (handle != nullptr) *handle = nullptr;
}

const char *QZ_HTTP_SrvReq_Get_Variable(QZ_HTTP_SrvReq_Handle handle, const char *name) {
    return QZ_HTTP_SrvReq_GetVariable(handle, name);
}

const char *qz_HTTP_SrvReq_Get_Header(QZ_HTTP_SrvReq_Handle handle, const char *name) {
    (void)handle;
    QZ_Trace(2, "start qz_HTTP_SrvReq_Get_Header start, sKey = '%s'", qz::OrEmpty(name));
    const char *value = qz_GetEnv(name);
    QZ_Trace(2, "start qz_HTTP_SrvReq_Get_Header end, Value = '%s'", value);
    return value;
}

const char *qz_HTTP_SrvReq_ToString(QZ_HTTP_SrvReq_Handle handle) {
    QZ_Trace(2, "start qz_HTTP_SrvReq_ToString");
    const char *body = handle != nullptr ? handle->content.data : QZ_EmptyString;
    QZ_Trace(2, "end qz_HTTP_SrvReq_ToString, ret = '%s'", body);
    return body;
}

int32_t qz_HTTP_SrvReq_ToFile(QZ_HTTP_SrvReq_Handle handle, const char *fileName) {
    QZ_Trace(2, "qz_HTTP_SrvReq_ToFile start FileName = '%s'", qz::OrEmpty(fileName));
    errno = 0;
    FILE *file = fileName != nullptr ? std::fopen(fileName, "w") : nullptr;
    int32_t error = file != nullptr ? 0 : (errno != 0 ? errno : ENOENT);
    if (file != nullptr) {
        const char *body = handle != nullptr ? handle->content.data : QZ_EmptyString;
        errno = 0;
        if (std::fputs(body, file) == EOF && *body != '\0') error = errno != 0 ? errno : EIO;
        if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    }
    if (handle != nullptr) handle->lastFileError = error;
    QZ_Trace(2, "qz_HTTP_SrvReq_ToFile end, errno = %d", static_cast<int>(error));
    return error;
}

int16_t qz_HTTP_SrvReq_ReadContent(QZ_HTTP_SrvReq *r, char *buffer, uint32_t bytesToRead,
                                   uint32_t offset, uint32_t *bytesRead) {
    QZ_Trace(2, "qz_HTTP_SrvReq_ReadContent start, nOffset %d, pRequestObject=%p",
             static_cast<int>(offset), static_cast<void *>(r));
    // The body's length is what actually arrived (plus its terminator), which
    // may be less than CONTENT_LENGTH: an offset beyond it is never read.
    if (r != nullptr && buffer != nullptr && r->contentLength > 0 &&
        r->content.data != QZ_EmptyString && uint64_t{r->content.length} + 1 > offset) {
        const char *from = r->content.data + offset;
        const size_t available = strnlen(from, std::min<size_t>(r->content.length - offset, bytesToRead));
        const uint32_t n = static_cast<uint32_t>(std::min<size_t>(available, bytesToRead));
        std::memcpy(buffer, from, n);
        if (bytesRead != nullptr) *bytesRead = n;
        QZ_Trace(2, "qz_HTTP_SrvReq_ReadContent end (Success)");
        return 1;
    }
    if (bytesRead != nullptr) *bytesRead = 0;
    QZ_Trace(2, "qz_HTTP_SrvReq_ReadContent end (Failed!)");
    return 0;
}

char *QZ_HTTP_SrvReq_Get_QueryString(QZ_HTTP_SrvReq_Handle handle, char *buffer, size_t size) {
    if (buffer == nullptr) return buffer;
    char decoded[QZ_URL_DECODE_MAX + 1];
    QZ_UrlDecode(decoded, handle != nullptr ? handle->queryString.data : QZ_EmptyString);
    return qz::CopyToBuffer(buffer, size, decoded);
}

void QZ_HTTP_SrvReq_Set_QueryString(QZ_HTTP_SrvReq_Handle handle, const char *text) {
    if (handle == nullptr) return;
    QZ_CStr_SetText(&handle->queryString, qz::OrEmpty(text));
    handle->paramCursor = handle->queryString.data;
}

char *QZ_HTTP_SrvReq_UrlEncodePath(char *buffer, const char *text, size_t size) {
    return qz::CopyToBuffer(buffer, size, QZ_UrlEncodePath(qz::OrEmpty(text)));
}

char *QZ_HTTP_SrvReq_UrlEncodeForm(char *buffer, const char *text, size_t size) {
    return qz::CopyToBuffer(buffer, size, QZ_UrlEncodeForm(qz::OrEmpty(text)));
}

int16_t qz_HTTP_Req_XMLRdrInput(void *state, char *buffer, uint32_t bytesToRead, uint32_t *bytesRead) {
    auto *input = static_cast<BodyInput *>(state);
    QZ_Trace(4, "qz_HTTP_Req_XMLRdrInput(XRequest) start");
    uint32_t got = 0;
    const int16_t result = input != nullptr
                               ? qz_HTTP_SrvReq_ReadContent(input->request, buffer, bytesToRead,
                                                            input->offset, &got)
                               : 0;
    QZ_Trace(4, "BytesToRead = %d, BytesRead = %d , Offset = %d, buffer='%.*s'",
             static_cast<int>(bytesToRead), static_cast<int>(got),
             static_cast<int>(input != nullptr ? input->offset : 0), static_cast<int>(got),
             buffer != nullptr ? buffer : "");
    if (input != nullptr) input->offset += got;
    if (bytesRead != nullptr) *bytesRead = got;
    QZ_Trace(4, "qz_HTTP_Req_XMLRdrInput end");
    return result;
}

int16_t QZ_XMLReader_OpenRequest(QZ_XmlReader *reader, QZ_HTTP_SrvReq_Handle handle) {
    auto *input = static_cast<BodyInput *>(
        QZ_malloc(nullptr, sizeof(BodyInput), "qzhttprequest", __LINE__));
    if (input == nullptr) return 0;
    input->offset = 0;
    input->request = handle;
    QZ_Trace(4, "QZ_XMLReader_OpenRequest start");
    // The body comes from outside the program: the reader is opened so that
    // the document cannot make it fetch files or URLs (external entities).
    const int16_t opened = qz_XMLReaderParametricOpenUntrusted(reader, input, qz_HTTP_Req_XMLRdrInput,
                                                               releaseBodyInput, "");
    QZ_Trace(4, "QZ_XMLReader_OpenRequest end");
    return opened;
}

} // extern "C"
