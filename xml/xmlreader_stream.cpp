// Moving through the document: filling the queue block by block, items
// (a simple element spans up to five records), and the read operations.

#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {
namespace {

bool NameMatches(const QZ_XmlReader *r, const Node &node, const char *wanted, bool qualified) {
    NameParts parts;
    if (!ElementNames(node, parts)) return true;
    char handed[512];
    if (qualified)
        HandOutQualifiedSpans(r, handed, QZ_XMLREADER_NAMECONSTR_MAX, parts.prefix, parts.prefixLength, parts.local,
                              parts.localLength);
    else
        HandOutSpan(r, handed, QZ_XMLREADER_NAMECONSTR_MAX, parts.local, parts.localLength, false);
    return std::strcmp(handed, wanted) == 0;
}

void ResetConstraints(QZ_XmlReader *r) {
    if (!r->resConstr) return;
    r->nameConstr[0] = '\0';
    r->nodeConstr = -1;
}

} // namespace

void ParseFailed(QZ_XmlReader *r, XML_Parser parser) {
    const XML_Error code = XML_GetErrorCode(parser);
    // A refused external entity shows as expat's own error, which replaces the
    // reader's; a reader error raised in an event (the parser was stopped)
    // stays, and so does a limit that ended the document.
    if (IsLimitError(r)) return;
    if (code == XML_ERROR_EXTERNAL_ENTITY_HANDLING || r->errorCode == 0)
        SetError(r, static_cast<int16_t>(code), QZ_XMLREADER_ERRKIND_EXPAT);
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
    while (r->errorCode == 0 && !r->inputFinished && QZ_XMLReaderItemSize(r) == 0) {
        FeedState s;
        s.fed = r->bytesParsed;
        s.blocks = r->feedBlocks;
        s.removeMark = ReaderRemovesMark(r, false);
        s.emptyIsNothing = true;
        // Once bytes have been parsed, the end is always announced to expat,
        // also when the input ends exactly at a block boundary, so that a
        // truncated document is reported.
        const FeedStatus status = FeedParser(r, r->parser, s);
        r->bytesParsed = s.fed;
        r->feedBlocks = s.blocks;
        if (status == FeedStatus::Failed) return;
        r->inputEnded = status == FeedStatus::Ended ? 1 : 0;
        if (r->inputEnded) r->inputFinished = 1;
    }
}

namespace {

// QZ_XMLReaderAdvance, inline in the read that runs it for every node.
[[gnu::always_inline]] inline QZ_Flag AdvanceInline(QZ_XmlReader *r) {
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

} // namespace

QZ_Flag QZ_XMLReaderAdvance(QZ_XmlReader *r) { return AdvanceInline(r); }

} // namespace qz_xmlreader

using namespace qz_xmlreader;

extern "C" {

QZ_Flag QZ_XMLReaderRead(QZ_XmlReader *r) {
    Node node;
    for (;;) {
        if (!AdvanceInline(r)) {
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
