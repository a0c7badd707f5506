// Helpers shared by the CGI request, response and cookie modules and the
// HTTP client.

#include "http/qzhttp_internal.h"

#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <limits>
#include <string>

namespace qz::http {

bool reserveMore(QZ_CStr *s, uint32_t more) {
    if (s == nullptr) return false;
    if (more > UINT32_MAX - 2 - s->length) return false;
    const uint32_t needed = s->length + more;
    // QZ_CStr keeps its capacity strictly above the length (the terminator
    // has its own byte besides): a need equal to the capacity must grow too,
    // and through this rule, not through the 128-byte step of the string.
    if (needed < s->capacity) return true;
    const uint64_t doubled = static_cast<uint64_t>(s->capacity) * 2;
    const uint64_t target = std::max<uint64_t>(needed, std::min<uint64_t>(doubled, UINT32_MAX / 2));
    return QZ_CStr_Reserve(s, static_cast<uint32_t>(target)) != 0 || QZ_CStr_Reserve(s, needed) != 0;
}

bool appendGrow(QZ_CStr *s, std::string_view bytes) {
    if (s == nullptr) return false;
    if (bytes.empty()) return true;
    if (bytes.size() > UINT32_MAX / 2) return false;
    if (!reserveMore(s, static_cast<uint32_t>(bytes.size()))) return false;
    QZ_CStr_Append(s, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return true;
}

bool parseInt32(const char *text, int32_t *out) {
    if (text == nullptr) return false;
    const char *p = text;
    while (*p != '\0' && std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    const char *digits = p;
    while (*p >= '0' && *p <= '9') ++p;
    if (p == digits) return false;
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(digits, p, value);
    (void)end;
    if (ec == std::errc::result_out_of_range) value = std::numeric_limits<int64_t>::max();
    if (negative) value = value == std::numeric_limits<int64_t>::max() ? std::numeric_limits<int64_t>::min() : -value;
    value = std::clamp<int64_t>(value, INT32_MIN, INT32_MAX);
    *out = static_cast<int32_t>(value);
    return true;
}

std::string headerSafe(const char *text, const char *what) {
    const std::string_view all(qz::OrEmpty(text));
    if (all.find_first_of("\r\n") == std::string_view::npos) return std::string(all);
    std::string cleaned;
    cleaned.reserve(all.size());
    for (const char c : all)
        if (c != '\r' && c != '\n') cleaned.push_back(c);
    QZ_Trace(0, "Line break refused in %s: '%s'", what, cleaned.c_str());
    return cleaned;
}

bool appendHeaderSafe(QZ_CStr *s, const char *text, const char *what) {
    const bool clean = std::string_view(qz::OrEmpty(text)).find_first_of("\r\n") == std::string_view::npos;
    appendFast(s, headerSafe(text, what));
    return clean;
}

bool addHeaderLine(QZ_CStr *headers, std::string_view line) {
    if (appendFast(headers, line)) return true;
    QZ_Trace(0, "HTT0002: Not enough memory.");
    return false;
}

} // namespace qz::http
