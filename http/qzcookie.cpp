// Cookies: the received list (parsed from HTTP_COOKIE), the response's list,
// the lookup across both and the "Set-Cookie: " lines.

#include "qz/qzcookie.h"

#include "http/qzhttp_internal.h"
#include "qz/qzdate.h"
#include "qz/qzhttp.h"
#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "qz/qzurl.h"
#include "runtime/qztext_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

using qz::OrEmpty;

std::string_view cut(std::string_view text) { return text.substr(0, QZ_HTTP_COOKIE_TEXT_MAX); }

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

void freeCookie(QZ_HTTP_Cookie *cookie) {
    QZ_CStr_Free(&cookie->name);
    QZ_CStr_Free(&cookie->value);
    QZ_CStr_Free(&cookie->path);
    QZ_CStr_Free(&cookie->domain);
    QZ_free(nullptr, cookie);
}

// Copies the text into the string; false when the copy could not be stored.
bool copyText(QZ_CStr *field, const char *text) {
    const std::string_view source = OrEmpty(text);
    QZ_CStr_Set(field, source.data(), static_cast<uint32_t>(std::min<size_t>(source.size(), UINT32_MAX)));
    return field->length == source.size();
}

size_t skipBlanksAndTabs(std::string_view text, size_t at) {
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;
    return at;
}

// The first cookie of the list whose name equals name, trailing blanks aside.
QZ_HTTP_Cookie *findCookie(QZ_List *list, std::string_view name) {
    if (list == nullptr) return nullptr;
    QZ_ListNode *node = list->first;
    for (uint32_t i = 0; i < list->count && node != nullptr; ++i, node = node->next) {
        auto *cookie = static_cast<QZ_HTTP_Cookie *>(node->data);
        if (trimRight(cookie->name.data) == name) return cookie;
    }
    return nullptr;
}

} // namespace

