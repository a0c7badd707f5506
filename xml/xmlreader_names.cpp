// Names and attributes of the current node, as UTF-8 pointers into its
// record or handed out into the caller's buffer.

#include "xml/xmlreader_internal.h"

using namespace qz_xmlreader;

namespace {

// Name parts of the current node: Element and EndTag, and a ProcIns whose
// target serves as its name (withTarget).
[[gnu::always_inline]] inline bool CurrentNames(const QZ_XmlReader *r, NameParts &parts, bool withTarget) {
    Node node;
    if (!CurrentNode(r, node)) return false;
    if (node.type == QZ_XMLNODE_PROCINS && withTarget) {
        parts = NameParts{};
        parts.local = reinterpret_cast<const char *>(node.payload + 4);
        parts.localLength = Load32(node.payload) - 1;
        return true;
    }
    return ElementNames(node, parts);
}

[[gnu::always_inline]] inline bool CurrentAttribute(const QZ_XmlReader *r, int16_t position, AttributeParts &parts) {
    Node node;
    return CurrentNode(r, node) && AttributeAt(node, position, parts);
}

} // namespace

extern "C" {

char *QZ_XMLReaderGetElementName(QZ_XmlReader *r, char *buffer, int32_t max) {
    NameParts parts;
    if (!CurrentNames(r, parts, true)) return HandOutEmpty(buffer, max);
    return HandOutQualifiedSpans(r, buffer, max, parts.prefix, parts.prefixLength, parts.local, parts.localLength);
}

const char *XMLReaderGetElementLocalName(QZ_XmlReader *r) {
    NameParts parts;
    return CurrentNames(r, parts, true) ? parts.local : nullptr;
}
char *QZ_XMLReaderGetElementLocalName(QZ_XmlReader *r, char *buffer, int32_t max) {
    NameParts parts;
    if (!CurrentNames(r, parts, true)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, parts.local, parts.localLength, false);
}

const char *XMLReaderGetElementPrefix(QZ_XmlReader *r) {
    NameParts parts;
    return CurrentNames(r, parts, false) ? parts.prefix : nullptr;
}
char *QZ_XMLReaderGetElementPrefix(QZ_XmlReader *r, char *buffer, int32_t max) {
    NameParts parts;
    if (!CurrentNames(r, parts, false)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, parts.prefix, parts.prefixLength, false);
}

const char *XMLReaderGetElementURI(QZ_XmlReader *r) {
    NameParts parts;
    return CurrentNames(r, parts, false) ? parts.uri : nullptr;
}
char *QZ_XMLReaderGetElementURI(QZ_XmlReader *r, char *buffer, int32_t max) {
    NameParts parts;
    if (!CurrentNames(r, parts, false)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, parts.uri, parts.uriLength, false);
}

int32_t QZ_XMLReaderGetLengthName(QZ_XmlReader *r) {
    NameParts parts;
    if (!CurrentNames(r, parts, true)) return 0;
    return static_cast<int32_t>(parts.prefixLength + parts.localLength + 1);
}

int32_t QZ_XMLReaderGetAttributeCount(QZ_XmlReader *r) {
    Node node;
    if (!CurrentNode(r, node)) return 0;
    return static_cast<int32_t>(ElementAttributeCount(node));
}

char *QZ_XMLReaderGetAttributeName(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return HandOutEmpty(buffer, max);
    return HandOutQualifiedSpans(r, buffer, max, a.prefix, a.prefixLength, a.local, a.localLength);
}

const char *XMLReaderGetAttributeLocalName(QZ_XmlReader *r, int16_t position) {
    AttributeParts a;
    return CurrentAttribute(r, position, a) ? a.local : nullptr;
}
char *QZ_XMLReaderGetAttributeLocalName(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, a.local, a.localLength, false);
}

const char *XMLReaderGetAttributePrefix(QZ_XmlReader *r, int16_t position) {
    AttributeParts a;
    return CurrentAttribute(r, position, a) ? a.prefix : nullptr;
}
char *QZ_XMLReaderGetAttributePrefix(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, a.prefix, a.prefixLength, false);
}

const char *XMLReaderGetAttributeURI(QZ_XmlReader *r, int16_t position) {
    AttributeParts a;
    return CurrentAttribute(r, position, a) ? a.uri : nullptr;
}
char *QZ_XMLReaderGetAttributeURI(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, a.uri, a.uriLength, false);
}

const char *XMLReaderGetAttributeValue(QZ_XmlReader *r, int16_t position) {
    AttributeParts a;
    return CurrentAttribute(r, position, a) ? a.value : nullptr;
}
char *QZ_XMLReaderGetAttributeValue(QZ_XmlReader *r, char *buffer, int16_t position, int32_t max) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return HandOutEmpty(buffer, max);
    return HandOutSpan(r, buffer, max, a.value, a.valueLength, false);
}

int32_t QZ_XMLReaderGetLengthAttName(QZ_XmlReader *r, int16_t position) {
    AttributeParts a;
    if (!CurrentAttribute(r, position, a)) return 0;
    return static_cast<int32_t>(a.prefixLength + a.localLength + 1);
}

int16_t QZ_XMLReaderGetAttIndex(QZ_XmlReader *r, const char *name) {
    Node node;
    if (name == nullptr || !CurrentNode(r, node)) return 0;
    const uint32_t count = ElementAttributeCount(node);
    char handed[301];
    for (uint32_t i = 1; i <= count && i <= INT16_MAX; ++i) {
        AttributeParts a;
        AttributeAt(node, static_cast<int32_t>(i), a);
        HandOutQualifiedSpans(r, handed, 300, a.prefix, a.prefixLength, a.local, a.localLength);
        if (std::strcmp(handed, name) == 0) return static_cast<int16_t>(i);
    }
    return 0;
}

QZ_Flag QZ_XMLReaderExistsAttribute(QZ_XmlReader *r, const char *name) {
    return QZ_XMLReaderGetAttIndex(r, name) > 0 ? 1 : 0;
}

char *QZ_XMLReaderGetAttributeValueByName(QZ_XmlReader *r, char *buffer, const char *name, int32_t max) {
    return QZ_XMLReaderGetAttributeValue(r, buffer, QZ_XMLReaderGetAttIndex(r, name), max);
}

} // extern "C"
