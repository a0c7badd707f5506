// Reader record lifecycle, options and errors.

#include <cstdio>

#include "qz/qzhttpauth.h"
#include "qz/qzpgmmem.h"
#include "runtime/qztext_internal.h"
#include "xml/xmlreader_internal.h"

namespace qz_xmlreader {

void *PoolAlloc(size_t size, int line) { return QZ_malloc(nullptr, size, kSourceTag, line); }
void PoolFree(void *p) {
    if (p != nullptr) QZ_free(nullptr, p);
}

void SetError(QZ_XmlReader *r, int16_t code, int16_t kind) {
    r->errorCode = code;
    r->errorKind = kind;
}

void FailInEvent(QZ_XmlReader *r, int16_t code) {
    SetError(r, code, QZ_XMLREADER_ERRKIND_READER);
    // Nothing more of this document is wanted: let expat return at once.
    if (r->parser != nullptr) XML_StopParser(r->parser, XML_FALSE);
}

namespace {

const char *const kErrorTexts[] = {
    "No Error",
    "Internal error - Buffer allocation error",
    "Internal error - Unable to expand queue",
    "Internal error - Unable to create queue",
    "Input error",
    "Internal error - Unable to expand name sapaces buffer",
    "Internal error - Unable to create name sapaces buffer",
    "Internal error",
    "Unexpected node",
    "Elements nested too deep",
    "External entities nested too deep",
    "External entities too large",
};
constexpr int16_t kLastErrorText = static_cast<int16_t>(sizeof kErrorTexts / sizeof kErrorTexts[0]) - 1;

void SetDefaults(QZ_XmlReader *r, uint32_t blockSize) {
    std::memset(r, 0, sizeof *r);
    r->state = QZ_XMLREADER_CLOSED;
    r->blockSize = blockSize;
    r->extEntEnabled = 1;
    r->inputEnded = 1;
    r->nodeConstr = -1;
    r->resConstr = 1;
    r->rmWhite = 1;
    r->rmWNodes = 1;
    r->simpleInEffect = 1;
    r->simpleElements = 1;
    r->linesNormalization = 1;
    r->proxyPort = 80;
    r->feedBlocks = 1;
    r->maxDepth = QZ_XMLREADER_DEFAULT_MAX_DEPTH;
    r->maxEntityDepth = QZ_XMLREADER_DEFAULT_MAX_ENTITY_DEPTH;
    r->maxEntityBytes = QZ_XMLREADER_DEFAULT_MAX_ENTITY_BYTES;
    QZ_CStr_Init(&r->proxyHost);
    QZ_HTTP_AuthList_Init(&r->authorization);
}

} // namespace
} // namespace qz_xmlreader

using namespace qz_xmlreader;

