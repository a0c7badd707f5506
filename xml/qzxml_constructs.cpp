// Everything besides elements: character data, comments, CDATA sections,
// entity references, processing instructions, raw text, the XML declaration
// and the document type declaration.
#include <cstring>
#include <initializer_list>
#include <string_view>

#include "xml/qzxml_internal.h"

using qz::xml::finish;

namespace {

const char *skipSpaces(const char *s) {
    while (*s == ' ') ++s;
    return s;
}

// A name token: leading spaces skipped, up to the next space or the end.
std::string_view token(const char *s) {
    s = skipSpaces(s != nullptr ? s : "");
    return {s, std::strcspn(s, " ")};
}

int16_t writeAll(QZ_XmlWriter *w, std::initializer_list<std::string_view> parts) {
    for (std::string_view part : parts) {
        const int16_t rc = QZ_xmlWriteOut(w, part);
        if (rc != 0) return rc;
    }
    return 0;
}

int16_t writeCdata(QZ_XmlWriter *w, std::string_view text) {
    // "]]>" cannot stand inside a section: each one is cut after its first
    // "]", so the next section starts with the remaining "]>".
    const int32_t depth = qz::xml::currentDepth(w);
    for (;;) {
        const size_t end = text.find("]]>");
        const std::string_view piece = end == std::string_view::npos ? text : text.substr(0, end + 1);
        int16_t rc = QZ_xmlWriteIndent(w, depth);
        if (rc == 0) rc = writeAll(w, {"<![CDATA[", piece, "]]>\n"});
        if (rc != 0 || end == std::string_view::npos) return rc;
        text.remove_prefix(end + 1);
    }
}

int16_t writeDoctype(QZ_XmlWriter *w, const char *name, const char *publicId, const char *systemId,
                     const char *subset) {
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = writeAll(w, {"<!DOCTYPE ", token(name)});
    if (rc == 0 && publicId != nullptr) rc = writeAll(w, {" PUBLIC \"", publicId, "\""});
    else if (rc == 0 && systemId != nullptr) rc = QZ_xmlWriteOut(w, " SYSTEM");
    if (rc == 0 && systemId != nullptr) rc = writeAll(w, {" \"", systemId, "\""});
    // A public identifier needs a system literal after it to be well formed:
    // without one, an empty literal is written.
    else if (rc == 0 && publicId != nullptr) rc = QZ_xmlWriteOut(w, " \"\"");
    if (rc != 0) return rc;
    const char *internal = skipSpaces(subset != nullptr ? subset : "");
    if (*internal != '\0') return writeAll(w, {" [", internal, "]>\n"});
    return QZ_xmlWriteOut(w, ">\n");
}

} // namespace

extern "C" {

int16_t QZ_xmltext(QZ_XmlWriter *w, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = QZ_xmlWriteEscaped(w, text);
    return finish(w, rc);
}

int16_t QZ_xmlcomment(QZ_XmlWriter *w, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    if (w->errorCode != 0) return w->errorCode;
    const std::string_view t = text != nullptr ? text : "";
    // "--" cannot stand in a comment, nor a final "-" (it would make "--->").
    // Refused without an error, so that the writer stays usable.
    if (t.find("--") != std::string_view::npos || (!t.empty() && t.back() == '-')) return 1;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = QZ_xmlWriteIndent(w, qz::xml::currentDepth(w));
    if (rc == 0) rc = writeAll(w, {"<!--", t, "-->\n"});
    return finish(w, rc);
}

int16_t QZ_xmlcdata(QZ_XmlWriter *w, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = writeCdata(w, text != nullptr ? text : "");
    return finish(w, rc);
}

int16_t QZ_xmlentityreference(QZ_XmlWriter *w, const char *name) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = writeAll(w, {"&", token(name), ";"});
    return finish(w, rc);
}

int16_t QZ_xmlprocessinginstruction(QZ_XmlWriter *w, const char *target, const char *data) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    if (w->errorCode != 0) return w->errorCode;
    const char *d = skipSpaces(data != nullptr ? data : "");
    if (std::strstr(d, "?>") != nullptr) return 1; // refused without an error
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = QZ_xmlWriteIndent(w, qz::xml::currentDepth(w));
    if (rc == 0) rc = writeAll(w, {"<?", token(target)});
    if (rc == 0 && *d != '\0') rc = writeAll(w, {" ", d});
    if (rc == 0) rc = QZ_xmlWriteOut(w, "?>\n");
    return finish(w, rc);
}

int16_t QZ_xmlraw(QZ_XmlWriter *w, const char *text) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    int16_t rc = QZ_xmlFlushStartTag(w);
    if (rc == 0) rc = QZ_xmlWriteOut(w, text, qz::xml::kToTerminator);
    return finish(w, rc);
}

int16_t QZ_xmlstartdocument(QZ_XmlWriter *w, const char *encoding, QZ_Flag standalone) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    if (encoding != nullptr) QZ_xmlsetencoding(w, skipSpaces(encoding));
    const int16_t rc = writeAll(w, {"<?xml version=\"1.0\" encoding=\"", w->utf8 ? "UTF-8" : "ISO-8859-1", "\"",
                                    standalone ? " standalone=\"yes\"?>\n" : "?>\n"});
    return finish(w, rc);
}

int16_t QZ_xmldoctype(QZ_XmlWriter *w, const char *name, const char *subset) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, writeDoctype(w, name, nullptr, nullptr, subset));
}

int16_t QZ_xmldoctypesystem(QZ_XmlWriter *w, const char *name, const char *systemId, const char *subset) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, writeDoctype(w, name, nullptr, systemId, subset));
}

int16_t QZ_xmldoctypepublic(QZ_XmlWriter *w, const char *name, const char *publicId, const char *systemId,
                            const char *subset) {
    if (w == nullptr) return QZ_XML_ERR_OUTPUT;
    return finish(w, writeDoctype(w, name, publicId, systemId, subset));
}

} // extern "C"
