// Shared internals of the XML reader: the node queue, node record views and
// the steps that the reader's source files call in one another.
#ifndef QZ_XML_XMLREADER_INTERNAL_H
#define QZ_XML_XMLREADER_INTERNAL_H

#include <expat.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qz/qzxmlreader.h"

namespace qz_xmlreader {

inline constexpr char kSourceTag[] = "xmlreader";
// expat reports names in a namespace as URI, this separator and local name.
inline constexpr XML_Char kNsSeparator = '\r';
// Record header: total record length (32-bit), node type (16-bit).
inline constexpr uint32_t kRecordHeader = 6;
inline constexpr uint32_t kQueueGrowth = 5120;
// Longest base (directory of a document) kept for relative system identifiers.
inline constexpr size_t kBaseMax = 2084;

inline uint32_t Load32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void Store32(uint8_t *p, uint32_t v) { std::memcpy(p, &v, sizeof v); }
inline int16_t Load16(const uint8_t *p) {
    int16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline bool IsXmlWhite(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }

// ---- node queue (xmlreader_queue.cpp) ------------------------------------

bool QueueInit(QZ_XmlNodeQueue &q, uint32_t capacity);
void QueueFree(QZ_XmlNodeQueue &q);
inline void QueueReset(QZ_XmlNodeQueue &q) { q.head = q.tail = 0; }
inline bool QueueEmpty(const QZ_XmlNodeQueue &q) { return q.tail == 0; }
// Grows the storage so that a record of total bytes fits behind the tail.
bool QueueGrow(QZ_XmlNodeQueue &q, uint64_t total);
// Appends a record and returns its payload, or nullptr when the storage cannot grow.
inline uint8_t *QueueAppend(QZ_XmlNodeQueue &q, int16_t type, uint64_t payloadLength) {
    const uint64_t total = payloadLength + kRecordHeader;
    if (q.tail + total > q.capacity && !QueueGrow(q, total)) return nullptr;
    uint8_t *rec = q.storage + q.tail;
    Store32(rec, static_cast<uint32_t>(total));
    std::memcpy(rec + 4, &type, sizeof type);
    q.tail += static_cast<uint32_t>(total);
    return rec + kRecordHeader;
}
// Drops records from the head; the storage is reused from its start once empty.
inline void QueueDrop(QZ_XmlNodeQueue &q, uint32_t records) {
    while (records-- > 0 && q.head < q.tail) q.head += Load32(q.storage + q.head);
    if (q.head >= q.tail) q.head = q.tail = 0;
}

// One record of the queue.
struct Node {
    int16_t type = QZ_XMLNODE_NONE;
    uint8_t *payload = nullptr;
    uint32_t length = 0; // payload bytes
    uint32_t next = 0;   // position of the following record
};

inline bool NodeAt(const QZ_XmlNodeQueue &q, uint32_t pos, Node &node) {
    if (pos >= q.tail) return false;
    uint8_t *rec = q.storage + pos;
    const uint32_t total = Load32(rec);
    node.type = Load16(rec + 4);
    node.payload = rec + kRecordHeader;
    node.length = total - kRecordHeader;
    node.next = pos + total;
    return true;
}

// Parts of a node's name (Element, EndTag); texts are UTF-8 inside the record,
// each zero-terminated, with their lengths taken from the record's layout.
struct NameParts {
    const char *uri = "";
    const char *prefix = "";
    const char *local = "";
    uint32_t uriLength = 0;
    uint32_t prefixLength = 0;
    uint32_t localLength = 0;
};
struct AttributeParts {
    const char *uri = "";
    const char *prefix = "";
    const char *local = "";
    const char *value = "";
    uint32_t uriLength = 0;
    uint32_t prefixLength = 0;
    uint32_t localLength = 0;
    uint32_t valueLength = 0;
};

inline uint32_t ElementAttributeCount(const Node &n) {
    return n.type == QZ_XMLNODE_ELEMENT ? Load32(n.payload + 8) : 0;
}
inline bool ElementNames(const Node &n, NameParts &parts) {
    uint32_t offset;
    if (n.type == QZ_XMLNODE_ELEMENT)
        offset = 12 + 16 * Load32(n.payload + 8);
    else if (n.type == QZ_XMLNODE_ENDTAG)
        offset = 8;
    else
        return false;
    const uint32_t uriSize = Load32(n.payload);
    const uint32_t prefixSize = Load32(n.payload + 4);
    const auto *base = reinterpret_cast<const char *>(n.payload);
    parts.uri = base + offset;
    parts.prefix = parts.uri + uriSize;
    parts.local = parts.prefix + prefixSize;
    // The local name runs up to the first attribute's texts, or to the end
    // of the record.
    const uint32_t end = n.type == QZ_XMLNODE_ELEMENT && Load32(n.payload + 8) != 0 ? Load32(n.payload + 12) : n.length;
    parts.uriLength = uriSize - 1;
    parts.prefixLength = prefixSize - 1;
    parts.localLength = end - offset - uriSize - prefixSize - 1;
    return true;
}
bool AttributeAt(const Node &n, int32_t position, AttributeParts &parts);

// ---- reader state (xmlreader_init.cpp) -----------------------------------

void SetError(QZ_XmlReader *r, int16_t code, int16_t kind);
// Stores a reader error raised inside an expat event and stops the parser.
void FailInEvent(QZ_XmlReader *r, int16_t code);
// The current node (head of the queue), or false when closed, after an error
// or when there is none.
inline bool CurrentNode(const QZ_XmlReader *r, Node &node) {
    if (r == nullptr || r->state == QZ_XMLREADER_CLOSED || r->errorCode != 0) return false;
    return NodeAt(r->queue, r->queue.head, node);
}
void *PoolAlloc(size_t size, int line);
void PoolFree(void *p);

// ---- text out (xmlreader_handout.cpp) -------------------------------------
//
// Texts handed out into the caller's buffer: converted to ANSI (node
// encoding 0) or copied as UTF-8 (1), at most max characters and a
// terminator. Nearly every name and value of a document is ASCII, which both
// library conversions write byte for byte; so a text of a node record (whose
// length its layout gives, with no strlen pass) that is all ASCII is checked
// and copied straight into the caller's buffer inline, as the getters run for
// every node. Otherwise its ASCII head is copied and only from the first byte
// that needs decoding (or a line feed that LinesNormalization 2 writes as
// CR LF) on does the library conversion take over with the room that is left:
// the result is always the conversion's own.

inline constexpr uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr uint64_t kHighs = 0x8080808080808080ULL;

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

// The library conversion of length bytes of text (ended for it and
// restored), into out with max characters of room.
void ConvertRest(const QZ_XmlReader *r, char *out, char *text, size_t length, int32_t max, bool crlf);
// The library conversion of a zero-terminated text; returns the characters written.
int32_t ConvertRestCounted(const QZ_XmlReader *r, char *out, const char *text, int32_t max);

inline char *HandOutEmpty(char *buffer, int32_t max) {
    if (buffer != nullptr && max >= 0) buffer[0] = '\0';
    return buffer;
}

// Copies n bytes; the short pieces that names and texts mostly are go
// without a library call (overlapping fixed-size moves inside both ranges).
inline void CopyBytes(void *toBytes, const void *fromBytes, size_t n) {
    auto *to = static_cast<uint8_t *>(toBytes);
    const auto *from = static_cast<const uint8_t *>(fromBytes);
    if (n < 4) {
        if (n == 0) return;
        to[0] = from[0];
        to[n / 2] = from[n / 2];
        to[n - 1] = from[n - 1];
    } else if (n < 8) {
        std::memcpy(to, from, 4);
        std::memcpy(to + n - 4, from + n - 4, 4);
    } else if (n <= 16) {
        std::memcpy(to, from, 8);
        std::memcpy(to + n - 8, from + n - 8, 8);
    } else if (n <= 32) {
        std::memcpy(to, from, 16);
        std::memcpy(to + n - 16, from + n - 16, 16);
    } else {
        std::memcpy(to, from, n);
    }
}

// True when every one of the n bytes at text is 01-7F and none is the stop
// byte (a negative stop: none): bytes that both conversions write unchanged.
// Reads only those n bytes, eight (or four) at a time with a last load that
// overlaps the one before it.
[[gnu::always_inline]] inline bool SpanIsPlain(const char *text, size_t n, int stop) {
    if (n >= 8) {
        const uint64_t stopWord = stop >= 0 ? kOnes * static_cast<uint8_t>(stop) : 0;
        uint64_t w;
        for (size_t i = 0; i + 8 < n; i += 8) {
            std::memcpy(&w, text + i, 8);
            if (WordStops(w, stopWord)) return false;
        }
        std::memcpy(&w, text + n - 8, 8);
        return !WordStops(w, stopWord);
    }
    if (n >= 4) {
        constexpr uint32_t kOnes32 = 0x01010101U;
        constexpr uint32_t kHighs32 = 0x80808080U;
        const uint32_t stopWord = stop >= 0 ? kOnes32 * static_cast<uint8_t>(stop) : 0;
        uint32_t a;
        uint32_t b;
        std::memcpy(&a, text, 4);
        std::memcpy(&b, text + n - 4, 4);
        const uint32_t xa = a ^ stopWord;
        const uint32_t xb = b ^ stopWord;
        const uint32_t bad = ((a - kOnes32) & ~a) | ((b - kOnes32) & ~b) | ((xa - kOnes32) & ~xa) |
                             ((xb - kOnes32) & ~xb) | a | b;
        return (bad & kHighs32) == 0;
    }
    for (size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == 0 || c >= 0x80 || static_cast<int>(c) == stop) return false;
    }
    return true;
}

// The hand-out of a span that needs converting (or a line feed expanded):
// the ASCII head copied directly, the rest through the library conversion.
int32_t HandOutSpanConverted(const QZ_XmlReader *r, char *buffer, int32_t max, const char *text, size_t length,
                             bool crlf);

// length bytes of text that need not end there (a text inside a node
// record), with line feeds written as CR LF when crlf is set; returns the
// characters written. The common case, a text that goes out unchanged, is one
// check and one copy straight into the caller's buffer.
[[gnu::always_inline]] inline int32_t HandOutSpanCounted(const QZ_XmlReader *r, char *buffer, int32_t max, const char *text, size_t length,
                                  bool crlf) {
    if (buffer == nullptr || max < 0) return 0;
    const auto room = static_cast<size_t>(max);
    const size_t fit = length < room ? length : room;
    if (r->nodeEncoding == 0 ? SpanIsPlain(text, fit, crlf ? '\n' : -1)
                             : (!crlf || std::memchr(text, '\n', fit) == nullptr)) {
        CopyBytes(buffer, text, fit);
        buffer[fit] = '\0';
        return static_cast<int32_t>(fit);
    }
    return HandOutSpanConverted(r, buffer, max, text, length, crlf);
}

[[gnu::always_inline]] inline char *HandOutSpan(const QZ_XmlReader *r, char *buffer, int32_t max, const char *text, size_t length,
                         bool crlf) {
    HandOutSpanCounted(r, buffer, max, text, length, crlf);
    return buffer;
}

// A zero-terminated text; returns the characters written.
inline int32_t HandOutCounted(const QZ_XmlReader *r, char *buffer, int32_t max, const char *utf8) {
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
    return static_cast<int32_t>(n) + ConvertRestCounted(r, buffer + n, utf8 + n, max - static_cast<int32_t>(n));
}

char *HandOut(const QZ_XmlReader *r, char *buffer, int32_t max, const char *utf8);
// prefix ":" local within max characters.
char *HandOutQualified(const QZ_XmlReader *r, char *buffer, int32_t max, const char *prefix,
                       const char *local);
// The same for the parts of a node record, whose lengths are known.
inline char *HandOutQualifiedSpans(const QZ_XmlReader *r, char *buffer, int32_t max, const char *prefix,
                                   size_t prefixLength, const char *local, size_t localLength) {
    if (buffer == nullptr || max < 0) return buffer;
    int32_t used = 0;
    if (prefixLength != 0) {
        used = HandOutSpanCounted(r, buffer, max, prefix, prefixLength, false);
        if (used < max) buffer[used++] = ':';
    }
    HandOutSpanCounted(r, buffer + used, max - used, local, localLength, false);
    return buffer;
}

// ---- parsing (xmlreader_events.cpp, xmlreader_stream.cpp) ----------------

void RegisterHandlers(QZ_XmlReader *r, XML_Parser parser);
// Queues the collected character data as one node (QZ_XMLReaderFlushText).
void QZ_XMLReaderFlushText(QZ_XmlReader *r);
// Records that form the current item, 0 while the queue does not hold it whole.
uint32_t ItemSizeScan(const QZ_XmlReader *r);
// Once the current item is complete its size cannot change until the reader
// moves: appending records never alters a decided item.
// Anything but an element taken as simple is an item of one record.
inline uint32_t QZ_XMLReaderItemSize(const QZ_XmlReader *r) {
    if (r->itemSize != 0) return r->itemSize;
    const QZ_XmlNodeQueue &q = r->queue;
    if (q.head < q.tail && (Load16(q.storage + q.head + 4) != QZ_XMLNODE_ELEMENT || !r->simpleInEffect)) return 1;
    return ItemSizeScan(r);
}
void QZ_XMLReaderFill(QZ_XmlReader *r);
QZ_Flag QZ_XMLReaderAdvance(QZ_XmlReader *r);
// Maps a failed parse call onto the reader's error.
void ParseFailed(QZ_XmlReader *r, XML_Parser parser);

// ---- feeding expat (xmlreader_feed.cpp) -----------------------------------

// The reading side of one input: the document's or an external entity's.
struct FeedState {
    uint64_t fed = 0;         // bytes given to expat so far
    uint32_t blocks = 1;      // reads that go into the next parse call
    bool removeMark = false;  // a leading UTF-8 mark is removed here
    bool entity = false;      // the bytes count against the entity limit
    bool emptyIsNothing = false; // an input without any byte is not parsed at all
};
enum class FeedStatus { More, Ended, Failed };
// Reads the next blocks of the current input into expat's buffer and parses
// them, marked final when the input ended. Failed: an error is stored.
FeedStatus FeedParser(QZ_XmlReader *r, XML_Parser parser, FeedState &s);
// True when the reader, not expat, must remove a leading UTF-8 byte order
// mark (expat removes it itself unless an encoding is forced on it).
bool ReaderRemovesMark(const QZ_XmlReader *r, bool entity);
// The limit errors keep their code when expat fails the document because of
// them (as an external entity that could not be read).
inline bool IsLimitError(const QZ_XmlReader *r) {
    return r->errorKind == QZ_XMLREADER_ERRKIND_READER &&
           (r->errorCode == QZ_XMLREADER_ERR_DEPTH || r->errorCode == QZ_XMLREADER_ERR_ENTITY_DEPTH ||
            r->errorCode == QZ_XMLREADER_ERR_ENTITY_SIZE);
}

// ---- line ends as they stand in the document (xmlreader_lineends.cpp) ----

// For a line feed that expat made out of a line end token, the raw line end
// ("\r\n", "\r" or "\n") into out; returns its length, 0 when the event is
// not a raw line end (a character reference, an entity's text).
size_t RawLineEnd(XML_Parser parser, char out[2]);
// Comment and processing-instruction data with the line ends of the raw
// event; returns a pool copy, or nullptr when the delivered text stands.
char *RestoreLineEnds(XML_Parser parser, const char *delivered, size_t length, size_t &outLength);

// ---- inputs (xmlreader_open.cpp, xmlreader_http.cpp) ---------------------

struct Input {
    void *handle = nullptr;
    QZ_XmlReaderReadFn read = nullptr;
    QZ_XmlReaderCloseFn close = nullptr;
    char base[kBaseMax + 1] = {};
};
// Opens a file or an http(s) document as QZ_XMLReaderOpen does; returns 0 or
// the reader error code.
int16_t OpenNamedInput(QZ_XmlReader *r, const char *name, Input &input);
bool IsHttpName(const char *name);
int16_t OpenHttpInput(QZ_XmlReader *r, const char *url, Input &input);
void FileBase(const char *path, char *base);
void HttpBase(const char *url, char *base);
// True when a system identifier is relative (no ":" in it, not rooted).
bool IsRelativeSystemId(const char *systemId);

// ---- external entities (xmlreader_extentity.cpp) --------------------------

int XMLCALL ExternalEntityRef(XML_Parser parser, const XML_Char *context, const XML_Char *base,
                              const XML_Char *systemId, const XML_Char *publicId);

} // namespace qz_xmlreader

#endif
