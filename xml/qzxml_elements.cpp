// Elements: the open-element stack, the pending start tag with its
// attributes, value elements and the namespace prefixes of both.
#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "qz/qzpgmmem.h"
#include "xml/qzxml_internal.h"

using qz::xml::fail;
using qz::xml::finish;

namespace qz::xml {

uint32_t openElements(const QZ_XmlWriter *w) { return QZ_Buffer_Count(&w->elements, QZ_XML_ELEMENT_ENTRY); }

int32_t currentDepth(const QZ_XmlWriter *w) {
    const uint32_t n = openElements(w);
    return n > 0 ? static_cast<int32_t>(n - 1) : 0;
}

char *elementName(QZ_XmlWriter *w, uint32_t index) {
    return static_cast<char *>(QZ_Buffer_At(&w->elements, index, QZ_XML_ELEMENT_ENTRY));
}

char *elementUri(QZ_XmlWriter *w, uint32_t index) { return elementName(w, index) + QZ_XML_NAME_SIZE; }

namespace {

// Drops the bindings declared at depth, and gives their text back to the
// pool: a long document that declares namespaces on many elements would
// otherwise grow the pool for as long as the writer runs.
void dropBindings(QZ_XmlWriter *w, int32_t depth) {
    QZ_XmlNsDict *d = &w->namespaces;
    QZ_XmlNsDict_PopDepth(d, static_cast<int16_t>(depth));
    if (d->entryCount == 0) {
        QZ_XmlNsDict_Reset(d);
        return;
    }
    // Each entry appends its value and then its key, so the newest live
    // entry's key ends the text in use.
    const QZ_XmlNsEntry &last = d->entries[d->entryCount - 1];
    d->textUsed = last.keyPos + static_cast<uint32_t>(std::strlen(d->text + last.keyPos)) + 1;
}

} // namespace

void popElement(QZ_XmlWriter *w) {
    const uint32_t n = openElements(w);
    if (n == 0) return;
    const int32_t depth = static_cast<int32_t>(n - 1);
    QZ_Buffer_SetCount(&w->elements, n - 1, QZ_XML_ELEMENT_ENTRY);
    dropBindings(w, depth);
}

void resetDocument(QZ_XmlWriter *w) {
    QZ_Buffer_SetCount(&w->elements, 0, QZ_XML_ELEMENT_ENTRY);
    QZ_Buffer_SetCount(&w->attributes, 0, QZ_XML_ATTRIBUTE_ENTRY);
    QZ_XmlNsDict_Reset(&w->namespaces);
    QZ_CStr_Free(&w->value);
    w->prefix[0] = '\0';
    w->hasValue = 0;
    w->startTagPending = 0;
}

} // namespace qz::xml

namespace {

// Copies at most size - 1 characters and a terminator.
void copyCut(char *dest, const char *src, size_t size) {
    size_t n = std::strlen(src);
    if (n >= size) n = size - 1;
    std::memcpy(dest, src, n);
    dest[n] = '\0';
}

const char *skipSpaces(const char *s) {
    while (*s == ' ') ++s;
    return s;
}

bool onlySpaces(const char *s) { return *skipSpaces(s) == '\0'; }

// The attribute path, also taken by the namespace declarations of the flush.
int16_t addAttribute(QZ_XmlWriter *w, const char *name, const char *value) {
    if (w->errorCode != 0) return w->errorCode;
    if (!w->startTagPending && !w->hasValue) return 0;
    if (name == nullptr) name = "";
    if (value == nullptr) value = "";
    if (std::strlen(name) >= QZ_XML_NAME_SIZE) return fail(w, QZ_XML_ERR_NAME);
    if (std::strlen(value) >= QZ_XML_VALUE_SIZE) return fail(w, QZ_XML_ERR_VALUE);

    // "xmlns" alone or followed by ":" declares a namespace: the binding
    // (URI -> prefix) is recorded at the current depth.
    const char *n = skipSpaces(name);
    if (std::strncmp(n, "xmlns", 5) == 0 && (n[5] == '\0' || n[5] == ':')) {
        value = skipSpaces(value);
        const char *prefix = n[5] == ':' ? n + 6 : n + 5;
        const size_t prefixLength = std::strcspn(prefix, " ");
        auto *copy = static_cast<char *>(QZ_malloc(nullptr, prefixLength + 1, qz::xml::kSource, __LINE__));
        if (copy == nullptr) return fail(w, QZ_XML_ERR_ALLOC);
        std::memcpy(copy, prefix, prefixLength);
        copy[prefixLength] = '\0';
        const QZ_Flag added =
            QZ_XmlNsDict_Add(&w->namespaces, value, copy, static_cast<int16_t>(qz::xml::currentDepth(w)));
        QZ_free(nullptr, copy);
        if (!added) return fail(w, QZ_XML_ERR_ALLOC);
    }

    auto *entry = static_cast<char *>(QZ_Buffer_Extend(&w->attributes, QZ_XML_ATTRIBUTE_ENTRY));
    if (entry == nullptr) return fail(w, QZ_XML_ERR_ALLOC);
    copyCut(entry, name, QZ_XML_NAME_SIZE);
    copyCut(entry + QZ_XML_NAME_SIZE, value, QZ_XML_VALUE_SIZE);
    return 0;
}

int16_t writeQualifiedName(QZ_XmlWriter *w, const char *prefix, const char *name) {
    if (prefix != nullptr && *prefix != '\0') {
        int16_t rc = QZ_xmlWriteOut(w, prefix, qz::xml::kToTerminator);
        if (rc == 0) rc = QZ_xmlWriteOut(w, ":", 1);
        if (rc != 0) return rc;
    }
    return QZ_xmlWriteOut(w, name, qz::xml::kToTerminator);
}

int16_t pushElement(QZ_XmlWriter *w, const char *name, const char *uri) {
    if (std::strlen(name) >= QZ_XML_NAME_SIZE) return fail(w, QZ_XML_ERR_NAME);
    if (std::strlen(uri) >= QZ_XML_URI_SIZE) return fail(w, QZ_XML_ERR_URI);
    auto *entry = static_cast<char *>(QZ_Buffer_Extend(&w->elements, QZ_XML_ELEMENT_ENTRY));
    if (entry == nullptr) return fail(w, QZ_XML_ERR_ALLOC);
    copyCut(entry, name, QZ_XML_NAME_SIZE);
    copyCut(entry + QZ_XML_NAME_SIZE, uri, QZ_XML_URI_SIZE);
    w->startTagPending = 1;
    return 0;
}

int16_t beginElement(QZ_XmlWriter *w, const char *name, const char *prefix, const char *uri) {
    const int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc != 0) return rc;
    const int16_t pushed = pushElement(w, name != nullptr ? name : "", uri != nullptr ? uri : "");
    if (pushed != 0) return pushed;
    if (prefix != nullptr) copyCut(w->prefix, prefix, sizeof w->prefix);
    return 0;
}

