// Where a redirect leads: the Location of a hostile answer must give a host
// and a path that fit their limits and can never end a request line, a port
// that is one, and a refusal for every scheme but http and https.  The
// origin of the same text is read as well.
// Input: the current path, a line feed, the Location value.

#include "http/qzhttpcore_internal.h"

#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const size_t split = input.find('\n');
    // The current path is a text (no zero byte), and its line breaks are
    // dropped where the request line is written, as those of any path.
    std::string current;
    for (const char c : split == std::string_view::npos ? std::string_view("/") : input.substr(0, split))
        if (c != '\0' && c != '\r' && c != '\n') current += c;
    const std::string_view location = split == std::string_view::npos ? input : input.substr(split + 1);

    using qz_httpclient::Redirect;
    const Redirect to = qz_httpclient::ResolveLocation(location, current);
    if (to.hop == Redirect::Hop::Refused) {
        if (!to.host.empty() || !to.path.empty()) std::abort();
    } else {
        if (to.path.size() > QZHTTP_URL_MAX || to.host.size() > QZHTTP_URL_MAX) std::abort();
        // Relative references keep the current directory, absolute ones name their own.
        const std::string_view stops("\r\n\0", 3);
        if (to.path.find_first_of(stops) != std::string::npos || to.host.find_first_of(stops) != std::string::npos)
            std::abort();
        if (to.absolute && (to.port < 1 || to.port > 65535)) std::abort();
        if (to.hop == Redirect::Hop::Secure && !to.absolute) std::abort();
    }
    const qz_httpclient::Origin origin = qz_httpclient::OriginOfUrl(location);
    if (!origin.scheme.empty() && (origin.port < 0 || origin.port > 65535)) std::abort();
    if (!qz_httpclient::SameOrigin(origin, origin) && !origin.scheme.empty()) std::abort();
    return 0;
}
