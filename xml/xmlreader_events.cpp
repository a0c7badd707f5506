// expat's events turned into node records: character data is collected and
// flushed as one node at the next event, every other event queues one node.

#include <cstdio>

#include "qz/qzconv.h"
#include "qz/qzpgmmem.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

QZ_XmlReader *ReaderOf(void *userData) { return static_cast<QZ_XmlReader *>(userData); }

// A name from expat: URI, separator, local name; or the bare local name.
// Trivial on purpose: arrays of these are not initialised for nothing.
struct SplitName {
    const char *uri;
    size_t uriLength;
    const char *local;
    size_t localLength;
};

inline SplitName Split(const XML_Char *name) {
    SplitName s{"", 0, "", 0};
    // One pass for the end and the last separator. The local name never
    // holds a carriage return; a URI might (a character reference in its
    // declaration), so the last separator counts.
    const char *sep = nullptr;
    const char *p = name;
    // Nearly every character lies above the separator, so one comparison
    // per character mostly decides it is neither the end nor the separator.
    for (;; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c > static_cast<unsigned char>(kNsSeparator)) continue;
        if (c == '\0') break;
        if (c == static_cast<unsigned char>(kNsSeparator)) sep = p;
    }
    if (sep == nullptr) {
        s.local = name;
        s.localLength = static_cast<size_t>(p - name);
    } else {
        s.uri = name;
        s.uriLength = static_cast<size_t>(sep - name);
        s.local = sep + 1;
        s.localLength = static_cast<size_t>(p - s.local);
    }
    return s;
}

// The namespace that the prefix "xml" is bound to without a declaration.
constexpr char kXmlNamespace[] = "http://www.w3.org/XML/1998/namespace";

// The prefix bound to the name's URI and its length.
[[gnu::always_inline]] inline const char *PrefixOf(const QZ_XmlReader *r, const SplitName &s, size_t &length) {
    length = 0;
    if (s.uriLength == 0) return "";
    const char *prefix = QZ_XmlNsDict_Lookup(&r->nsBindings, s.uri, static_cast<uint32_t>(s.uriLength));
    if (prefix != nullptr) {
        length = std::strlen(prefix);
        return prefix;
    }
    // xml:lang, xml:space, xml:base keep their prefix although no event ever
    // declares it.
    if (s.uriLength == sizeof kXmlNamespace - 1 && std::memcmp(s.uri, kXmlNamespace, s.uriLength) == 0) {
        length = 3;
        return "xml";
    }
    return "";
}

uint8_t *PutText(uint8_t *at, const char *text, size_t length) {
    CopyBytes(at, text, length);
    at[length] = 0;
    return at + length + 1;
}

[[gnu::always_inline]] inline void QueueText(QZ_XmlReader *r, int16_t type, const char *text, size_t length) {
    uint8_t *payload = QueueAppend(r->queue, type, static_cast<uint64_t>(length) + 1);
    if (payload == nullptr) {
        FailInEvent(r, QZ_XMLREADER_ERR_QUEUE_EXPAND);
        return;
    }
    PutText(payload, text, length);
    r->lastQueuedType = type;
}

// Room for n more bytes in the text buffer. It grows by at least its growth
// step and at least what it already holds, so that one long text costs
// linear copying, not quadratic.
bool ReserveText(QZ_XmlReader *r, size_t n) {
    QZ_Buffer &b = r->textBuffer;
    if (b.capacity - b.used >= n) return true;
    const uint64_t needed = static_cast<uint64_t>(b.used) + n;
    uint64_t capacity = static_cast<uint64_t>(b.capacity) + (b.growth > b.capacity ? b.growth : b.capacity);
    if (capacity < needed) capacity = needed;
    if (capacity > UINT32_MAX - 64) capacity = UINT32_MAX - 64;
    if (capacity < needed) return false;
    void *grown = b.data != nullptr ? QZ_realloc(nullptr, b.data, static_cast<size_t>(capacity))
                                    : QZ_malloc(nullptr, static_cast<size_t>(capacity), kSourceTag, __LINE__);
    if (grown == nullptr) return false;
    b.data = static_cast<uint8_t *>(grown);
    b.capacity = static_cast<uint32_t>(capacity);
    return true;
}

bool AppendRaw(QZ_XmlReader *r, const char *s, size_t n) {
    if (!ReserveText(r, n)) {
        FailInEvent(r, QZ_XMLREADER_ERR_ALLOC);
        return false;
    }
    std::memcpy(r->textBuffer.data + r->textBuffer.used, s, n);
    r->textBuffer.used += static_cast<uint32_t>(n);
    return true;
}

