// Line ends as they stand in the document.
//
// expat normalises every line end (CR LF, CR) to a line feed before any
// handler sees it. With LinesNormalization 0 the reader hands out the
// original line ends instead; it finds them in the raw bytes of the current
// event, which expat keeps in its input buffer (XML_GetInputContext). A CR LF
// split across two input blocks is one token for expat: it holds back a
// trailing carriage return until the next block arrives, so the event's
// bytes always hold the whole line end.
//
// The raw bytes are in the document's encoding. Line ends are found by code
// unit: one byte for UTF-8 and the single-byte encodings, two for UTF-16
// (told apart by the zero byte that the event's first character carries).

#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

struct RawEvent {
    const unsigned char *bytes = nullptr;
    size_t length = 0;
};

bool CurrentRawEvent(XML_Parser parser, RawEvent &event) {
    if (parser == nullptr) return false;
    int offset = 0;
    int size = 0;
    const char *buffer = XML_GetInputContext(parser, &offset, &size);
    const int count = XML_GetCurrentByteCount(parser);
    if (buffer == nullptr || count <= 0 || offset < 0 || offset > size || count > size - offset) return false;
    event.bytes = reinterpret_cast<const unsigned char *>(buffer + offset);
    event.length = static_cast<size_t>(count);
    return true;
}

// Code units of the raw event: width 1 or 2, and byte order for 2.
struct Units {
    const unsigned char *bytes;
    size_t count;
    int width;
    bool littleEndian;
    unsigned operator[](size_t i) const {
        if (width == 1) return bytes[i];
        const unsigned char lo = bytes[2 * i + (littleEndian ? 0 : 1)];
        const unsigned char hi = bytes[2 * i + (littleEndian ? 1 : 0)];
        return static_cast<unsigned>(hi) << 8 | lo;
    }
};

Units UnitsOf(const RawEvent &e) {
    // Comments and processing instructions start with "<": in UTF-16 one of
    // its two bytes is zero.
    if (e.length >= 2 && (e.bytes[0] == 0 || e.bytes[1] == 0))
        return Units{e.bytes, e.length / 2, 2, e.bytes[1] == 0};
    return Units{e.bytes, e.length, 1, true};
}

} // namespace

size_t RawLineEnd(XML_Parser parser, char out[2]) {
    RawEvent e;
    if (!CurrentRawEvent(parser, e) || e.length > 4) return 0;
    // A line end token holds nothing but CR and LF (and, in UTF-16, zero bytes).
    bool cr = false;
    bool lf = false;
    for (size_t i = 0; i < e.length; ++i) {
        if (e.bytes[i] == '\r')
            cr = true;
        else if (e.bytes[i] == '\n')
            lf = true;
        else if (e.bytes[i] != 0)
            return 0; // a character reference or an entity's text
    }
    size_t n = 0;
    if (cr) out[n++] = '\r';
    if (lf) out[n++] = '\n';
    return n;
}

char *RestoreLineEnds(XML_Parser parser, const char *delivered, size_t length, size_t &outLength) {
    RawEvent e;
    if (!CurrentRawEvent(parser, e)) return nullptr;
    const Units units = UnitsOf(e);

    // The raw line ends in order: 2 = CR LF, 1 = CR, 0 = LF. Counting first
    // keeps the work to the events that do hold a carriage return.
    size_t rawCount = 0;
    bool anyCr = false;
    for (size_t i = 0; i < units.count; ++i) {
        const unsigned u = units[i];
        if (u == '\r') {
            anyCr = true;
            ++rawCount;
            if (i + 1 < units.count && units[i + 1] == '\n') ++i;
        } else if (u == '\n') {
            ++rawCount;
        }
    }
    if (!anyCr) return nullptr;
    size_t deliveredCount = 0;
    for (size_t i = 0; i < length; ++i)
        if (delivered[i] == '\n') ++deliveredCount;
    // The line ends of the text are the last ones of the event; those before
    // stand between a processing instruction's target and its data.
    if (rawCount < deliveredCount) return nullptr;
    size_t skip = rawCount - deliveredCount;

    auto *out = static_cast<char *>(QZ_malloc(nullptr, length + deliveredCount + 1, kSourceTag, __LINE__));
    if (out == nullptr) return nullptr;
    size_t unit = 0;
    // Next raw line end after the skipped ones: true for CR LF / CR, with *lf.
    auto nextRaw = [&](bool &hasCr, bool &hasLf) {
        while (unit < units.count) {
            const unsigned u = units[unit++];
            if (u == '\r') {
                hasCr = true;
                hasLf = unit < units.count && units[unit] == '\n';
                if (hasLf) ++unit;
                return;
            }
            if (u == '\n') {
                hasCr = false;
                hasLf = true;
                return;
            }
        }
        hasCr = false;
        hasLf = true;
    };
    bool hasCr = false;
    bool hasLf = false;
    while (skip-- > 0) nextRaw(hasCr, hasLf);
    size_t n = 0;
    for (size_t i = 0; i < length; ++i) {
        if (delivered[i] != '\n') {
            out[n++] = delivered[i];
            continue;
        }
        nextRaw(hasCr, hasLf);
        if (hasCr) out[n++] = '\r';
        if (hasLf) out[n++] = '\n';
    }
    out[n] = '\0';
    outLength = n;
    return out;
}

} // namespace qz_xmlreader
