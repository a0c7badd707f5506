// Helpers shared by the CGI request, response and cookie modules.

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

bool appendFast(QZ_CStr *s, std::string_view bytes) {
    if (s == nullptr) return false;
    if (bytes.empty()) return true;
    if (bytes.size() > UINT32_MAX - s->length) return false;
    const uint32_t needed = s->length + static_cast<uint32_t>(bytes.size());
    if (needed > s->capacity) {
        const uint64_t doubled = static_cast<uint64_t>(s->capacity) * 2;
        const uint64_t target = std::max<uint64_t>(needed, std::min<uint64_t>(doubled, UINT32_MAX / 2));
        if (QZ_CStr_Reserve(s, static_cast<uint32_t>(target)) == 0 &&
            QZ_CStr_Reserve(s, needed) == 0)
            return false;
    }
    const uint32_t before = s->length;
    QZ_CStr_Append(s, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return s->length == before + bytes.size();
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