extern "C" {

QZ_HTTP_Cookie *QZ_HTTP_CookieList_Add(QZ_List *list, const char *name, const char *value,
                                       const char *path, int32_t expiryDate, int32_t expiryTime,
                                       const char *domain, int16_t secure) {
    if (list == nullptr) return nullptr;
    auto *cookie = static_cast<QZ_HTTP_Cookie *>(
        QZ_malloc(nullptr, sizeof(QZ_HTTP_Cookie), "qzcookie", __LINE__));
    if (cookie == nullptr) return nullptr;
    QZ_CStr_Init(&cookie->name);
    QZ_CStr_Init(&cookie->value);
    QZ_CStr_Init(&cookie->path);
    QZ_CStr_Init(&cookie->domain);
    // A cookie is added whole or not at all: one whose texts cannot all be
    // copied is no more added than one whose record cannot be allocated.
    const bool copied = copyText(&cookie->name, name) && copyText(&cookie->value, value) &&
                        copyText(&cookie->path, path) && copyText(&cookie->domain, domain);
    cookie->expiryDate = expiryDate;
    cookie->expiryTime = expiryTime;
    cookie->secure = secure;
    if (!copied || QZ_List_Append(list, cookie) == nullptr) {
        freeCookie(cookie);
        return nullptr;
    }
    return cookie;
}

void QZ_HTTP_CookieList_Copy(QZ_List *target, QZ_List *source) {
    if (target == nullptr || source == nullptr || target == source) return;
    QZ_ListNode *node = source->first;
    for (uint32_t i = 0, n = source->count; i < n && node != nullptr; ++i, node = node->next) {
        const auto *c = static_cast<const QZ_HTTP_Cookie *>(node->data);
        QZ_HTTP_CookieList_Add(target, c->name.data, c->value.data, c->path.data, c->expiryDate,
                               c->expiryTime, c->domain.data, c->secure);
    }
}

void QZ_HTTP_CookieList_Free(QZ_List *list) {
    if (list == nullptr) return;
    QZ_ListNode *node = list->first;
    for (uint32_t i = 0; i < list->count && node != nullptr; ++i, node = node->next)
        freeCookie(static_cast<QZ_HTTP_Cookie *>(node->data));
    QZ_List_Free(list);
}

void QZ_HTTP_SrvReq_ParseCookies(QZ_HTTP_SrvReq *request, const char *text) {
    if (request == nullptr) return;
    QZ_List_Init(&request->cookies);
    if (text == nullptr) {
        QZ_Trace(1, "No cookies received.");
        return;
    }
    QZ_Trace(5, "Value of HTTP_COOKIE is '%s'.", text);
    const std::string_view all(text);
    std::string name;
    std::string raw;
    char decoded[QZ_URL_DECODE_MAX + 1];
    size_t at = skipBlanksAndTabs(all, 0);
    while (at < all.size()) {
        const size_t equals = all.find('=', at);
        if (equals == std::string_view::npos) break;
        name.assign(cut(all.substr(at, equals - at)));
        const size_t valueStart = equals + 1;
        const size_t semicolon = all.find(';', valueStart);
        const bool last = semicolon == std::string_view::npos;
        const size_t valueEnd = last ? all.size() : semicolon;
        raw.assign(cut(all.substr(valueStart, valueEnd - valueStart)));
        QZ_UrlDecode(decoded, raw.c_str());
        QZ_Trace(1, "Cookie: %s=%s", name.c_str(), decoded);
        QZ_HTTP_CookieList_Add(&request->cookies, name.c_str(), decoded, "", 0, 0, "", 0);
        if (last) break;
        at = skipBlanksAndTabs(all, semicolon + 1);
    }
}

int16_t QZ_HTTP_Response_SetCookie(QZ_HTTP_Response *response, const char *name, const char *value,
                                   const char *path, int32_t expiryDate, int32_t expiryTime,
                                   const char *domain, int16_t secure) {
    if (response == nullptr) return 0;
    QZ_HTTP_CookieList_Add(&response->cookies, name, value, path, expiryDate, expiryTime, domain,
                           secure);
    return 0;
}

char *QZ_HTTP_GetCookie(QZ_HTTP_Response *response, QZ_HTTP_SrvReq *request, char *buffer,
                        const char *name, size_t size) {
    const std::string_view wanted = trimRight(OrEmpty(name));
    QZ_HTTP_Cookie *cookie = findCookie(response != nullptr ? &response->cookies : nullptr, wanted);
    if (cookie == nullptr) cookie = findCookie(request != nullptr ? &request->cookies : nullptr, wanted);
    if (cookie == nullptr || buffer == nullptr) return QZ_EmptyString;
    return qz::CopyToBuffer(buffer, size, cookie->value.data);
}

uint32_t QZ_HTTP_Response_CookieCount(const QZ_HTTP_Response *response) {
    return response != nullptr ? response->cookies.count : 0;
}

void QZ_HTTP_Cookie_AppendSetCookieLine(QZ_CStr *text, const QZ_HTTP_Cookie *c) {
    using qz::http::headerSafe;
    if (text == nullptr || c == nullptr) return;
    // The line is built whole and added in one piece: without memory for it,
    // it is left out rather than cut.
    std::string line = "Set-Cookie: ";
    line += headerSafe(c->name.data, "a cookie name");
    line += "=";
    // The whole value is encoded (no length limit), so a long value is never cut.
    QZ_CStr encoded;
    QZ_CStr_Init(&encoded);
    QZ_HTTP_EncodeFormValue(&encoded, c->value.data);
    const bool encodedWhole = c->value.length == 0 || encoded.length != 0;
    line.append(encoded.data, encoded.length);
    QZ_CStr_Free(&encoded);
    if (!encodedWhole) {
        QZ_Trace(0, "HTT0002: Not enough memory.");
        return;
    }
    line += ";";
    if (c->expiryDate != 0 || c->expiryTime != 0) {
        char day[QZ_DAY_NAME_SLOT + 1];
        char month[QZ_MONTH_NAME_SLOT + 1];
        char time[32];
        QZ_DayName(day, QZ_DAY_NAME_SLOT, c->expiryDate, "ENG");
        QZ_MonthName(month, QZ_MONTH_NAME_SLOT, c->expiryDate, "ENG");
        time[0] = '\0';
        QZ_FormatTime(time, sizeof time - 1, c->expiryTime, 3, ":");
        char expires[128];
        std::snprintf(expires, sizeof expires, " expires=%.3s, %02hd-%.3s-%04hd %s GMT;", day,
                      QZ_DayOfMonth(c->expiryDate), month, QZ_Year(c->expiryDate), time);
        line += expires;
    }
    if (c->path.length > 0) {
        line += " path=";
        line += headerSafe(c->path.data, "a cookie path");
        line += ";";
    }
    if (c->domain.length > 0) {
        line += " domain=";
        line += headerSafe(c->domain.data, "a cookie domain");
        line += ";";
    }
    if (c->secure != 0) line += " secure";
    line += "\n";
    qz::http::addHeaderLine(text, line);
}

void QZ_HTTP_Response_AddSetCookieHeaders(QZ_HTTP_Response *response) {
    if (response == nullptr) return;
    QZ_ListNode *node = response->cookies.first;
    for (uint32_t i = 0; i < response->cookies.count && node != nullptr; ++i, node = node->next)
        QZ_HTTP_Cookie_AppendSetCookieLine(&response->headers,
                                           static_cast<const QZ_HTTP_Cookie *>(node->data));
}

} // extern "C"
