// Program URLs for generated pages: comma-separated parameter lists and the
// program name with its "?".

#include "qz/qzhttp.h"

#include "http/qzhttp_internal.h"
#include "qz/qzdate.h"
#include "qz/qzurl.h"
#include "runtime/qztext_internal.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <string_view>

namespace {

// Appends to a caller's buffer of size characters, stopping at the size.
struct BoundedText {
    char *buffer;
    size_t size;
    size_t used = 0;
    void append(std::string_view text) {
        const size_t n = std::min(text.size(), size - used);
        for (size_t i = 0; i < n; ++i) buffer[used + i] = text[i];
        used += n;
        buffer[used] = '\0';
    }
};

} // namespace

extern "C" {

char *QZ_HTTP_FormatParameterList(char *buffer, size_t size, const char *prefix, const char *types, ...) {
    if (buffer == nullptr) return buffer;
    BoundedText out{buffer, size};
    buffer[0] = '\0';
    va_list args;
    va_start(args, types);
    bool first = true;
    for (const char *code = qz::OrEmpty(types); *code != '\0'; ++code) {
        out.append(first ? qz::OrEmpty(prefix) : ",");
        first = false;
        char text[512];
        qz::DecimalDigits digits;
        text[0] = '\0';
        switch (*code) {
        case '1':
            out.append(qz::DecimalText(digits, va_arg(args, int)));
            break;
        case '2':
            // A C long, whatever its width: generated C code passes its long
            // variables here, and a narrower argument would leave the upper
            // half of the value undefined.
            out.append(qz::DecimalText(digits, va_arg(args, long)));
            break;
        case '3':
            std::snprintf(text, sizeof text, "%.*f", 5, va_arg(args, double));
            out.append(text);
            break;
        case '4':
            out.append(QZ_UrlEncodeForm(qz::OrEmpty(va_arg(args, const char *))));
            break;
        case '5': {
            const QZ_DateTime when = va_arg(args, QZ_DateTime);
            QZ_FormatDateTime(text, sizeof text - 1, when.date, when.time, 10, 8, 0, 4, "", "", "");
            out.append(text);
            break;
        }
        case '6':
            QZ_FormatDate(text, sizeof text - 1, va_arg(args, int32_t), 7, "");
            out.append(text);
            break;
        case '7': {
            (void)va_arg(args, int32_t); // the first word is not part of the text
            out.append(QZ_UrlEncodeForm(qz::OrEmpty(va_arg(args, const char *))));
            break;
        }
        default:
            break; // the separator only
        }
    }
    va_end(args);
    return buffer;
}

char *QZ_HTTP_BuildProgramURL(QZ_CStr *string, const char *program, const char *parameters) {
    if (string == nullptr) return QZ_EmptyString;
    const std::string encoded = QZ_UrlEncodePath(qz::OrEmpty(program));
    const std::string_view params = qz::OrEmpty(parameters);
    QZ_CStr_SetText(string, encoded.c_str());
    const bool exe = encoded.size() >= 4 && encoded.compare(encoded.size() - 4, 4, ".exe") == 0;
    if (exe || !params.empty()) {
        qz::http::appendFast(string, "?");
        qz::http::appendFast(string, params);
    }
    return string->data;
}

} // extern "C"
