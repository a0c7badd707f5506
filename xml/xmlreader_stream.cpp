// Moving through the document: filling the queue block by block, items
// (a simple element spans up to five records), and the read operations.

#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

constexpr unsigned char kBom[3] = {0xEF, 0xBB, 0xBF};

bool NameMatches(const QZ_XmlReader *r, const Node &node, const char *wanted, bool qualified) {
    NameParts parts;
    if (!ElementNames(node, parts)) return true;
    char handed[512];
    if (qualified)
        HandOutQualified(r, handed, QZ_XMLREADER_NAMECONSTR_MAX, parts.prefix, parts.local);
    else
        HandOut(r, handed, QZ_XMLREADER_NAMECONSTR_MAX, parts.local);
    return std::strcmp(handed, wanted) == 0;
}

void ResetConstraints(QZ_XmlReader *r) {
    if (!r->resConstr) return;
    r->nameConstr[0] = '\0';
    r->nodeConstr = -1;
}

} // namespace

namespace {

void ParseFailed(QZ_XmlReader *r, XML_Parser parser) {
    const XML_Error code = XML_GetErrorCode(parser);
    // A refused external entity shows as expat's own error, which replaces the
    // reader's; a reader error raised in an event (the parser was stopped) stays.
    if (code == XML_ERROR_EXTERNAL_ENTITY_HANDLING || r->errorCode == 0)
        SetError(r, static_cast<int16_t>(code), QZ_XMLREADER_ERRKIND_EXPAT);
}

} // namespace

void ParseBlock(QZ_XmlReader *r, XML_Parser parser, const char *bytes, uint32_t count, bool final) {
    if (XML_Parse(parser, bytes, static_cast<int>(count), final ? XML_TRUE : XML_FALSE) != XML_STATUS_ERROR)
        return;
    ParseFailed(r, parser);
}

uint32_t ItemSizeScan(const QZ_XmlReader *r) {
    Node node;
    if (!NodeAt(r->queue, r->queue.head, node)) return 0;
    if (node.type != QZ_XMLNODE_ELEMENT || !r->simpleInEffect) return 1;
    // Element, [WhiteSpace], then EndTag, or Text [WhiteSpace] EndTag.
    uint32_t count = 1;
    uint32_t pos = node.next;
    bool seenText = false;
    for (;;) {
        if (!NodeAt(r->queue, pos, node)) return 0;
        ++count;
        pos = node.next;
        if (node.type == QZ_XMLNODE_ENDTAG) return count;
        if (node.type == QZ_XMLNODE_WHITESPACE) {
            if (!NodeAt(r->queue, pos, node)) return 0;
            if (node.type == QZ_XMLNODE_ENDTAG) return count + 1;
            if (seenText || node.type != QZ_XMLNODE_TEXT) return 1;
            ++count;
            pos = node.next;
            seenText = true;
            continue;
        }
        if (node.type == QZ_XMLNODE_TEXT && !seenText) {
            seenText = true;
            continue;
        }
        return 1;
    }
}

void QZ_XMLReaderFill(QZ_XmlReader *r) {
    const uint32_t want = r->blockSize - 1;
    while (r->errorCode == 0 && !r->inputFinished && QZ_XMLReaderItemSize(r) == 0) {
        uint32_t got = 0;
        // After the first block the input is read straight into expat's own
        // buffer, which saves copying every block once more.
        char *target = r->inputBuffer;
        if (r->bytesParsed != 0 && r->inputRead != nullptr) {
            if (void *own = XML_GetBuffer(r->parser, static_cast<int>(want)); own != nullptr)
                target = static_cast<char *>(own);
        }
        const QZ_Flag ok = r->inputRead != nullptr ? r->inputRead(r->inputHandle, target, want, &got) : 0;
        if (got > want) got = want;
        if (!ok) {
            // Some input sources report their end as a failed read that
            // delivers nothing; after data has come, that is the end of the
            // document, not an input error.
            if (got != 0 || r->bytesParsed == 0) {
                SetError(r, QZ_XMLREADER_ERR_INPUT, QZ_XMLREADER_ERRKIND_READER);
                return;
            }
        }
        r->inputEnded = got < want ? 1 : 0;
        const char *bytes = target;
        if (got > 3 && r->bytesParsed == 0 && std::memcmp(bytes, kBom, 3) == 0) {
            bytes += 3;
            got -= 3;
        }
        if (r->inputEnded) r->inputFinished = 1;
        // An input that delivers nothing at all is an empty document. Once
        // bytes have been parsed, the end is always announced to expat, also
        // when the input ends exactly at a block boundary, so that a
        // truncated document is reported.
        if (got == 0 && r->bytesParsed == 0) continue;
        r->bytesParsed += got;
        if (target == r->inputBuffer)
            ParseBlock(r, r->parser, bytes, got, r->inputEnded != 0);
        else if (XML_ParseBuffer(r->parser, static_cast<int>(got), r->inputEnded != 0 ? XML_TRUE : XML_FALSE) ==
                 XML_STATUS_ERROR)
            ParseFailed(r, r->parser);
    }
}

