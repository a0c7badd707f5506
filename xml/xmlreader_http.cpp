// http(s) documents and external entities, fetched with the HTTP client.

#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

// The HTTP client's exchange record and the operations that fetch a whole
// URL with it. They live in the client module; a program built without it
// cannot open http documents (input error).
extern "C" {
struct QZ_HTTP_Request;
QZ_HTTP_Request *QZ_HTTP_Request_Init(void) __attribute__((weak));
void QZ_HTTP_Request_Free(QZ_HTTP_Request *request) __attribute__((weak));
int16_t QZ_HTTP_Request_Open_Url(QZ_HTTP_Request *request, const char *method, const char *url,
                                 const char *proxyHost, int32_t proxyPort, QZ_List *credentials)
    __attribute__((weak));
int16_t QZ_HTTP_Request_Read_Buf(QZ_HTTP_Request *request, char *buffer, int32_t size, uint32_t *count)
    __attribute__((weak));
void QZ_HTTP_Request_Close(QZ_HTTP_Request *request) __attribute__((weak));
int16_t qz_HTTP_Request_Get_Status_Code(QZ_HTTP_Request *request) __attribute__((weak));
}

namespace qz_xmlreader {

void HttpBase(const char *url, char *base) {
    // scheme "://" host [":" port] and the directory part of the path (up to
    // and including its last "/" before any "?").
    const char *query = std::strchr(url, '?');
    const char *end = query != nullptr ? query : url + std::strlen(url);
    const char *afterScheme = std::strstr(url, "://");
    const char *pathStart = afterScheme != nullptr ? afterScheme + 3 : url;
    while (pathStart < end && *pathStart != '/') ++pathStart;
    const char *cut = nullptr;
    for (const char *p = pathStart; p < end; ++p)
        if (*p == '/') cut = p + 1;
    size_t length;
    if (cut != nullptr) {
        length = static_cast<size_t>(cut - url);
    } else {
        // No path: the authority alone, with a "/" to stand for the root.
        length = static_cast<size_t>(end - url);
    }
    if (length > kBaseMax) length = kBaseMax;
    std::memcpy(base, url, length);
    base[length] = '\0';
    if (cut == nullptr && length < kBaseMax) {
        base[length] = '/';
        base[length + 1] = '\0';
    }
}

namespace {

// A document fetched with "GET": the exchange stays open while the body is
// read block by block.
struct HttpInput {
    QZ_HTTP_Request *request;
};

QZ_Flag HttpRead(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) {
    auto *in = static_cast<HttpInput *>(handle);
    uint32_t count = 0;
    // The buffer holds wanted + 1 bytes (the block is one byte larger than a
    // read), as the client's block read zero-terminates what it delivers.
    // Its flag tells how the last receive went, which at the end of the body
    // is a failure even when bytes came: the bytes count, and no bytes means
    // the end of the document.
    QZ_HTTP_Request_Read_Buf(in->request, buffer, static_cast<int32_t>(wanted), &count);
    *delivered = count <= wanted ? count : wanted;
    return 1;
}

QZ_Flag HttpClose(void *handle) {
    auto *in = static_cast<HttpInput *>(handle);
    QZ_HTTP_Request_Close(in->request);
    QZ_HTTP_Request_Free(in->request);
    QZ_free(nullptr, in->request);
    PoolFree(in);
    return 1;
}

bool ClientLinked() {
    return &QZ_HTTP_Request_Init != nullptr && &QZ_HTTP_Request_Open_Url != nullptr &&
           &QZ_HTTP_Request_Read_Buf != nullptr && &QZ_HTTP_Request_Close != nullptr &&
           &QZ_HTTP_Request_Free != nullptr && &qz_HTTP_Request_Get_Status_Code != nullptr;
}

} // namespace

int16_t OpenHttpInput(QZ_XmlReader *r, const char *url, Input &input) {
    HttpBase(url, input.base);
    if (!ClientLinked()) return QZ_XMLREADER_ERR_INPUT;
    QZ_HTTP_Request *request = QZ_HTTP_Request_Init();
    if (request == nullptr) return QZ_XMLREADER_ERR_INPUT;
    const int16_t failure = QZ_HTTP_Request_Open_Url(request, "GET", url, r->proxyHost.data,
                                                     static_cast<int32_t>(r->proxyPort), &r->authorization);
    // An answer that is not a document (404, 500, ...) is an input error,
    // not a page of HTML to parse.
    const int16_t status = failure == 0 ? qz_HTTP_Request_Get_Status_Code(request) : 0;
    auto *in = failure == 0 && status < 400 ? static_cast<HttpInput *>(PoolAlloc(sizeof(HttpInput), __LINE__)) : nullptr;
    if (in == nullptr) {
        QZ_HTTP_Request_Close(request);
        QZ_HTTP_Request_Free(request);
        QZ_free(nullptr, request);
        return QZ_XMLREADER_ERR_INPUT;
    }
    in->request = request;
    input.handle = in;
    input.read = &HttpRead;
    input.close = &HttpClose;
    return 0;
}

} // namespace qz_xmlreader
