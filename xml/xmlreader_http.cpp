// http(s) documents and external entities, fetched with the HTTP client.

#include "qz/qzhttpclient.h"
#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

// The HTTP client fetches them with its exchange record: opened with the
// head read, the body read block by block, closed. The reference is a plain
// one, so that a program linked with the static library and using only the
// reader still gets the client it needs for http documents.
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

} // namespace

int16_t OpenHttpInput(QZ_XmlReader *r, const char *url, Input &input) {
    HttpBase(url, input.base);
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
