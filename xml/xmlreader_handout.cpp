// Texts handed out into the caller's buffer: converted to ANSI (node
// encoding 0) or copied as UTF-8 (1), at most max characters and a
// terminator.
//
// Nearly every name and value of a document is ASCII, which both library
// conversions write byte for byte. So the ASCII head of a text is copied
// here directly, and only from the first byte that needs decoding (or the
// line feed that LinesNormalization 2 writes as CR LF) on does the library
// conversion take over, with the room that is left: the result is the
// conversion's own, without its per-character work on the common case.

#include "qz/qzconv.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

constexpr uint64_t kOnes = 0x0101010101010101ULL;
constexpr uint64_t kHighs = 0x8080808080808080ULL;

// True when one of the eight bytes is zero, above 7F, or the stop byte.
inline bool WordStops(uint64_t w, uint64_t stopWord) {
    const uint64_t zero = (w - kOnes) & ~w;
    const uint64_t x = w ^ stopWord;
    const uint64_t stop = (x - kOnes) & ~x;
    return ((zero | stop | w) & kHighs) != 0;
}

// Copies the head of text that the conversion would write unchanged: bytes
// from 01 to 7F other than stop (a negative stop: none), at most room of
// them, reading no further than length bytes. Returns the bytes copied.
inline size_t CopyAsciiHead(char *out, const char *text, size_t length, size_t room, int stop) {
    const size_t limit = length < room ? length : room;
    const uint64_t stopWord = stop >= 0 ? kOnes * static_cast<uint8_t>(stop) : 0;
    size_t n = 0;
    for (; n + 8 <= limit; n += 8) {
        uint64_t w;
        std::memcpy(&w, text + n, 8);
        if (WordStops(w, stopWord)) break;
        std::memcpy(out + n, &w, 8);
    }
    for (; n < limit; ++n) {
        const auto c = static_cast<unsigned char>(text[n]);
        if (c == 0 || c >= 0x80 || static_cast<int>(c) == stop) break;
        out[n] = static_cast<char>(c);
    }
    return n;
}

// The library conversion of a zero-terminated text.
inline void Convert(const QZ_XmlReader *r, char *out, const char *text, int32_t max, bool crlf) {
    if (r->nodeEncoding == 0)
        Utf8ToAnsiReplace(out, text, '\n', crlf ? "\r\n" : nullptr, max);
    else
        QZ_CharReplace(out, text, '\n', crlf ? "\r\n" : nullptr, max);
}

} // namespace

char *HandOutEmpty(char *buffer, int32_t max) {
    if (buffer != nullptr && max >= 0) buffer[0] = '\0';
    return buffer;
}

char *HandOutSpan(const QZ_XmlReader *r, char *buffer, int32_t max, char *text, size_t length, bool crlf) {
    if (buffer == nullptr || max < 0) return buffer;
    const auto room = static_cast<size_t>(max);
    size_t n;
    if (r->nodeEncoding == 0) {
        n = CopyAsciiHead(buffer, text, length, room, crlf ? '\n' : -1);
    } else {
        // UTF-8 goes out as it stands, up to the first line feed to expand.
        n = length < room ? length : room;
        if (crlf) {
            if (const void *lf = std::memchr(text, '\n', n); lf != nullptr) n = static_cast<size_t>(static_cast<const char *>(lf) - text);
        }
        std::memcpy(buffer, text, n);
    }
    if (n == length || n == room) {
        buffer[n] = '\0';
        return buffer;
    }
    // The conversion reads up to a terminator: end the span there for it and
    // put the byte back afterwards.
    const char saved = text[length];
    text[length] = '\0';
    Convert(r, buffer + n, text + n, max - static_cast<int32_t>(n), crlf);
    text[length] = saved;
    return buffer;
}

int32_t HandOutCounted(const QZ_XmlReader *r, char *buffer, int32_t max, const char *utf8) {
    if (buffer == nullptr || max < 0) return 0;
    if (utf8 == nullptr) utf8 = "";
    const auto room = static_cast<size_t>(max);
    size_t n = 0;
    while (n < room) {
        const auto c = static_cast<unsigned char>(utf8[n]);
        if (c == 0 || c >= 0x80) break;
        buffer[n++] = static_cast<char>(c);
    }
    if (n == room || utf8[n] == '\0') {
        buffer[n] = '\0';
        return static_cast<int32_t>(n);
    }
    Convert(r, buffer + n, utf8 + n, max - static_cast<int32_t>(n), false);
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