int16_t valueElement(QZ_XmlWriter *w, const char *name, const char *uri, const char *text) {
    const int16_t rc = uri != nullptr ? beginElement(w, name, "", uri) : beginElement(w, name, nullptr, nullptr);
    if (rc != 0) return rc;
    w->hasValue = 1;
    QZ_CStr_SetText(&w->value, text != nullptr ? text : "");
    if (text != nullptr && QZ_CStr_Length(&w->value) != std::strlen(text)) return fail(w, QZ_XML_ERR_ALLOC);
    return 0;
}

void formatInt(char *buffer, size_t size, int32_t value) { std::snprintf(buffer, size, "%" PRId32, value); }
void formatDec(char *buffer, size_t size, double value) { std::snprintf(buffer, size, "%lf", value); }

constexpr size_t kNumberSize = 400; // "%lf" of the largest double needs about 320 characters

} // namespace

int16_t QZ_xmlFlushStartTag(QZ_XmlWriter *w) {
    if (w->errorCode != 0) return w->errorCode;
    if (!w->startTagPending) return 0;
    const uint32_t top = qz::xml::openElements(w) - 1;
    const int32_t depth = static_cast<int32_t>(top);
    const char *name = qz::xml::elementName(w, top);
    const char *uri = qz::xml::elementUri(w, top);

    // The prefix: the newest binding of the URI when the caller asked for no
    // prefix or for that one; otherwise the namespace is declared (as the
    // tag's last attribute) with the requested prefix.
    char prefix[QZ_XML_NAME_SIZE] = "";
    if (*uri != '\0') {
        const char *bound = QZ_XmlNsDict_Lookup(&w->namespaces, uri, static_cast<uint32_t>(std::strlen(uri)));
        if (bound != nullptr && (w->prefix[0] == '\0' || std::strcmp(w->prefix, bound) == 0)) {
            copyCut(prefix, bound, sizeof prefix);
        } else {
            char declaration[QZ_XML_NAME_SIZE + 8] = "xmlns";
            if (w->prefix[0] != '\0') {
                std::strcat(declaration, ":");
                std::strcat(declaration, w->prefix);
            }
            const int16_t rc = addAttribute(w, declaration, uri);
            if (rc != 0) return rc;
            copyCut(prefix, w->prefix, sizeof prefix);
        }
    }

    int16_t rc = QZ_xmlWriteIndent(w, depth);
    if (rc == 0) rc = QZ_xmlWriteOut(w, "<", 1);
    if (rc == 0) rc = writeQualifiedName(w, prefix, name);
    const uint32_t attributes = QZ_Buffer_Count(&w->attributes, QZ_XML_ATTRIBUTE_ENTRY);
    for (uint32_t i = 0; rc == 0 && i < attributes; ++i) {
        const auto *entry = static_cast<const char *>(QZ_Buffer_At(&w->attributes, i, QZ_XML_ATTRIBUTE_ENTRY));
        rc = QZ_xmlWriteOut(w, " ", 1);
        if (rc == 0) rc = QZ_xmlWriteOut(w, entry, qz::xml::kToTerminator);
        if (rc == 0) rc = QZ_xmlWriteOut(w, "=\"", 2);
        if (rc == 0) rc = QZ_xmlWriteEscaped(w, entry + QZ_XML_NAME_SIZE);
        if (rc == 0) rc = QZ_xmlWriteOut(w, "\"", 1);
    }
    if (rc != 0) return rc;
    QZ_Buffer_SetCount(&w->attributes, 0, QZ_XML_ATTRIBUTE_ENTRY);

    if (!w->hasValue) {
        rc = QZ_xmlWriteOut(w, ">\n", 2);
        if (rc != 0) return rc;
        w->prefix[0] = '\0';
        w->startTagPending = 0;
        return 0;
    }

    w->hasValue = 0;
    const char *text = QZ_CStr_Data(&w->value);
    if (onlySpaces(text)) {
        rc = QZ_xmlWriteOut(w, "/>\n", 3);
    } else {
        rc = QZ_xmlWriteOut(w, ">", 1);
        if (rc == 0) rc = QZ_xmlWriteEscaped(w, text);
        if (rc == 0) rc = QZ_xmlWriteOut(w, "</", 2);
        if (rc == 0) rc = writeQualifiedName(w, prefix, name);
        if (rc == 0) rc = QZ_xmlWriteOut(w, ">\n", 2);
    }
    if (rc != 0) return rc;
    // The value text keeps its block for the next value element: most
    // documents write many of them.
    qz::xml::popElement(w);
    w->prefix[0] = '\0';
    w->startTagPending = 0;
    return 0;
}