void AppendCharacterData(QZ_XmlReader *r, const char *s, size_t n) {
    if (!r->chunkText) {
        AppendRaw(r, s, n);
        return;
    }
    // Chunks of at most QZ_XMLREADER_CHUNK bytes. A chunk never ends inside a
    // UTF-8 sequence: each node is converted on its own when handed out, and
    // a split character would come out as two replacement marks.
    while (n > 0 && r->errorCode == 0) {
        const size_t room = QZ_XMLREADER_CHUNK - r->textBuffer.used;
        if (n <= room) {
            if (!AppendRaw(r, s, n)) return;
            if (r->textBuffer.used == QZ_XMLREADER_CHUNK) QZ_XMLReaderFlushText(r);
            return;
        }
        size_t cut = room;
        while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
        if (cut != 0 && !AppendRaw(r, s, cut)) return;
        QZ_XMLReaderFlushText(r);
        s += cut;
        n -= cut;
    }
}

bool AllWhite(const uint8_t *p, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (!IsXmlWhite(static_cast<char>(p[i]))) return false;
    return true;
}

// Queues the collected character data as one node (QZ_XMLReaderFlushText),
// inline in the element events that flush before nearly every node.
[[gnu::always_inline]] inline void FlushCollected(QZ_XmlReader *r) {
    QZ_Buffer &b = r->textBuffer;
    if (b.used == 0 || r->errorCode != 0) return;
    int16_t type;
    if (r->inCData)
        type = QZ_XMLNODE_CDATA;
    else if (r->lastQueuedType != QZ_XMLNODE_TEXT && AllWhite(b.data, b.used))
        // A whitespace-only piece right after a Text node is the next chunk of
        // that text, not markup layout.
        type = QZ_XMLNODE_WHITESPACE;
    else
        type = QZ_XMLNODE_TEXT;
    QueueText(r, type, reinterpret_cast<const char *>(b.data), b.used);
    b.used = 0;
}

// ---- handlers -----------------------------------------------------------------

void XMLCALL OnStartElement(void *userData, const XML_Char *name, const XML_Char **atts) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    // A document nested without end would make every walk over it (the raw
    // XML's indentation above all) grow with the square of its depth.
    if (r->maxDepth > 0 && r->elementDepth >= r->maxDepth) {
        FailInEvent(r, QZ_XMLREADER_ERR_DEPTH);
        return;
    }
    ++r->elementDepth;
    if (r->textBuffer.used != 0) {
        FlushCollected(r);
        if (r->errorCode != 0) return;
    }

    const SplitName element = Split(name);
    size_t elementPrefixLength;
    const char *elementPrefix = PrefixOf(r, element, elementPrefixLength);
    uint32_t count = 0;
    while (atts[2 * count] != nullptr) ++count;

    // The parts of the first attributes are worked out once, for sizing and
    // for writing; further ones (rare) are worked out twice.
    struct Parts {
        SplitName name;
        const char *prefix;
        size_t prefixLength;
        size_t valueLength;
    };
    constexpr uint32_t kKept = 16;
    Parts kept[kKept];
    auto partsOf = [&](uint32_t i) {
        Parts a;
        a.name = Split(atts[2 * i]);
        a.prefix = PrefixOf(r, a.name, a.prefixLength);
        a.valueLength = std::strlen(atts[2 * i + 1]);
        return a;
    };
    uint64_t total = 12 + 16 * static_cast<uint64_t>(count) + element.uriLength + 1 + elementPrefixLength + 1 +
                     element.localLength + 1;
    for (uint32_t i = 0; i < count; ++i) {
        const Parts a = partsOf(i);
        if (i < kKept) kept[i] = a;
        total += a.name.uriLength + 1 + a.prefixLength + 1 + a.name.localLength + 1 + a.valueLength + 1;
    }
    uint8_t *payload = QueueAppend(r->queue, QZ_XMLNODE_ELEMENT, total);
    if (payload == nullptr) {
        FailInEvent(r, QZ_XMLREADER_ERR_QUEUE_EXPAND);
        return;
    }
    Store32(payload, static_cast<uint32_t>(element.uriLength + 1));
    Store32(payload + 4, static_cast<uint32_t>(elementPrefixLength + 1));
    Store32(payload + 8, count);
    uint8_t *at = payload + 12 + 16 * static_cast<size_t>(count);
    at = PutText(at, element.uri, element.uriLength);
    at = PutText(at, elementPrefix, elementPrefixLength);
    at = PutText(at, element.local, element.localLength);
    for (uint32_t i = 0; i < count; ++i) {
        const Parts a = i < kKept ? kept[i] : partsOf(i);
        uint8_t *slot = payload + 12 + 16 * static_cast<size_t>(i);
        Store32(slot, static_cast<uint32_t>(at - payload));
        at = PutText(at, a.name.uri, a.name.uriLength);
        Store32(slot + 4, static_cast<uint32_t>(at - payload));
        at = PutText(at, a.prefix, a.prefixLength);
        Store32(slot + 8, static_cast<uint32_t>(at - payload));
        at = PutText(at, a.name.local, a.name.localLength);
        Store32(slot + 12, static_cast<uint32_t>(at - payload));
        at = PutText(at, atts[2 * i + 1], a.valueLength);
    }
    r->lastQueuedType = QZ_XMLNODE_ELEMENT;
}

