// Steps shared by the writer's operations: the output path, escaping,
// indentation, the start-tag flush and the element stack.
#ifndef QZ_XML_QZXML_INTERNAL_H
#define QZ_XML_QZXML_INTERNAL_H

#include <cstdint>
#include <string_view>

#include "qz/qzxml.h"

namespace qz::xml {

constexpr const char *kSource = "qzxml";
constexpr int32_t kToTerminator = -1;

// Depth of the innermost open element (0 when none is open).
int32_t currentDepth(const QZ_XmlWriter *w);
uint32_t openElements(const QZ_XmlWriter *w);
char *elementName(QZ_XmlWriter *w, uint32_t index);
char *elementUri(QZ_XmlWriter *w, uint32_t index);

// Removes the top element and the namespace bindings its depth declared.
void popElement(QZ_XmlWriter *w);

// Stores code unless an error is stored already; returns the stored code.
int16_t fail(QZ_XmlWriter *w, int16_t code);

// Hands whatever was collected to the stock write handler. Every public
// operation ends with this, so the file sees the bytes before the operation
// returns (callers may write to the same stream between operations).
int16_t finish(QZ_XmlWriter *w, int16_t result);

// Whether output goes through a stock write handler (file or memory buffer) and
// is therefore collected.
bool collectsOutput(const QZ_XmlWriter *w);

// Discards the document state: open elements, pending start tag and bindings.
void resetDocument(QZ_XmlWriter *w);

} // namespace qz::xml

// The output path: count bytes, or up to the terminator with kToTerminator.
// Starts the writer on first use and converts to UTF-8 in UTF-8 mode.
int16_t QZ_xmlWriteOut(QZ_XmlWriter *w, const char *bytes, int32_t count);
inline int16_t QZ_xmlWriteOut(QZ_XmlWriter *w, std::string_view s) {
    return QZ_xmlWriteOut(w, s.data(), static_cast<int32_t>(s.size()));
}
// Character data with the five markup characters written as entities.
int16_t QZ_xmlWriteEscaped(QZ_XmlWriter *w, const char *text);
// depth x indentation count copies of the indentation character.
int16_t QZ_xmlWriteIndent(QZ_XmlWriter *w, int32_t depth);
// Writes the pending start tag (and a pending value element whole).
int16_t QZ_xmlFlushStartTag(QZ_XmlWriter *w);

#endif