extern "C" {

int16_t QZ_xmlbeginelement(QZ_XmlWriter *w, const char *name) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, beginElement(w, name, nullptr, nullptr));
}

int16_t QZ_xmlbeginelementNS(QZ_XmlWriter *w, const char *name, const char *prefix, const char *uri) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, beginElement(w, name, prefix != nullptr ? prefix : "", uri));
}

int16_t QZ_xmlendelement(QZ_XmlWriter *w) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc != 0 || qz::xml::openElements(w) == 0) return finish(w, rc);
    const uint32_t top = qz::xml::openElements(w) - 1;
    const char *name = qz::xml::elementName(w, top);
    const char *uri = qz::xml::elementUri(w, top);
    const char *prefix =
        *uri != '\0' ? QZ_XmlNsDict_Lookup(&w->namespaces, uri, static_cast<uint32_t>(std::strlen(uri))) : nullptr;
    rc = QZ_xmlWriteIndent(w, static_cast<int32_t>(top));
    if (rc == 0) rc = QZ_xmlWriteOut(w, "</", 2);
    if (rc == 0) rc = writeQualifiedName(w, prefix, name);
    if (rc != 0) return finish(w, rc);
    qz::xml::popElement(w);
    return finish(w, QZ_xmlWriteOut(w, ">\n", 2));
}

int16_t QZ_xmlvaluestr(QZ_XmlWriter *w, const char *name, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, valueElement(w, name, nullptr, text));
}

int16_t QZ_xmlvalueint(QZ_XmlWriter *w, const char *name, int32_t value) {
    char number[kNumberSize];
    formatInt(number, sizeof number, value);
    return QZ_xmlvaluestr(w, name, number);
}

int16_t QZ_xmlvaluedec(QZ_XmlWriter *w, const char *name, double value) {
    char number[kNumberSize];
    formatDec(number, sizeof number, value);
    return QZ_xmlvaluestr(w, name, number);
}

int16_t QZ_xmlvaluestrNS(QZ_XmlWriter *w, const char *name, const char *uri, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, valueElement(w, name, uri != nullptr ? uri : "", text));
}

int16_t QZ_xmlvalueintNS(QZ_XmlWriter *w, const char *name, const char *uri, int32_t value) {
    char number[kNumberSize];
    formatInt(number, sizeof number, value);
    return QZ_xmlvaluestrNS(w, name, uri, number);
}

int16_t QZ_xmlvaluedecNS(QZ_XmlWriter *w, const char *name, const char *uri, double value) {
    char number[kNumberSize];
    formatDec(number, sizeof number, value);
    return QZ_xmlvaluestrNS(w, name, uri, number);
}

int16_t QZ_xmlattstr(QZ_XmlWriter *w, const char *name, const char *value) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, addAttribute(w, name, value));
}

int16_t QZ_xmlattint(QZ_XmlWriter *w, const char *name, int32_t value) {
    char number[kNumberSize];
    formatInt(number, sizeof number, value);
    return QZ_xmlattstr(w, name, number);
}

int16_t QZ_xmlattdec(QZ_XmlWriter *w, const char *name, double value) {
    char number[kNumberSize];
    formatDec(number, sizeof number, value);
    return QZ_xmlattstr(w, name, number);
}

} // extern "C"
