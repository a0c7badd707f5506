// Skipping an element, and reading it back as XML text: the subtree is
// walked node by node and re-serialised with the XML writer, so the text has
// the writer's layout (TAB indentation, a line feed after every tag) and no
// XML declaration.

#include "qz/qzconv.h"
#include "qz/qzxml.h"
#include "xml/xmlreader_internal.h"

using namespace qz_xmlreader;

namespace {

constexpr int32_t kRawNameMax = 511;

// Walks the current element. With a writer, every node goes to it.
QZ_Flag Walk(QZ_XmlReader *r, QZ_XmlWriter *w) {
    const uint8_t savedEncoding = r->nodeEncoding;
    r->nodeEncoding = 1; // names and values as parsed, for the writer
    int32_t depth = 0;
    bool first = true;
    bool writerFailed = false;
    QZ_Flag result = 1;
    Node node;
    while ((first || depth > 0) && !writerFailed) {
        first = false;
        if (!CurrentNode(r, node)) {
            result = 0;
            break;
        }
        int16_t rc = 0;
        switch (node.type) {
        case QZ_XMLNODE_ELEMENT: {
            const bool simple = QZ_XMLReaderItemSize(r) >= 2;
            if (w != nullptr) {
                char name[kRawNameMax + 1];
                QZ_XMLReaderGetElementName(r, name, kRawNameMax);
                if (simple) {
                    const char *value = XMLReaderGetValue(r);
                    rc = QZ_xmlvaluestr(w, name, value != nullptr ? value : "");
                } else {
                    rc = QZ_xmlbeginelement(w, name);
                }
                const int32_t count = QZ_XMLReaderGetAttributeCount(r);
                for (int32_t i = 1; rc == 0 && i <= count && i <= INT16_MAX; ++i) {
                    char attName[kRawNameMax + 1];
                    QZ_XMLReaderGetAttributeName(r, attName, static_cast<int16_t>(i), kRawNameMax);
                    const char *value = XMLReaderGetAttributeValue(r, static_cast<int16_t>(i));
                    rc = QZ_xmlattstr(w, attName, value != nullptr ? value : "");
                }
            }
            if (!simple) ++depth;
            break;
        }
        case QZ_XMLNODE_ENDTAG:
            if (w != nullptr) rc = QZ_xmlendelement(w);
            --depth;
            break;
        case QZ_XMLNODE_TEXT:
            if (w != nullptr) {
                const char *text = reinterpret_cast<const char *>(node.payload);
                if (*text == '\r') ++text;
                if (*text == '\n') ++text;
                rc = QZ_xmltext(w, text);
            }
            break;
        case QZ_XMLNODE_COMMENT:
            // A comment holding "--" is refused by the writer without an error.
            if (w != nullptr) QZ_xmlcomment(w, reinterpret_cast<const char *>(node.payload));
            rc = w != nullptr ? QZ_xmlgeterrcode(w) : 0;
            break;
        case QZ_XMLNODE_CDATA:
            if (w != nullptr) rc = QZ_xmlcdata(w, reinterpret_cast<const char *>(node.payload));
            break;
        case QZ_XMLNODE_PROCINS:
            if (w != nullptr) {
                QZ_xmlprocessinginstruction(w, reinterpret_cast<const char *>(node.payload + 4),
                                            XMLReaderGetValue(r));
                rc = QZ_xmlgeterrcode(w);
            }
            break;
        default: // WhiteSpace and DocType: nothing
            break;
        }
        if (rc != 0) {
            writerFailed = true;
            break;
        }
        result = QZ_XMLReaderAdvance(r);
        if (!result) break;
    }
    if (writerFailed) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        result = 0;
    }
    r->nodeEncoding = savedEncoding;
    return result;
}

bool OnElement(QZ_XmlReader *r) {
    Node node;
    return r != nullptr && r->state == QZ_XMLREADER_READING && CurrentNode(r, node) &&
           node.type == QZ_XMLNODE_ELEMENT;
}

} // namespace

extern "C" {

QZ_Flag QZ_XMLReaderSkip(QZ_XmlReader *r) {
    if (!OnElement(r)) return 0;
    return Walk(r, nullptr);
}

const char *QZ_XMLReaderReadRawXML(QZ_XmlReader *r) {
    if (r == nullptr) return "";
    r->rawXml.used = 0;
    if (r->rawXml.data != nullptr) r->rawXml.data[0] = 0;
    if (!OnElement(r)) return "";
    QZ_XmlWriter writer;
    if (QZ_xmlinit(&writer) != 0) {
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return "";
    }
    if (QZ_xmlstartMemBuf(&writer, &r->rawXml) != 0) {
        QZ_xmlclear(&writer);
        SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
        return "";
    }
    Walk(r, &writer);
    // Ending closes what the walk left open and appends the terminating zero.
    QZ_xmlend(&writer);
    QZ_xmlclear(&writer);
    if (r->errorCode != 0 || r->rawXml.data == nullptr || r->rawXml.used == 0) return "";
    return reinterpret_cast<const char *>(r->rawXml.data);
}

char *QZ_XMLReaderReadRawXMLBuf(QZ_XmlReader *r, char *buffer, int32_t max) {
    const char *text = QZ_XMLReaderReadRawXML(r);
    if (buffer == nullptr || max < 0) return buffer;
    if (r != nullptr && r->nodeEncoding == 0)
        Utf8ToAnsi(buffer, text, max);
    else
        QZ_CharReplace(buffer, text, '\0', nullptr, max);
    return buffer;
}

} // extern "C"
