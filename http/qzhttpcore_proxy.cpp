// The proxy that new clients take as their default.  There is no per-user
// registry on this platform: the enabled flag and the host[:port] text come
// from the configuration file, section "Proxy", keys "ProxyEnable" and
// "ProxyServer".  Environment variables are never read: under CGI a
// request's "Proxy:" header turns into HTTP_PROXY, so any client could steer
// this program's requests through a host of its choosing.

#include "http/qzhttpcore_internal.h"

#include "qz/qzhttpclient.h"
#include "qz/qztrace.h"

#include <charconv>
#include <cstdlib>
#include <string_view>

namespace {

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool Enabled(std::string_view flag) {
    flag = Trimmed(flag);
    if (flag.empty()) return false;
    const char c = flag.front();
    if (c == 'y' || c == 'Y' || c == 't' || c == 'T') return true;  // "yes", "true"
    long value = 0;
    const auto [end, error] = std::from_chars(flag.data(), flag.data() + flag.size(), value);
    return error == std::errc() && value != 0;
}

}  // namespace

extern "C" void QZ_HTTP_GetSystemProxy(QZ_CStr *proxyHost, int32_t *proxyPort) {
    if (proxyHost != nullptr) QZ_CStr_Free(proxyHost);
    if (proxyPort != nullptr) *proxyPort = 0;
    char server[QZ_INI_VALUE_MAX + 1];
    char enable[QZ_INI_VALUE_MAX + 1];
    if (QZ_ReadIniValue("QZCFG", "Proxy", "ProxyServer", "qzcfg.ini", server) == 0 ||
        QZ_ReadIniValue("QZCFG", "Proxy", "ProxyEnable", "qzcfg.ini", enable) == 0 || !Enabled(enable))
        return;
    // One host[:port], split at its last ":"; a per-protocol list (with "="
    // signs) is taken literally.
    const std::string_view text = Trimmed(server);
    const size_t colon = text.rfind(':');
    std::string_view host = text;
    int32_t port = 80;
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        const char *digits = text.data() + colon + 1;
        port = static_cast<int32_t>(std::strtol(digits, nullptr, 10));
        if (port < 0 || port > 65535) port = 0;
    }
    if (host.empty()) return;
    if (proxyHost != nullptr) QZ_CStr_Set(proxyHost, host.data(), static_cast<uint32_t>(host.size()));
    if (proxyPort != nullptr) *proxyPort = port;
}
