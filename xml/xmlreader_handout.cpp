// Texts handed out into the caller's buffer: the library conversions that
// take over where the inline ASCII copies of xmlreader_internal.h stop, and
// the qualified-name form.

#include "qz/qzconv.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {

void ConvertRest(const QZ_XmlReader *r, char *out, char *text, size_t length, int32_t max, bool crlf) {
    // The conversion reads up to a terminator: end the span there for it and
    // put the byte back afterwards.
    const char saved = text[length];
    text[length] = '\0';
    if (r->nodeEncoding == 0)
        Utf8ToAnsiReplace(out, text, '\n', crlf ? "\r\n" : nullptr, max);
    else
        QZ_CharReplace(out, text, '\n', crlf ? "\r\n" : nullptr, max);
    text[length] = saved;
}

int32_t ConvertRestCounted(const QZ_XmlReader *r, char *out, const char *text, int32_t max) {
    if (r->nodeEncoding == 0)
        Utf8ToAnsi(out, text, max);
    else
        QZ_CharReplace(out, text, '\0', nullptr, max);
    return static_cast<int32_t>(std::strlen(out));
}

int32_t HandOutSpanConverted(const QZ_XmlReader *r, char *buffer, int32_t max, const char *text, size_t length,
                             bool crlf) {
    const auto room = static_cast<size_t>(max);
    size_t n;
    if (r->nodeEncoding == 0) {
        n = CopyAsciiHead(buffer, text, length, room, crlf ? '\n' : -1);
    } else {
        // UTF-8 goes out as it stands, up to the first line feed to expand.
        n = length < room ? length : room;
        if (crlf) {
            if (const void *lf = std::memchr(text, '\n', n); lf != nullptr)
                n = static_cast<size_t>(static_cast<const char *>(lf) - text);
        }
        std::memcpy(buffer, text, n);
    }
    if (n == length || n == room) {
        buffer[n] = '\0';
        return static_cast<int32_t>(n);
    }
    ConvertRest(r, buffer + n, const_cast<char *>(text) + n, length - n, max - static_cast<int32_t>(n), crlf);
    return static_cast<int32_t>(n + std::strlen(buffer + n));
}

char *HandOut(const QZ_XmlReader *r, char *buffer, int32_t max, const char *utf8) {
    HandOutCounted(r, buffer, max, utf8);
    return buffer;
}

char *HandOutQualified(const QZ_XmlReader *r, char *buffer, int32_t max, const char *prefix, const char *local) {
    if (buffer == nullptr || max < 0) return buffer;
    int32_t used = prefix[0] != '\0' ? HandOutCounted(r, buffer, max, prefix) : (buffer[0] = '\0', 0);
    if (prefix[0] != '\0' && used < max) buffer[used++] = ':';
    HandOutCounted(r, buffer + used, max - used, local);
    return buffer;
}

} // namespace qz_xmlreader