extern "C" {

void QZ_XMLReaderInitSize(QZ_XmlReader *r, uint32_t blockSize, uint32_t textSize) {
    if (r == nullptr) return;
    // Each read asks for one byte less than the block: a block of one byte
    // could never read anything, and the end of the input would never come.
    if (blockSize < 2) blockSize = 2;
    if (textSize < 1) textSize = 1;
    SetDefaults(r, blockSize);
    if (!QueueInit(r->queue, blockSize)) {
        SetError(r, QZ_XMLREADER_ERR_QUEUE_CREATE, QZ_XMLREADER_ERRKIND_READER);
        return;
    }
    if (!QZ_XmlNsDict_InitStandard(&r->nsBindings)) {
        QueueFree(r->queue);
        SetError(r, QZ_XMLREADER_ERR_NS_CREATE, QZ_XMLREADER_ERRKIND_READER);
        return;
    }
    // The blocks themselves are read into the parser's buffer (the feed);
    // the input buffer stays part of the record and of its initialisation.
    r->inputBuffer = static_cast<char *>(PoolAlloc(blockSize, __LINE__));
    if (r->inputBuffer != nullptr && QZ_Buffer_Init(&r->textBuffer, textSize, textSize)) {
        if (QZ_Buffer_Init(&r->rawXml, 2048, 1024)) return;
        QZ_Buffer_Free(&r->textBuffer);
    }
    PoolFree(r->inputBuffer);
    r->inputBuffer = nullptr;
    QZ_XmlNsDict_Free(&r->nsBindings);
    QueueFree(r->queue);
    SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
}

void QZ_XMLReaderInit(QZ_XmlReader *r) {
    QZ_XMLReaderInitSize(r, QZ_XMLREADER_DEFAULT_BLOCK, QZ_XMLREADER_DEFAULT_TEXT);
}

QZ_XmlReader *QZ_XMLReaderCreate(void) {
    auto *r = static_cast<QZ_XmlReader *>(PoolAlloc(sizeof(QZ_XmlReader), __LINE__));
    if (r != nullptr) QZ_XMLReaderInit(r);
    return r;
}

void QZ_XMLReaderClear(QZ_XmlReader *r) {
    if (r == nullptr) return;
    QZ_XMLReaderClose(r);
    QZ_CStr_Free(&r->proxyHost);
    QZ_HTTP_AuthList_Free(&r->authorization);
    PoolFree(r->inputBuffer);
    r->inputBuffer = nullptr;
    QZ_Buffer_Free(&r->textBuffer);
    QZ_XmlNsDict_Free(&r->nsBindings);
    QueueFree(r->queue);
    QZ_Buffer_Free(&r->rawXml);
    PoolFree(r->stringCopy);
    r->stringCopy = nullptr;
    r->stringCopySize = 0;
}

void QZ_XMLReaderDestroy(QZ_XmlReader *r) {
    if (r == nullptr) return;
    QZ_XMLReaderClear(r);
    PoolFree(r);
}

int16_t QZ_XMLReaderNodeTypeCodeElement(void) { return QZ_XMLNODE_ELEMENT; }
int16_t QZ_XMLReaderNodeTypeCodeEndTag(void) { return QZ_XMLNODE_ENDTAG; }
int16_t QZ_XMLReaderNodeTypeCodeText(void) { return QZ_XMLNODE_TEXT; }
int16_t QZ_XMLReaderNodeTypeCodeComment(void) { return QZ_XMLNODE_COMMENT; }
int16_t QZ_XMLReaderNodeTypeCodeWhiteSpace(void) { return QZ_XMLNODE_WHITESPACE; }
int16_t QZ_XMLReaderNodeTypeCodeCData(void) { return QZ_XMLNODE_CDATA; }
int16_t QZ_XMLReaderNodeTypeCodeProcIns(void) { return QZ_XMLNODE_PROCINS; }
int16_t QZ_XMLReaderNodeTypeCodeDocType(void) { return QZ_XMLNODE_DOCTYPE; }

// ---- options ---------------------------------------------------------------

void QZ_XMLReaderSetExtEntEnabled(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->extEntEnabled = v;
}
int16_t QZ_XMLReaderGetExtEntEnabled(QZ_XmlReader *r) { return r != nullptr ? r->extEntEnabled : 0; }
void QZ_XMLReaderSetRmWhite(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->rmWhite = v;
}
int16_t QZ_XMLReaderGetRmWhite(QZ_XmlReader *r) { return r != nullptr ? r->rmWhite : 0; }
void QZ_XMLReaderSetRmWNodes(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->rmWNodes = v;
}
int16_t QZ_XMLReaderGetRmWNodes(QZ_XmlReader *r) { return r != nullptr ? r->rmWNodes : 0; }
void QZ_XMLReaderSetSimpleElements(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->simpleElements = v;
}
int16_t QZ_XMLReaderGetSimpleElements(QZ_XmlReader *r) { return r != nullptr ? r->simpleElements : 0; }
void QZ_XMLReaderSetResConstr(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->resConstr = v;
}
int16_t QZ_XMLReaderGetResConstr(QZ_XmlReader *r) { return r != nullptr ? r->resConstr : 0; }
void QZ_XMLReaderSetNodeConstr(QZ_XmlReader *r, int16_t mask) {
    if (r != nullptr) r->nodeConstr = mask == 0 ? static_cast<int16_t>(-1) : mask;
}
int16_t QZ_XMLReaderGetNodeConstr(QZ_XmlReader *r) { return r != nullptr ? r->nodeConstr : 0; }
void QZ_XMLReaderSetNameConstr(QZ_XmlReader *r, const char *name) {
    if (r != nullptr) qz::CopyToBuffer(r->nameConstr, sizeof r->nameConstr - 1, qz::OrEmpty(name));
}
char *QZ_XMLReaderGetNameConstr(QZ_XmlReader *r, char *buffer, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    qz::CopyToBuffer(buffer, static_cast<size_t>(max), r != nullptr ? r->nameConstr : "");
    return buffer;
}
void QZ_XMLReaderSetChunkText(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->chunkText = v;
}
int16_t QZ_XMLReaderGetChunkText(QZ_XmlReader *r) { return r != nullptr ? r->chunkText : 0; }

// The line-end switch is read by the event handlers at every event, so a
// change takes effect at once on an open document and at the next open.
void QZ_XMLReaderSetLinesNormalization(QZ_XmlReader *r, int16_t v) {
    if (r != nullptr) r->linesNormalization = v;
}
int16_t QZ_XMLReaderGetLinesNormalization(QZ_XmlReader *r) { return r != nullptr ? r->linesNormalization : 0; }

void QZ_XMLReaderSetDocumentEncoding(QZ_XmlReader *r, const char *name) {
    if (r == nullptr || r->state == QZ_XMLREADER_READING) return;
    qz::CopyToBuffer(r->documentEncoding, sizeof r->documentEncoding - 1, qz::OrEmpty(name));
    if (r->state == QZ_XMLREADER_OPENED && r->parser != nullptr)
        XML_SetEncoding(r->parser, r->documentEncoding[0] != '\0' ? r->documentEncoding : nullptr);
}

void QZ_XMLReaderSetNodeEncoding(QZ_XmlReader *r, const char *name) {
    if (r == nullptr || name == nullptr) return;
    if (std::strcmp(name, "ANSI") == 0)
        r->nodeEncoding = 0;
    else if (std::strcmp(name, "UTF-8") == 0)
        r->nodeEncoding = 1;
}
QZ_Flag XMLReaderAnsiNodeEncoding(QZ_XmlReader *r) { return r != nullptr && r->nodeEncoding == 0 ? 1 : 0; }

void QZ_XMLReaderSetProxyHost(QZ_XmlReader *r, const char *host) {
    if (r != nullptr) QZ_CStr_SetText(&r->proxyHost, host != nullptr ? host : "");
}
void QZ_XMLReaderSetProxyPort(QZ_XmlReader *r, uint16_t port) {
    if (r != nullptr) r->proxyPort = port;
}
void QZ_XMLReaderInitAuthorization(QZ_XmlReader *r, QZ_List *authorization) {
    if (r != nullptr) QZ_HTTP_AuthList_Copy(&r->authorization, authorization);
}

void QZ_XMLReaderSetMaxDepth(QZ_XmlReader *r, int32_t depth) {
    if (r != nullptr) r->maxDepth = depth;
}
int32_t QZ_XMLReaderGetMaxDepth(QZ_XmlReader *r) { return r != nullptr ? r->maxDepth : 0; }
void QZ_XMLReaderSetMaxEntityDepth(QZ_XmlReader *r, int32_t depth) {
    if (r != nullptr) r->maxEntityDepth = depth;
}
int32_t QZ_XMLReaderGetMaxEntityDepth(QZ_XmlReader *r) { return r != nullptr ? r->maxEntityDepth : 0; }
void QZ_XMLReaderSetMaxEntityBytes(QZ_XmlReader *r, int32_t bytes) {
    if (r != nullptr) r->maxEntityBytes = bytes;
}
int32_t QZ_XMLReaderGetMaxEntityBytes(QZ_XmlReader *r) { return r != nullptr ? r->maxEntityBytes : 0; }

void QZ_XMLReaderSetValidationType(QZ_XmlReader *, int16_t) {}
int16_t QZ_XMLReaderGetValidationType(QZ_XmlReader *) { return 0; }
void QZ_XMLReaderAddSchema(QZ_XmlReader *, const char *, const char *) {}

// ---- errors ----------------------------------------------------------------

int16_t QZ_XMLReaderErrorCode(QZ_XmlReader *r) { return r != nullptr ? r->errorCode : 0; }

int32_t QZ_XMLReaderErrorLineNumber(QZ_XmlReader *r) {
    if (r == nullptr || r->state == QZ_XMLREADER_CLOSED || r->parser == nullptr) return 0;
    return static_cast<int32_t>(XML_GetCurrentLineNumber(r->parser));
}

int32_t QZ_XMLReaderErrorLinePos(QZ_XmlReader *r) {
    if (r == nullptr || r->state == QZ_XMLREADER_CLOSED || r->parser == nullptr) return 0;
    return static_cast<int32_t>(XML_GetCurrentColumnNumber(r->parser));
}

char *QZ_XMLReaderGetErrDescription(QZ_XmlReader *r, char *buffer, int32_t max) {
    if (buffer == nullptr || max < 0) return buffer;
    const char *text = "Internal error";
    if (r != nullptr) {
        if (r->errorKind == QZ_XMLREADER_ERRKIND_EXPAT) {
            const XML_LChar *expatText = XML_ErrorString(static_cast<XML_Error>(r->errorCode));
            if (expatText != nullptr) text = expatText;
        } else if (r->errorCode >= 0 && r->errorCode <= kLastErrorText) {
            text = kErrorTexts[r->errorCode];
        }
    }
    qz::CopyToBuffer(buffer, static_cast<size_t>(max), text);
    return buffer;
}

void XMLReaderSetAllocError(QZ_XmlReader *r) {
    if (r != nullptr) SetError(r, QZ_XMLREADER_ERR_ALLOC, QZ_XMLREADER_ERRKIND_READER);
}

} // extern "C"
