// URL splitting: every part is a span inside the caller's URL text.
//
// The rules look only for the first ":" and "/" characters; each step uses the
// positions found by the steps before it, so all of them are computed by one
// walk (SplitUrl) and the public span functions pick their part out of it.

#include "qz/qzurl.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "runtime/qztext_internal.h"

namespace {

struct Span {
    const char *start = nullptr;  // nullptr: the part is not there
    const char *end = nullptr;
};

struct UrlParts {
    Span scheme;
    Span host;
    Span port;          // only when the host ends at ":" (may be empty)
    const char *pathStart = nullptr;
    const char *urlEnd = nullptr;
    Span directory;
    Span file;          // always there, may be empty
    Span query;
};

UrlParts SplitUrl(const char *url) {
    UrlParts p;
    const char *end = url + std::strlen(url);
    p.urlEnd = end;

    // 1. Scheme: the first ":" before the first "/" (or with no "/" at all).
    const char *colon = std::strchr(url, ':');
    const char *slash = std::strchr(url, '/');
    if (colon != nullptr && (slash == nullptr || colon < slash)) {
        p.scheme = {url, colon};
    }

    // 2. Authority start, with every "/" there skipped.
    const char *authority = p.scheme.start != nullptr ? colon + 1 : url;
    while (*authority == '/') {
        ++authority;
    }

    // 3. Host: there is none unless a "/" follows the authority start.
    const char *hostSlash = std::strchr(authority, '/');
    const char *hostColon = std::strchr(authority, ':');
    const char *pathStart = authority;
    if (hostSlash != nullptr) {
        if (hostColon != nullptr && hostColon < hostSlash) {
            p.host = {authority, hostColon};
            // 4. Port: the digits after the ":".
            const char *digits = hostColon + 1;
            const char *digitsEnd = digits;
            while (*digitsEnd >= '0' && *digitsEnd <= '9') {
                ++digitsEnd;
            }
            p.port = {digits, digitsEnd};
            pathStart = digitsEnd;  // 5. right after the port
        } else {
            p.host = {authority, hostSlash};
            pathStart = hostSlash;  // 5. at the "/" that ends the host
        }
    }
    p.pathStart = pathStart;

    // 6. Directory: up to just after the last "/" before the first "?".
    const char *question = std::strchr(pathStart, '?');
    const char *dirLimit = question != nullptr ? question : end;
    const char *lastSlash = nullptr;
    for (const char *c = pathStart; c < dirLimit; ++c) {
        if (*c == '/') {
            lastSlash = c;
        }
    }
    const char *fileStart = pathStart;
    if (lastSlash != nullptr) {
        p.directory = {pathStart, lastSlash + 1};
        fileStart = lastSlash + 1;
    }

    // 7. File: up to the first "?" after the directory (the same "?" as above:
    //    the directory never reaches past it).  8. Query: what follows it.
    const char *fileEnd = std::strchr(fileStart, '?');
    if (fileEnd != nullptr) {
        p.file = {fileStart, fileEnd};
        p.query = {fileEnd + 1, end};
    } else {
        p.file = {fileStart, end};
    }
    return p;
}

const char *Pick(const Span &span, const char **end) {
    if (end != nullptr) {
        *end = span.end;
    }
    return span.start;
}

// The text of a span; an absent part is "".
std::string_view Text(const Span &span) {
    if (span.start == nullptr) {
        return {};
    }
    return {span.start, static_cast<size_t>(span.end - span.start)};
}

}  // namespace

extern "C" {

const char *QZ_HTTP_UrlProtocolSpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).scheme, end);
}

const char *QZ_HTTP_UrlHostSpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).host, end);
}

const char *QZ_HTTP_UrlPortSpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).port, end);
}

const char *QZ_HTTP_UrlPathSpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    const UrlParts parts = SplitUrl(url);
    return Pick(Span{parts.pathStart, parts.urlEnd}, end);
}

const char *QZ_HTTP_UrlDirectorySpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).directory, end);
}

const char *QZ_HTTP_UrlFileSpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).file, end);
}

const char *QZ_HTTP_UrlQuerySpan(const char *url, const char **end) {
    if (url == nullptr) {
        return Pick(Span{}, end);
    }
    return Pick(SplitUrl(url).query, end);
}

char *QZ_HTTP_UrlGetProtocol(char *buffer, const char *url, size_t n) {
    return qz::CopyToBuffer(buffer, n, url == nullptr ? std::string_view() : Text(SplitUrl(url).scheme));
}

char *QZ_HTTP_UrlGetHost(char *buffer, const char *url, size_t n) {
    return qz::CopyToBuffer(buffer, n, url == nullptr ? std::string_view() : Text(SplitUrl(url).host));
}

char *QZ_HTTP_UrlGetPath(char *buffer, const char *url, size_t n) {
    if (url == nullptr || buffer == nullptr) {
        return qz::CopyToBuffer(buffer, 0, "");
    }
    const UrlParts parts = SplitUrl(url);
    if (parts.directory.start == nullptr) {
        return qz::CopyToBuffer(buffer, 0, "");
    }
    // The path copy is zero-padded up to n, as its callers have always seen it.
    size_t length = static_cast<size_t>(parts.urlEnd - parts.pathStart);
    if (length > n) {
        length = n;
    }
    std::memcpy(buffer, parts.pathStart, length);
    std::memset(buffer + length, 0, n + 1 - length);
    return buffer;
}

char *QZ_HTTP_UrlGetDirectory(char *buffer, const char *url, size_t n) {
    return qz::CopyToBuffer(buffer, n, url == nullptr ? std::string_view() : Text(SplitUrl(url).directory));
}

char *QZ_HTTP_UrlGetFile(char *buffer, const char *url, size_t n) {
    return qz::CopyToBuffer(buffer, n, url == nullptr ? std::string_view() : Text(SplitUrl(url).file));
}

char *QZ_HTTP_UrlGetQuery(char *buffer, const char *url, size_t n) {
    return qz::CopyToBuffer(buffer, n, url == nullptr ? std::string_view() : Text(SplitUrl(url).query));
}

int16_t QZ_HTTP_UrlGetPort(const char *url) {
    if (url == nullptr) {
        return -1;
    }
    const Span port = SplitUrl(url).port;
    if (port.start == nullptr || port.start == port.end) {
        return -1;
    }
    // Digits that do not fit a signed 16-bit number give -1 (no usable port)
    // rather than a wrapped value that would point at an unrelated port.
    int32_t value = 0;
    for (const char *c = port.start; c < port.end; ++c) {
        value = value * 10 + (*c - '0');
        if (value > 32767) {
            return -1;
        }
    }
    return static_cast<int16_t>(value);
}

}  // extern "C"