QZ_Flag QZ_XMLReaderAdvance(QZ_XmlReader *r) {
    if (r == nullptr || r->errorCode != 0 || r->state == QZ_XMLREADER_CLOSED) return 0;
    r->state = QZ_XMLREADER_READING;
    if (!QueueEmpty(r->queue)) {
        uint32_t size = QZ_XMLReaderItemSize(r);
        // An item that can no longer complete (its input has ended) goes
        // record by record, so that the reader never stands still.
        if (size == 0 && r->inputFinished) size = 1;
        QueueDrop(r->queue, size);
    }
    r->itemSize = 0;
    r->simpleInEffect = r->simpleElements;
    if ((r->itemSize = QZ_XMLReaderItemSize(r)) > 0) return 1;
    QZ_XMLReaderFill(r);
    if (r->errorCode != 0) return 0;
    r->itemSize = QZ_XMLReaderItemSize(r);
    return QueueEmpty(r->queue) ? 0 : 1;
}

} // namespace qz_xmlreader

using namespace qz_xmlreader;

extern "C" {

QZ_Flag QZ_XMLReaderRead(QZ_XmlReader *r) {
    Node node;
    for (;;) {
        if (!QZ_XMLReaderAdvance(r)) {
            if (r != nullptr) ResetConstraints(r);
            return 0;
        }
        NodeAt(r->queue, r->queue.head, node);
        if (node.type == QZ_XMLNODE_WHITESPACE && ((r->nodeConstr & QZ_XMLNODE_WHITESPACE) == 0 || r->rmWNodes))
            continue;
        break;
    }
    bool accepted = (r->nodeConstr & node.type) != 0;
    if (accepted && r->nameConstr[0] != '\0') accepted = NameMatches(r, node, r->nameConstr, false);
    QZ_Flag result = 1;
    if (!accepted) {
        SetError(r, QZ_XMLREADER_ERR_UNEXPECTED_NODE, QZ_XMLREADER_ERRKIND_READER);
        result = 0;
    }
    ResetConstraints(r);
    return result;
}

QZ_Flag QZ_XMLReaderReadType(QZ_XmlReader *r, int16_t mask, const char *qualifiedName) {
    if (r == nullptr) return 0;
    const bool named = qualifiedName != nullptr && qualifiedName[0] != '\0';
    // The name may be the reader's own NameConstr, which the reset below clears.
    char wanted[QZ_XMLREADER_NAMECONSTR_MAX + 1] = {};
    for (size_t i = 0; named && i < QZ_XMLREADER_NAMECONSTR_MAX && qualifiedName[i] != '\0'; ++i)
        wanted[i] = qualifiedName[i];
    QZ_Flag result;
    Node node;
    for (;;) {
        result = QZ_XMLReaderAdvance(r);
        if (!result) break;
        NodeAt(r->queue, r->queue.head, node);
        if (node.type == QZ_XMLNODE_WHITESPACE && r->rmWNodes) continue;
        if ((mask & node.type) == 0) continue;
        if (named && !NameMatches(r, node, wanted, true)) continue;
        break;
    }
    ResetConstraints(r);
    return result;
}

QZ_Flag QZ_XMLReaderReadValid(QZ_XmlReader *r) {
    if (r == nullptr) return 0;
    return QZ_XMLReaderReadType(r, r->nodeConstr, r->nameConstr);
}

QZ_Flag QZ_XMLReaderIsSimple(QZ_XmlReader *r) {
    Node node;
    if (!CurrentNode(r, node) || node.type != QZ_XMLNODE_ELEMENT) return 0;
    return QZ_XMLReaderItemSize(r) >= 2 ? 1 : 0;
}

int16_t QZ_XMLReaderGetNodeType(QZ_XmlReader *r) {
    Node node;
    if (r == nullptr || r->state != QZ_XMLREADER_READING || !CurrentNode(r, node)) return 0;
    return node.type;
}

QZ_Flag QZ_XMLReaderGetEOF(QZ_XmlReader *r) {
    if (r == nullptr || r->errorCode != 0) return 1;
    if (!r->inputEnded) return 0;
    return QueueEmpty(r->queue) ? 1 : 0;
}

} // extern "C"
