// Origins: the scheme, host and port that credentials belong to.

#include "http/qzhttpcore_internal.h"

#include <algorithm>
#include <cctype>

namespace qz_httpclient {

namespace {

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char &c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

int32_t DefaultPort(std::string_view scheme) {
    if (scheme == "https") return 443;
    if (scheme == "http") return 80;
    return 0;
}

}  // namespace

Origin MakeOrigin(std::string_view scheme, std::string_view host, int32_t port) {
    Origin origin;
    origin.scheme = Lower(scheme);
    origin.host = Lower(host);
    origin.port = port > 0 ? port : DefaultPort(origin.scheme);
    return origin;
}

Origin OriginOfUrl(std::string_view url) {
    const size_t mark = url.find("://");
    if (mark == std::string_view::npos || mark == 0) return {};
    const std::string_view scheme = url.substr(0, mark);
    std::string_view rest = url.substr(mark + 3);
    rest = rest.substr(0, std::min(rest.find_first_of("/?#"), rest.size()));
    // Credentials written into the URL ("user@host") are not part of it.
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest.remove_prefix(at + 1);
    std::string_view host = rest;
    std::string_view port;
    if (!rest.empty() && rest.front() == '[') {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return {};
        host = rest.substr(0, close + 1);
        if (close + 1 < rest.size() && rest[close + 1] == ':') port = rest.substr(close + 2);
    } else {
        const size_t colon = rest.find(':');
        if (colon != std::string_view::npos) {
            host = rest.substr(0, colon);
            port = rest.substr(colon + 1);
        }
    }
    int32_t number = 0;
    for (const char c : port) {
        if (c < '0' || c > '9' || number > 65535) return {};
        number = number * 10 + (c - '0');
    }
    if (number > 65535) return {};
    return MakeOrigin(scheme, host, number);
}

bool SameOrigin(const Origin &a, const Origin &b) {
    return !a.scheme.empty() && a.scheme == b.scheme && a.host == b.host && a.port == b.port;
}

}  // namespace qz_httpclient
