// Values of the current node and the unparsed entities that attribute values
// name.

#include "qz/qzconv.h"
#include "xml/xmlreader_internal.h"

using namespace qz_xmlreader;

namespace {

// The value text of a node inside its record (UTF-8, zero-terminated) and
// its length.
struct Span {
    char *text = nullptr;
    size_t length = 0;
};

Span TextOf(const Node &node) { return Span{reinterpret_cast<char *>(node.payload), node.length - 1}; }

[[gnu::always_inline]] inline bool ValueOf(const QZ_XmlReader *r, const Node &node, Span &value) {
    switch (node.type) {
    case QZ_XMLNODE_TEXT:
    case QZ_XMLNODE_WHITESPACE:
    case QZ_XMLNODE_CDATA:
    case QZ_XMLNODE_COMMENT:
    case QZ_XMLNODE_DOCTYPE:
        value = TextOf(node);
        return true;
    case QZ_XMLNODE_PROCINS: {
        const uint32_t targetSize = Load32(node.payload);
        value = Span{reinterpret_cast<char *>(node.payload) + 4 + targetSize, node.length - 4 - targetSize - 1};
        return true;
    }
    case QZ_XMLNODE_ELEMENT: {
        // A simple element's value is its Text record (after an optional WhiteSpace).
        if (QZ_XMLReaderItemSize(r) < 2) return false;
        Node inner;
        if (!NodeAt(r->queue, node.next, inner)) return false;
        if (inner.type == QZ_XMLNODE_WHITESPACE && !NodeAt(r->queue, inner.next, inner)) return false;
        if (inner.type != QZ_XMLNODE_TEXT) return false;
        value = TextOf(inner);
        return true;
    }
    default:
        return false;
    }
}

// The stored "notation location" text of the unparsed entity that the
// attribute's value names.
char *EntityText(QZ_XmlReader *r, int16_t position) {
    Node node;
    AttributeParts a;
    if (!CurrentNode(r, node) || !AttributeAt(node, position, a) || r->unparsedEntities == nullptr) return nullptr;
    const char *found =
        QZ_XmlNsDict_Lookup(r->unparsedEntities, a.value, static_cast<uint32_t>(std::strlen(a.value)));
    return const_cast<char *>(found);
}

} // namespace

extern "C" {

const char *XMLReaderGetValue(QZ_XmlReader *r) {
    Node node;
    Span value;
    if (!CurrentNode(r, node) || !ValueOf(r, node, value)) return nullptr;
    return value.text;
}

char *QZ_XMLReaderGetValue(QZ_XmlReader *r, char *buffer, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    Node node;
    Span value;
    if (!CurrentNode(r, node) || !ValueOf(r, node, value)) return HandOutEmpty(buffer, max);
    const bool crlf = r->linesNormalization == 2;
    if (!r->rmWhite || (node.type != QZ_XMLNODE_TEXT && node.type != QZ_XMLNODE_ELEMENT))
        return HandOutSpan(r, buffer, max, value.text, value.length, crlf);
    // From the first to the last character that is not a space, CR, LF or
    // TAB; nothing when there is none.
    size_t first = 0;
    size_t end = value.length;
    while (first < end && IsXmlWhite(value.text[first])) ++first;
    while (end > first && IsXmlWhite(value.text[end - 1])) --end;
    if (first == end) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, value.text + first, end - first, crlf);
}

int32_t GetStartEndWithoutWhites(const char *text, int32_t *first, int32_t *last) {
    if (text == nullptr) text = "";
    const auto length = static_cast<int32_t>(std::strlen(text));
    int32_t f = 0;
    while (f < length && IsXmlWhite(text[f])) ++f;
    int32_t l = length - 1;
    while (l >= f && IsXmlWhite(text[l])) --l;
    if (f >= length) f = l = 0; // nothing but whitespace (or nothing at all)
    if (first != nullptr) *first = f;
    if (last != nullptr) *last = l;
    return length - f - 1;
}

const char *XMLReaderGetAttEntityValue(QZ_XmlReader *r, int16_t position) {
    const char *text = EntityText(r, position);
    if (text == nullptr) return nullptr;
    const char *space = std::strchr(text, ' ');
    return space != nullptr ? space + 1 : "";
}

char *QZ_XMLReaderGetAttEntityValue(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    const char *location = XMLReaderGetAttEntityValue(r, position);
    if (location == nullptr) return HandOutEmpty(buffer, max);
    return HandOut(r, buffer, max, location);
}

int32_t QZ_XMLReaderGetAttEntityNotationLength(QZ_XmlReader *r, int16_t position) {
    const char *text = EntityText(r, position);
    if (text == nullptr) return 0;
    const char *space = std::strchr(text, ' ');
    return static_cast<int32_t>(space != nullptr ? space - text : static_cast<ptrdiff_t>(std::strlen(text)));
}

char *QZ_XMLReaderGetAttEntityNotation(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    char *text = EntityText(r, position);
    if (text == nullptr) return HandOutEmpty(buffer, max);
    char *space = std::strchr(text, ' ');
    // The notation ends at the first space of the stored text: end it there
    // for the conversion and restore the space.
    if (space != nullptr) *space = '\0';
    HandOut(r, buffer, max, text);
    if (space != nullptr) *space = ' ';
    return buffer;
}

char *QZ_XMLReaderGetAttEntityValueByName(QZ_XmlReader *r, char *buffer, const char *name, int32_t max) {
    return QZ_XMLReaderGetAttEntityValue(r, buffer, QZ_XMLReaderGetAttIndex(r, name), max);
}

char *QZ_XMLReaderGetAttEntityNotationByName(QZ_XmlReader *r, char *buffer, const char *name, int32_t max) {
    return QZ_XMLReaderGetAttEntityNotation(r, buffer, QZ_XMLReaderGetAttIndex(r, name), max);
}

} // extern "C"
