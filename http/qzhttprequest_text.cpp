// URL decoding, browser detection and the value formatting offered to
// generated code.

#include "qz/qzhttprequest.h"

#include "http/qzhttp_internal.h"
#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"

#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The shared result buffer of QZ_FormatInt, QZ_FormatLong and QZ_FormatDouble;
// large enough for any double with a few hundred decimals (longer results are cut).
char formatBuffer[512];

struct VersionRule {
    int16_t kind;
    const char *marker;
    size_t skip; // characters from the marker's start to the version's start
    char stop;
};

constexpr VersionRule kVersionRules[] = {
    {QZBROWSER_IE, "MSIE", 4, ';'},
    {QZBROWSER_MOZILLA, "Mozilla/", 8, ' '},
    {QZBROWSER_OPERA, "Opera", 6, ' '},
    {QZBROWSER_UP, "UP.Browser/", 11, '-'},
};

} // namespace

extern "C" {

char *QZ_UrlDecode(char *output, const char *input) {
    if (output == nullptr) return output;
    size_t n = 0;
    const char *p = qz::OrEmpty(input);
    while (*p != '\0' && n < QZ_URL_DECODE_MAX) {
        if (*p == '%' && hexDigit(p[1]) >= 0) {
            const int high = hexDigit(p[1]);
            const int low = hexDigit(p[2]);
            output[n++] = static_cast<char>(static_cast<unsigned char>(low >= 0 ? high * 16 + low : high));
            // The two characters after the "%" are consumed, unless the text
            // ends right after the first.
            p += p[2] != '\0' ? 3 : 2;
        } else {
            output[n++] = *p == '+' ? ' ' : *p;
            ++p;
        }
    }
    output[n] = '\0';
    return output;
}

void QZ_HTTP_SrvReq_DetectBrowser(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    r->browserKind = QZBROWSER_OTHER;
    const std::string_view agent = r->userAgent.data;
    if (agent.empty()) return;
    // User agents of IE and Opera also contain "Mozilla/": the order matters.
    if (agent.find("MSIE") != std::string_view::npos)
        r->browserKind = QZBROWSER_IE;
    else if (agent.find("Opera") != std::string_view::npos)
        r->browserKind = QZBROWSER_OPERA;
    else if (agent.find("Mozilla/") != std::string_view::npos)
        r->browserKind = QZBROWSER_MOZILLA;
    else if (agent.find("UP.Browser") != std::string_view::npos)
        r->browserKind = QZBROWSER_UP;
}

void QZ_HTTP_SrvReq_DetectBrowserVersion(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    QZ_CStr_Free(&r->browserVersion);
    const std::string_view agent = r->userAgent.data;
    for (const VersionRule &rule : kVersionRules) {
        if (rule.kind != r->browserKind) continue;
        const size_t at = agent.find(rule.marker);
        // The version must start inside the text ("Opera" at its very end has none).
        if (at == std::string_view::npos || at + rule.skip > agent.size()) return;
        const size_t start = at + rule.skip;
        const size_t stop = agent.find(rule.stop, start);
        if (stop == std::string_view::npos) return;
        QZ_CStr_Set(&r->browserVersion, agent.data() + start, static_cast<uint32_t>(stop - start));
        return;
    }
}

void QZ_HTTP_SrvReq_DetectDeviceMarkup(QZ_HTTP_SrvReq *r) {
    if (r == nullptr) return;
    const std::string_view accept = r->accept.data;
    r->deviceMarkup = accept.find("wap") != std::string_view::npos ||
                              accept.find("hdml") != std::string_view::npos
                          ? 1
                          : 0;
}

const char *QZ_FormatInt(int value) {
    std::snprintf(formatBuffer, sizeof formatBuffer, "%d", value);
    return formatBuffer;
}

const char *QZ_FormatLong(int32_t value) {
    std::snprintf(formatBuffer, sizeof formatBuffer, "%ld", static_cast<long>(value));
    return formatBuffer;
}

const char *QZ_FormatDouble(double value, int16_t length, int16_t decimals) {
    (void)length; // the length does not affect the text
    std::snprintf(formatBuffer, sizeof formatBuffer, "%.*f", static_cast<int>(decimals), value);
    return formatBuffer;
}

char *QZ_FormatColor(char *buffer, int32_t colour) {
    if (buffer == nullptr) return buffer;
    std::snprintf(buffer, 10, "#%06X", static_cast<unsigned>(static_cast<uint32_t>(colour)));
    return buffer;
}

int32_t QZ_RGB(int32_t red, int32_t green, int32_t blue) {
    // Computed modulo 2^32 so that out-of-range components never overflow.
    const uint32_t v = static_cast<uint32_t>(red) * 65536u + static_cast<uint32_t>(green) * 256u +
                       static_cast<uint32_t>(blue);
    return static_cast<int32_t>(v);
}

} // extern "C"
