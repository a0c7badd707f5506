// The writer's settings (indentation, encoding) and its error state.
#include <algorithm>
#include <cstring>

#include "xml/qzxml_internal.h"

namespace {

// Copies at most max characters of text and a terminator; a negative max
// leaves the buffer untouched.
char *copyOut(char *buffer, int32_t max, const char *text) {
    if (buffer == nullptr || max < 0) return buffer;
    const size_t n = std::min(std::strlen(text), static_cast<size_t>(max));
    std::memcpy(buffer, text, n);
    buffer[n] = '\0';
    return buffer;
}

const char *errorText(int16_t code) {
    switch (code) {
    case QZ_XML_ERR_NONE: return "No Error";
    case QZ_XML_ERR_OUTPUT: return "Output error";
    case QZ_XML_ERR_NAME: return "Name too large";
    case QZ_XML_ERR_VALUE: return "Value too large";
    case QZ_XML_ERR_LEVELS: return "Too many levels";
    case QZ_XML_ERR_ALLOC: return "Allocation error";
    case QZ_XML_ERR_URI: return "URI too large";
    default: return "Unknown error";
    }
}

bool isUtf8Name(const char *s) {
    return (s[0] == 'U' || s[0] == 'u') && (s[1] == 'T' || s[1] == 't') && (s[2] == 'F' || s[2] == 'f') &&
           s[3] == '-' && s[4] == '8' && s[5] == '\0';
}

} // namespace

extern "C" {

int16_t QZ_xmlsetindentation(QZ_XmlWriter *w, int16_t count) {
    if (w != nullptr) w->indentCount = count;
    return 0;
}

int16_t QZ_xmlgetindentation(QZ_XmlWriter *w) { return w != nullptr ? w->indentCount : 0; }

int16_t QZ_xmlsetindentationchar(QZ_XmlWriter *w, const char *text) {
    if (w != nullptr && text != nullptr && *text != '\0') w->indentChar = *text;
    return 0;
}

char *QZ_xmlgetindentationchar(QZ_XmlWriter *w, char *buffer, int16_t max) {
    if (w == nullptr || buffer == nullptr || max < 1) return buffer;
    buffer[0] = w->indentChar;
    buffer[1] = '\0';
    return buffer;
}

int16_t QZ_xmlsetencoding(QZ_XmlWriter *w, const char *name) {
    if (w == nullptr) return 0;
    w->utf8 = (name != nullptr && isUtf8Name(name)) ? 1 : 0;
    return 0;
}

char *QZ_xmlgetencoding(QZ_XmlWriter *w, char *buffer, int16_t max) {
    return copyOut(buffer, max, w != nullptr && w->utf8 ? "UTF-8" : "ISO-8859-1");
}

int16_t QZ_xmlgeterrcode(QZ_XmlWriter *w) { return w != nullptr ? w->errorCode : 0; }

char *QZ_xmlgeterrdescription(QZ_XmlWriter *w, char *buffer, int16_t max) {
    return copyOut(buffer, max, errorText(w != nullptr ? w->errorCode : 0));
}

int16_t QZ_xmlsetallocerror(QZ_XmlWriter *w) {
    if (w == nullptr) return QZ_XML_ERR_ALLOC;
    w->errorCode = QZ_XML_ERR_ALLOC;
    return QZ_XML_ERR_ALLOC;
}

} // extern "C"