void XMLCALL OnEndElement(void *userData, const XML_Char *name) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    --r->elementDepth;
    if (r->textBuffer.used != 0) {
        FlushCollected(r);
        if (r->errorCode != 0) return;
    }
    const SplitName element = Split(name);
    // The prefix is the one bound at this moment (expat ends the element's own
    // declarations after this event).
    size_t prefixLength;
    const char *prefix = PrefixOf(r, element, prefixLength);
    uint8_t *payload = QueueAppend(r->queue, QZ_XMLNODE_ENDTAG,
                                   8 + static_cast<uint64_t>(element.uriLength) + 1 + prefixLength + 1 +
                                       element.localLength + 1);
    if (payload == nullptr) {
        FailInEvent(r, QZ_XMLREADER_ERR_QUEUE_EXPAND);
        return;
    }
    Store32(payload, static_cast<uint32_t>(element.uriLength + 1));
    Store32(payload + 4, static_cast<uint32_t>(prefixLength + 1));
    uint8_t *at = PutText(payload + 8, element.uri, element.uriLength);
    at = PutText(at, prefix, prefixLength);
    PutText(at, element.local, element.localLength);
    r->lastQueuedType = QZ_XMLNODE_ENDTAG;
}

void XMLCALL OnCharacterData(void *userData, const XML_Char *s, int len) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0 || len <= 0) return;
    QZ_Buffer &b = r->textBuffer;
    if (!r->chunkText && r->linesNormalization != 0 && b.capacity - b.used >= static_cast<uint32_t>(len)) {
        CopyBytes(b.data + b.used, s, static_cast<size_t>(len));
        b.used += static_cast<uint32_t>(len);
        return;
    }
    // expat hands every line end over as a single line feed; with the
    // switch off the line end goes out as it stands in the document.
    if (r->linesNormalization == 0 && len == 1 && s[0] == '\n') {
        char raw[2];
        const size_t n = RawLineEnd(r->parser, raw);
        if (n != 0) {
            AppendCharacterData(r, raw, n);
            return;
        }
    }
    AppendCharacterData(r, s, static_cast<size_t>(len));
}

void XMLCALL OnDefault(void *userData, const XML_Char *s, int len) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0 || len <= 0 || !r->inCData) return;
    AppendCharacterData(r, s, static_cast<size_t>(len));
}

// Queues a comment or a processing instruction's data with the document's
// own line ends when the switch is off.
template <typename Queue>
void WithLineEnds(QZ_XmlReader *r, const char *text, Queue queue) {
    const size_t length = std::strlen(text);
    if (r->linesNormalization == 0 && std::memchr(text, '\n', length) != nullptr) {
        size_t restoredLength = 0;
        char *restored = RestoreLineEnds(r->parser, text, length, restoredLength);
        if (restored != nullptr) {
            queue(restored, restoredLength);
            PoolFree(restored);
            return;
        }
    }
    queue(text, length);
}

void XMLCALL OnComment(void *userData, const XML_Char *data) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XMLReaderFlushText(r);
    if (r->errorCode != 0) return;
    WithLineEnds(r, data, [r](const char *text, size_t length) { QueueText(r, QZ_XMLNODE_COMMENT, text, length); });
}

void XMLCALL OnProcessingInstruction(void *userData, const XML_Char *target, const XML_Char *data) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XMLReaderFlushText(r);
    if (r->errorCode != 0) return;
    if (target == nullptr) target = "";
    if (data == nullptr) data = "";
    const size_t targetLength = std::strlen(target);
    WithLineEnds(r, data, [r, target, targetLength](const char *text, size_t length) {
        uint8_t *payload = QueueAppend(r->queue, QZ_XMLNODE_PROCINS, 4 + static_cast<uint64_t>(targetLength) + 1 + length + 1);
        if (payload == nullptr) {
            FailInEvent(r, QZ_XMLREADER_ERR_QUEUE_EXPAND);
            return;
        }
        Store32(payload, static_cast<uint32_t>(targetLength + 1));
        PutText(PutText(payload + 4, target, targetLength), text, length);
        r->lastQueuedType = QZ_XMLNODE_PROCINS;
    });
}

