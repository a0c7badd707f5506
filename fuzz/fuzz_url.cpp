// Fuzzes URL splitting, the encoders and the "%XX" decoder: every span must lie
// inside the URL and every copy inside its buffer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qz/qzcstr.h"
#include "qz/qzurl.h"

namespace {

void CheckSpan(const char *url, size_t length, const char *start, const char *end) {
    if (start == nullptr) {
        if (end != nullptr) {
            std::abort();
        }
        return;
    }
    if (start < url || end < start || end > url + length) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    // The first byte picks the copy size, so short buffers are exercised too.
    const size_t n = size > 0 ? data[0] % 64 : 0;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const char *url = text.c_str();  // stops at an embedded zero like any caller's text
    const size_t length = std::strlen(url);

    const char *end = nullptr;
    CheckSpan(url, length, QZ_HTTP_UrlProtocolSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlHostSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlPortSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlPathSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlDirectorySpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlFileSpan(url, &end), end);
    CheckSpan(url, length, QZ_HTTP_UrlQuerySpan(url, &end), end);

    // Exactly n + 1 bytes on the heap, so that the sanitizer sees any overrun.
    char *buffer = static_cast<char *>(std::malloc(n + 1));
    QZ_HTTP_UrlGetProtocol(buffer, url, n);
    QZ_HTTP_UrlGetHost(buffer, url, n);
    QZ_HTTP_UrlGetPath(buffer, url, n);
    QZ_HTTP_UrlGetDirectory(buffer, url, n);
    QZ_HTTP_UrlGetFile(buffer, url, n);
    QZ_HTTP_UrlGetQuery(buffer, url, n);
    if (std::strlen(buffer) > n) {
        std::abort();
    }
    std::free(buffer);
    const int16_t port = QZ_HTTP_UrlGetPort(url);
    if (port < -1) {
        std::abort();
    }

    if (std::strlen(QZ_UrlEncodeForm(url)) > QZ_URL_STATIC_MAX ||
        std::strlen(QZ_UrlEncodePath(url)) > QZ_URL_STATIC_MAX ||
        std::strlen(QZ_UrlDecodeHex(url)) > QZ_URL_STATIC_MAX) {
        std::abort();
    }
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_HTTP_EncodeFormValue(&encoded, url);
    if (encoded.length < length || encoded.length > 3 * length) {
        std::abort();
    }
    QZ_CStr_Free(&encoded);
    return 0;
}
