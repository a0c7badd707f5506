// Values of the current node and the unparsed entities that attribute values
// name.

#include "qz/qzconv.h"
#include "xml/xmlreader_internal.h"

using namespace qz_xmlreader;

namespace {

// Value text of a node inside its record (UTF-8), or nullptr.
char *ValueOf(const QZ_XmlReader *r, const Node &node) {
    auto *text = reinterpret_cast<char *>(node.payload);
    switch (node.type) {
    case QZ_XMLNODE_TEXT:
    case QZ_XMLNODE_WHITESPACE:
    case QZ_XMLNODE_CDATA:
    case QZ_XMLNODE_COMMENT:
    case QZ_XMLNODE_DOCTYPE:
        return text;
    case QZ_XMLNODE_PROCINS:
        return text + 4 + Load32(node.payload);
    case QZ_XMLNODE_ELEMENT: {
        // A simple element's value is its Text record (after an optional WhiteSpace).
        if (QZ_XMLReaderItemSize(r) < 2) return nullptr;
        Node inner;
        if (!NodeAt(r->queue, node.next, inner)) return nullptr;
        if (inner.type == QZ_XMLNODE_WHITESPACE && !NodeAt(r->queue, inner.next, inner)) return nullptr;
        return inner.type == QZ_XMLNODE_TEXT ? reinterpret_cast<char *>(inner.payload) : nullptr;
    }
    default:
        return nullptr;
    }
}

// Converts or copies a zero-terminated UTF-8 text, with line feeds written as
// CR LF when LinesNormalization is 2.
char *HandOutValue(const QZ_XmlReader *r, char *buffer, int32_t max, const char *text) {
    const bool crlf = r->linesNormalization == 2;
    if (r->nodeEncoding == 0)
        Utf8ToAnsiReplace(buffer, text, '\n', crlf ? "\r\n" : nullptr, max);
    else
        QZ_CharReplace(buffer, text, '\n', crlf ? "\r\n" : nullptr, max);
    return buffer;
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
    if (!CurrentNode(r, node)) return nullptr;
    return ValueOf(r, node);
}

char *QZ_XMLReaderGetValue(QZ_XmlReader *r, char *buffer, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    Node node;
    char *value = CurrentNode(r, node) ? ValueOf(r, node) : nullptr;
    if (value == nullptr) return HandOutEmpty(buffer, max);
    if (!r->rmWhite || (node.type != QZ_XMLNODE_TEXT && node.type != QZ_XMLNODE_ELEMENT))
        return HandOutValue(r, buffer, max, value);
    int32_t first = 0;
    int32_t last = 0;
    GetStartEndWithoutWhites(value, &first, &last);
    if (first == 0 && last == 0 && IsXmlWhite(value[0])) return HandOutEmpty(buffer, max);
    if (value[0] == '\0') return HandOutEmpty(buffer, max);
    // The span ends inside the record: mark its end for the conversion, which
    // reads up to a terminator, and put the character back afterwards.
    char *end = value + last + 1;
    const char saved = *end;
    *end = '\0';
    HandOutValue(r, buffer, max, value + first);
    *end = saved;
    return buffer;
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