void XMLCALL OnStartDoctype(void *userData, const XML_Char *doctypeName, const XML_Char *, const XML_Char *,
                            int) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XMLReaderFlushText(r);
    if (r->errorCode != 0) return;
    const char *name = doctypeName != nullptr ? doctypeName : "";
    QueueText(r, QZ_XMLNODE_DOCTYPE, name, std::strlen(name));
}

void XMLCALL OnStartCdata(void *userData) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XMLReaderFlushText(r);
    r->inCData = 1;
}

void XMLCALL OnEndCdata(void *userData) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XMLReaderFlushText(r);
    r->inCData = 0;
}

void XMLCALL OnStartNamespace(void *userData, const XML_Char *prefix, const XML_Char *uri) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    if (!QZ_XmlNsDict_AddUntied(&r->nsBindings, uri != nullptr ? uri : "", prefix != nullptr ? prefix : ""))
        FailInEvent(r, QZ_XMLREADER_ERR_NS_EXPAND);
}

void XMLCALL OnEndNamespace(void *userData, const XML_Char *prefix) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0) return;
    QZ_XmlNsDict_RemoveByValue(&r->nsBindings, prefix != nullptr ? prefix : "");
}

void XMLCALL OnUnparsedEntity(void *userData, const XML_Char *entityName, const XML_Char *base,
                              const XML_Char *systemId, const XML_Char *, const XML_Char *notationName) {
    QZ_XmlReader *r = ReaderOf(userData);
    if (r->errorCode != 0 || entityName == nullptr) return;
    if (systemId == nullptr) systemId = "";
    if (notationName == nullptr) notationName = "";
    if (r->unparsedEntities == nullptr) {
        auto *dict = static_cast<QZ_XmlNsDict *>(PoolAlloc(sizeof(QZ_XmlNsDict), __LINE__));
        if (dict == nullptr || !QZ_XmlNsDict_Init(dict, 10, 1024, 5, 512)) {
            PoolFree(dict);
            FailInEvent(r, QZ_XMLREADER_ERR_ALLOC);
            return;
        }
        r->unparsedEntities = dict;
    }
    // The first declaration of a name binds it.
    if (QZ_XmlNsDict_Lookup(r->unparsedEntities, entityName, static_cast<uint32_t>(std::strlen(entityName))) !=
        nullptr)
        return;
    const bool joinBase = base != nullptr && base[0] != '\0' && IsRelativeSystemId(systemId);
    const size_t size = std::strlen(notationName) + 1 + (joinBase ? std::strlen(base) : 0) + std::strlen(systemId) + 1;
    auto *text = static_cast<char *>(PoolAlloc(size, __LINE__));
    if (text == nullptr) {
        FailInEvent(r, QZ_XMLREADER_ERR_ALLOC);
        return;
    }
    if (joinBase)
        std::snprintf(text, size, "%s%c%s%s", notationName, ' ', base, systemId);
    else
        std::snprintf(text, size, "%s%c%s", notationName, ' ', systemId);
    if (!QZ_XmlNsDict_AddUntied(r->unparsedEntities, entityName, text)) FailInEvent(r, QZ_XMLREADER_ERR_ALLOC);
    PoolFree(text);
}

// The one encoding beyond expat's own: "ANSI", the runtime's Windows-1252 table.
int XMLCALL OnUnknownEncoding(void *, const XML_Char *name, XML_Encoding *info) {
    if (name == nullptr || std::strcmp(name, "ANSI") != 0) return XML_STATUS_ERROR;
    for (int i = 0; i < 256; ++i) info->map[i] = QZ_AnsiCodePoints[i];
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
}

} // namespace

void QZ_XMLReaderFlushText(QZ_XmlReader *r) { FlushCollected(r); }

void RegisterHandlers(QZ_XmlReader *r, XML_Parser parser) {
    XML_SetElementHandler(parser, &OnStartElement, &OnEndElement);
    XML_SetCharacterDataHandler(parser, &OnCharacterData);
    XML_SetCommentHandler(parser, &OnComment);
    XML_SetNamespaceDeclHandler(parser, &OnStartNamespace, &OnEndNamespace);
    XML_SetStartDoctypeDeclHandler(parser, &OnStartDoctype);
    XML_SetCdataSectionHandler(parser, &OnStartCdata, &OnEndCdata);
    XML_SetDefaultHandlerExpand(parser, &OnDefault);
    XML_SetProcessingInstructionHandler(parser, &OnProcessingInstruction);
    XML_SetUnknownEncodingHandler(parser, &OnUnknownEncoding, r);
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_ALWAYS);
    XML_SetExternalEntityRefHandler(parser, &ExternalEntityRef);
    XML_SetExternalEntityRefHandlerArg(parser, r);
    XML_SetUnparsedEntityDeclHandler(parser, &OnUnparsedEntity);
}

} // namespace qz_xmlreader
