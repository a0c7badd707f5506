// Redirect targets: where a Location leads from the current request.

#include "http/qzhttpcore_internal.h"

#include "qz/qzurl.h"

#include <algorithm>
#include <cctype>

namespace qz_httpclient {

int32_t UrlPort(const char *url) {
    const char *end = nullptr;
    const char *digits = QZ_HTTP_UrlPortSpan(url, &end);
    if (digits == nullptr || end == nullptr || digits == end) return 0;
    int32_t port = 0;
    for (const char *p = digits; p < end; ++p) {
        if (*p < '0' || *p > '9') break;
        port = port * 10 + (*p - '0');
        if (port > 65535) return 0;
    }
    return port;
}

std::string SchemeOf(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (std::isalpha(static_cast<unsigned char>(text[i])) ||
                               (i > 0 && (std::isdigit(static_cast<unsigned char>(text[i])) || text[i] == '+' ||
                                          text[i] == '-' || text[i] == '.'))))
        ++i;
    if (i == 0 || i >= text.size() || text[i] != ':') return {};
    std::string scheme(text.substr(0, i));
    for (char &c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return scheme;
}

Redirect ResolveLocation(std::string_view location, std::string_view currentPath) {
    while (!location.empty() && (location.front() == ' ' || location.front() == '\t' ||
                                 location.front() == '\r' || location.front() == '\n'))
        location.remove_prefix(1);
    location = location.substr(0, std::min(location.find_first_of(std::string_view("\0\r\n", 3)), location.size()));
    location = Cut(location, QZHTTP_URL_MAX);

    Redirect to;
    // A reference without a scheme ("//host/path") keeps the current one.
    if (location.substr(0, 2) == "//") return ResolveLocation("http:" + std::string(location), currentPath);
    const std::string scheme = SchemeOf(location);
    if (scheme.empty()) {
        // Relative: taken against the directory of the current path.
        std::string path(location);
        if (path.empty() || path[0] != '/') {
            const size_t query = std::min(currentPath.find('?'), currentPath.size());
            const size_t slash = currentPath.substr(0, query).rfind('/');
            path = (slash == std::string_view::npos ? std::string() : std::string(currentPath.substr(0, slash + 1))) +
                   path;
        }
        to.hop = Redirect::Hop::Plain;
        to.path = std::string(Cut(path, QZHTTP_URL_MAX));
        return to;
    }
    const bool secure = scheme == "https";
    if ((scheme != "http" && !secure) || location.substr(scheme.size(), 3) != "://") return to;  // refused
    std::string url(location);
    // "http://srv2" has no host by the URL rules; its root is meant.
    if (url.find('/', scheme.size() + 3) == std::string::npos) url += '/';
    char buffer[QZHTTP_URL_MAX + 1];
    to.hop = secure ? Redirect::Hop::Secure : Redirect::Hop::Plain;
    to.absolute = true;
    to.host = QZ_HTTP_UrlGetHost(buffer, url.c_str(), QZHTTP_URL_MAX);
    to.path = QZ_HTTP_UrlGetPath(buffer, url.c_str(), QZHTTP_URL_MAX);
    const int32_t port = UrlPort(url.c_str());
    to.port = port >= 1 ? port : (secure ? 443 : 80);
    return to;
}

}  // namespace qz_httpclient
