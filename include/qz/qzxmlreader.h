/* XML pull reader on top of expat.

   The caller opens a document (file, http URL, memory buffer, string or its
   own input callbacks) and calls QZ_XMLReaderRead repeatedly; every
   successful call positions the reader on the next node, whose name,
   attributes and value are then fetched with the getters below.

   Underneath, expat parses the input in push mode in namespace mode (the
   carriage return separates URI and local name) and the reader turns its
   events into a queue of node records. Input is read block by block only
   until the next item is complete, so a large document is never held whole.

   Texts handed out:
   - pointer forms (XMLReaderGet...) return UTF-8 text inside the current node
     record; it stays valid until the next read or close;
   - buffer forms (QZ_XMLReaderGet...) take a buffer and a maximum count of
     characters, convert to ANSI (Windows-1252, node encoding "ANSI", the
     default) or copy UTF-8 (node encoding "UTF-8"), write at most max
     characters and a terminator (the buffer holds max + 1 bytes) and return
     the buffer. A negative max leaves the buffer untouched.
   After an error, when closed, or when the current node does not carry the
   item, pointer forms return NULL, counts 0 and buffer forms the empty text. */
#ifndef QZ_QZXMLREADER_H
#define QZ_QZXMLREADER_H

#include "qzdefs.h"
#include "qzcontainer.h"
#include "qzcstr.h"
#include "qzlists.h"
#include "qzxmldict.h"

QZ_BEGIN_DECLS

/* Node type codes: one bit each, so that sets of types can be given as masks. */
#define QZ_XMLNODE_NONE 0
#define QZ_XMLNODE_ELEMENT 1
#define QZ_XMLNODE_ENDTAG 2
#define QZ_XMLNODE_TEXT 4
#define QZ_XMLNODE_COMMENT 8
#define QZ_XMLNODE_WHITESPACE 16
#define QZ_XMLNODE_CDATA 32
#define QZ_XMLNODE_PROCINS 64
#define QZ_XMLNODE_DOCTYPE 128

/* Error codes (kind 1: the reader's own; kind 2: the code is expat's). */
#define QZ_XMLREADER_ERR_NONE 0
#define QZ_XMLREADER_ERR_ALLOC 1
#define QZ_XMLREADER_ERR_QUEUE_EXPAND 2
#define QZ_XMLREADER_ERR_QUEUE_CREATE 3
#define QZ_XMLREADER_ERR_INPUT 4
#define QZ_XMLREADER_ERR_NS_EXPAND 5
#define QZ_XMLREADER_ERR_NS_CREATE 6
#define QZ_XMLREADER_ERR_INTERNAL 7
#define QZ_XMLREADER_ERR_UNEXPECTED_NODE 8
/* Limits that end a document (see the settings below). */
#define QZ_XMLREADER_ERR_DEPTH 9
#define QZ_XMLREADER_ERR_ENTITY_DEPTH 10
#define QZ_XMLREADER_ERR_ENTITY_SIZE 11

#define QZ_XMLREADER_ERRKIND_READER 1
#define QZ_XMLREADER_ERRKIND_EXPAT 2

/* Reader states. */
#define QZ_XMLREADER_CLOSED 0
#define QZ_XMLREADER_OPENED 1
#define QZ_XMLREADER_READING 2

#define QZ_XMLREADER_DEFAULT_BLOCK 5120
#define QZ_XMLREADER_DEFAULT_TEXT 5120
/* Largest Text node cut by ChunkText. */
#define QZ_XMLREADER_CHUNK 5120
#define QZ_XMLREADER_DOCENC_MAX 10
#define QZ_XMLREADER_NAMECONSTR_MAX 255
/* Defaults of the limits: elements open at once, external entities read one
   inside another, and the bytes that all external entities of a document
   (the external DTD subset included) may add. */
#define QZ_XMLREADER_DEFAULT_MAX_DEPTH 10000
#define QZ_XMLREADER_DEFAULT_MAX_ENTITY_DEPTH 40
#define QZ_XMLREADER_DEFAULT_MAX_ENTITY_BYTES (64 * 1024 * 1024)

/* Input callbacks. read fills buffer with up to wanted bytes and stores the
   count in *delivered; it returns nonzero when the call succeeded, with 0
   bytes delivered at the end of the input. close releases the source; its
   result is ignored. */
typedef QZ_Flag (*QZ_XmlReaderReadFn)(void *handle, char *buffer, uint32_t wanted, uint32_t *delivered);
typedef QZ_Flag (*QZ_XmlReaderCloseFn)(void *handle);

/* Parsed nodes not yet consumed. Storage comes from the process heap (not the
   memory pool). Each record: total record length (32-bit), node type (16-bit),
   payload; records are appended at the tail and consumed from the head, and
   both return to 0 once the head reaches the tail. */
typedef struct QZ_XmlNodeQueue {
    uint32_t capacity;
    uint32_t head;
    uint32_t tail;
    uint8_t *storage;
} QZ_XmlNodeQueue;

struct XML_ParserStruct; /* expat's parser */

typedef struct QZ_XmlReader {
    int32_t state;                   /* QZ_XMLREADER_CLOSED / OPENED / READING */
    QZ_XmlNodeQueue queue;           /* its head is the current node */
    QZ_XmlNsDict nsBindings;         /* URI -> prefix of the prefixes in scope */
    QZ_XmlNsDict *unparsedEntities;  /* made on the first unparsed entity declaration */
    void *inputHandle;
    QZ_XmlReaderReadFn inputRead;
    QZ_XmlReaderCloseFn inputClose;
    uint32_t blockSize;              /* each read asks for blockSize - 1 bytes */
    char *inputBuffer;
    QZ_Buffer textBuffer;            /* character data collected since the last node */
    struct XML_ParserStruct *parser; /* created at each open */
    int16_t errorCode;
    int16_t errorKind;               /* 0 none, 1 reader, 2 expat */
    QZ_Flag inCData;
    uint8_t nodeEncoding;            /* 0 ANSI, 1 UTF-8 */
    char documentEncoding[QZ_XMLREADER_DOCENC_MAX + 1]; /* empty: the document decides */
    QZ_Flag extEntEnabled;           /* external entities and the external DTD subset are read */
    QZ_Flag inputEnded;
    int16_t nodeConstr;              /* mask of node types the next read may stop on */
    char nameConstr[QZ_XMLREADER_NAMECONSTR_MAX + 1];
    QZ_Flag resConstr;
    QZ_Flag rmWhite;
    QZ_Flag rmWNodes;
    QZ_Flag simpleInEffect;
    QZ_Flag simpleElements;
    QZ_Buffer rawXml;                /* output of QZ_XMLReaderReadRawXML */
    char *stringCopy;                /* private copy for QZ_XMLReaderOpenFromString */
    uint32_t stringCopySize;
    int16_t linesNormalization;      /* 0 off, 1 on, 2 on and LF handed out as CR LF */
    QZ_Flag chunkText;
    uint16_t proxyPort;
    QZ_CStr proxyHost;
    QZ_List authorization;           /* QZ_HTTP_AuthEntry list (qzhttpauth.h) */
    /* Private to the reader. */
    QZ_Flag inputFinished;           /* expat has been told that the input ended */
    int16_t lastQueuedType;          /* type of the node queued last (0: none) */
    uint64_t bytesParsed;            /* input bytes given to expat so far */
    uint32_t itemSize;               /* records of the current item once it is complete, else 0 */
    uint32_t feedBlocks;             /* reads given to expat at once; grows while a token is unfinished */
    QZ_Flag remoteOrigin;            /* the document, or the entity being read, came from the network */
    int32_t elementDepth;            /* elements open in the parse */
    int32_t entityDepth;             /* external entities being read one inside another */
    uint64_t entityBytes;            /* bytes read from external entities of this document */
    int32_t maxDepth;                /* the limits: 0 or less turns one off */
    int32_t maxEntityDepth;
    int32_t maxEntityBytes;
} QZ_XmlReader;

/* ---- Lifecycle and input ------------------------------------------------ */

/* Initialises every field to its default and makes the queue (capacity =
   blockSize), the namespace bindings, the input buffer, the text buffer
   (capacity and growth textSize) and the raw XML buffer. A failure is stored
   as the error code (3, 6 or 1) with nothing left allocated. */
QZ_EXPORT void QZ_XMLReaderInitSize(QZ_XmlReader *reader, uint32_t blockSize, uint32_t textSize);
QZ_EXPORT void QZ_XMLReaderInit(QZ_XmlReader *reader);
/* A reader from the memory pool (tag "xmlreader"), initialised; NULL when the
   allocation fails. */
QZ_EXPORT QZ_XmlReader *QZ_XMLReaderCreate(void);
QZ_EXPORT void QZ_XMLReaderClear(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderDestroy(QZ_XmlReader *reader);

/* Opens a document read through the callbacks; base resolves relative system
   identifiers. All openers return 1 when the document is open, 0 when an
   error was stored. */
QZ_EXPORT QZ_Flag QZ_XMLReaderParametricOpen(QZ_XmlReader *reader, void *handle, QZ_XmlReaderReadFn read,
                                             QZ_XmlReaderCloseFn close, const char *base);
/* The same for input that comes from outside the program (a request body, a
   server's answer): ExtEntEnabled is turned off, so the document cannot make
   the reader fetch files or URLs. A program that truly wants external
   entities sets ExtEntEnabled after opening; they are then read from the
   network only, never from a local file. */
QZ_EXPORT QZ_Flag qz_XMLReaderParametricOpenUntrusted(QZ_XmlReader *reader, void *handle,
                                                      QZ_XmlReaderReadFn read, QZ_XmlReaderCloseFn close,
                                                      const char *base);
/* A file path, or an http(s) URL fetched with the HTTP client; a URL is a
   document from the network, opened as qz_XMLReaderParametricOpenUntrusted
   opens one. */
QZ_EXPORT QZ_Flag QZ_XMLReaderOpen(QZ_XmlReader *reader, const char *name);
/* The caller's bytes, not copied: they must live until the document is closed. */
QZ_EXPORT QZ_Flag QZ_XMLReaderOpenBuffer(QZ_XmlReader *reader, const char *bytes, uint32_t length);
/* A private copy of a zero-terminated text. */
QZ_EXPORT QZ_Flag QZ_XMLReaderOpenFromString(QZ_XmlReader *reader, const char *text);
QZ_EXPORT void QZ_XMLReaderClose(QZ_XmlReader *reader);

/* ---- Stream ------------------------------------------------------------- */

QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeElement(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeEndTag(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeText(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeComment(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeWhiteSpace(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeCData(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeProcIns(void);
QZ_EXPORT int16_t QZ_XMLReaderNodeTypeCodeDocType(void);

/* Nonzero when positioned on a new node that meets NodeConstr and NameConstr;
   0 at the end, after an error, or when the node does not meet them (error 8,
   the reader stays on that node). */
QZ_EXPORT QZ_Flag QZ_XMLReaderRead(QZ_XmlReader *reader);
/* Moves to the next node whose type is in mask and, for an element or end tag
   when qualifiedName is not empty, whose qualified name equals it. */
QZ_EXPORT QZ_Flag QZ_XMLReaderReadType(QZ_XmlReader *reader, int16_t mask, const char *qualifiedName);
QZ_EXPORT QZ_Flag QZ_XMLReaderReadValid(QZ_XmlReader *reader);
/* On an Element: moves past its content and end tag; otherwise 0. */
QZ_EXPORT QZ_Flag QZ_XMLReaderSkip(QZ_XmlReader *reader);
/* On an Element: moves past it like Skip and returns the subtree re-serialised
   by the XML writer (UTF-8, owned by the reader, valid until the next raw
   read); the empty text otherwise or after an error. */
QZ_EXPORT const char *QZ_XMLReaderReadRawXML(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderReadRawXMLBuf(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT QZ_Flag QZ_XMLReaderIsSimple(QZ_XmlReader *reader);
QZ_EXPORT int16_t QZ_XMLReaderGetNodeType(QZ_XmlReader *reader);
QZ_EXPORT QZ_Flag QZ_XMLReaderGetEOF(QZ_XmlReader *reader);

/* ---- Options ------------------------------------------------------------ */

QZ_EXPORT void QZ_XMLReaderSetExtEntEnabled(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetExtEntEnabled(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetRmWhite(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetRmWhite(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetRmWNodes(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetRmWNodes(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetSimpleElements(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetSimpleElements(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetResConstr(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetResConstr(QZ_XmlReader *reader);
/* Setting 0 stores -1 (all types). */
QZ_EXPORT void QZ_XMLReaderSetNodeConstr(QZ_XmlReader *reader, int16_t mask);
QZ_EXPORT int16_t QZ_XMLReaderGetNodeConstr(QZ_XmlReader *reader);
/* At most 255 characters are kept. */
QZ_EXPORT void QZ_XMLReaderSetNameConstr(QZ_XmlReader *reader, const char *name);
QZ_EXPORT char *QZ_XMLReaderGetNameConstr(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT void QZ_XMLReaderSetChunkText(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetChunkText(QZ_XmlReader *reader);
/* 0: line ends delivered as they stand in the document; 1: normalised to LF;
   2: normalised, and handed out by QZ_XMLReaderGetValue as CR LF. */
QZ_EXPORT void QZ_XMLReaderSetLinesNormalization(QZ_XmlReader *reader, int16_t value);
QZ_EXPORT int16_t QZ_XMLReaderGetLinesNormalization(QZ_XmlReader *reader);
/* Encoding forced on the parser (at most 10 characters; empty: the document
   decides); ignored while reading, applied at once just after an open. */
QZ_EXPORT void QZ_XMLReaderSetDocumentEncoding(QZ_XmlReader *reader, const char *name);
/* Exactly "ANSI" or "UTF-8"; anything else changes nothing. */
QZ_EXPORT void QZ_XMLReaderSetNodeEncoding(QZ_XmlReader *reader, const char *name);
QZ_EXPORT QZ_Flag XMLReaderAnsiNodeEncoding(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetProxyHost(QZ_XmlReader *reader, const char *host);
QZ_EXPORT void QZ_XMLReaderSetProxyPort(QZ_XmlReader *reader, uint16_t port);
/* Copies a credentials list (QZ_HTTP_AuthEntry elements) for http documents. */
QZ_EXPORT void QZ_XMLReaderInitAuthorization(QZ_XmlReader *reader, QZ_List *authorization);
/* Limits that end a hostile document with an error instead of letting it
   take time and memory without end; a value of 0 or less turns a limit off.
   Elements open at once (error 9, default 10,000), external entities read
   one inside another (error 10, default 40), bytes that the external
   entities of one document may add altogether (error 11, default 64 MiB). */
QZ_EXPORT void QZ_XMLReaderSetMaxDepth(QZ_XmlReader *reader, int32_t depth);
QZ_EXPORT int32_t QZ_XMLReaderGetMaxDepth(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetMaxEntityDepth(QZ_XmlReader *reader, int32_t depth);
QZ_EXPORT int32_t QZ_XMLReaderGetMaxEntityDepth(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderSetMaxEntityBytes(QZ_XmlReader *reader, int32_t bytes);
QZ_EXPORT int32_t QZ_XMLReaderGetMaxEntityBytes(QZ_XmlReader *reader);
/* Validation is accepted and ignored. */
QZ_EXPORT void QZ_XMLReaderSetValidationType(QZ_XmlReader *reader, int16_t type);
QZ_EXPORT int16_t QZ_XMLReaderGetValidationType(QZ_XmlReader *reader);
QZ_EXPORT void QZ_XMLReaderAddSchema(QZ_XmlReader *reader, const char *uri, const char *location);

/* ---- Errors ------------------------------------------------------------- */

QZ_EXPORT int16_t QZ_XMLReaderErrorCode(QZ_XmlReader *reader);
/* expat's current line and column while a document is open, else 0. */
QZ_EXPORT int32_t QZ_XMLReaderErrorLineNumber(QZ_XmlReader *reader);
QZ_EXPORT int32_t QZ_XMLReaderErrorLinePos(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderGetErrDescription(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT void XMLReaderSetAllocError(QZ_XmlReader *reader);

/* ---- Names -------------------------------------------------------------- */

/* Element and EndTag nodes; the target serves as name and local name of a ProcIns. */
QZ_EXPORT char *QZ_XMLReaderGetElementName(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT const char *XMLReaderGetElementLocalName(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderGetElementLocalName(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT const char *XMLReaderGetElementPrefix(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderGetElementPrefix(QZ_XmlReader *reader, char *buffer, int32_t max);
QZ_EXPORT const char *XMLReaderGetElementURI(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderGetElementURI(QZ_XmlReader *reader, char *buffer, int32_t max);
/* UTF-8 length of the prefix + length of the local name + 1. */
QZ_EXPORT int32_t QZ_XMLReaderGetLengthName(QZ_XmlReader *reader);

/* ---- Attributes (Element nodes; positions start at 1) ------------------- */

QZ_EXPORT int32_t QZ_XMLReaderGetAttributeCount(QZ_XmlReader *reader);
QZ_EXPORT char *QZ_XMLReaderGetAttributeName(QZ_XmlReader *reader, char *buffer, int16_t position, int32_t max);
QZ_EXPORT const char *XMLReaderGetAttributeLocalName(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttributeLocalName(QZ_XmlReader *reader, char *buffer, int16_t position,
                                                  int32_t max);
QZ_EXPORT const char *XMLReaderGetAttributePrefix(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttributePrefix(QZ_XmlReader *reader, char *buffer, int16_t position,
                                               int32_t max);
QZ_EXPORT const char *XMLReaderGetAttributeURI(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttributeURI(QZ_XmlReader *reader, char *buffer, int16_t position, int32_t max);
QZ_EXPORT const char *XMLReaderGetAttributeValue(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttributeValue(QZ_XmlReader *reader, char *buffer, int16_t position,
                                              int32_t max);
QZ_EXPORT int32_t QZ_XMLReaderGetLengthAttName(QZ_XmlReader *reader, int16_t position);
/* Position of the first attribute whose qualified name equals name exactly, else 0. */
QZ_EXPORT int16_t QZ_XMLReaderGetAttIndex(QZ_XmlReader *reader, const char *name);
QZ_EXPORT QZ_Flag QZ_XMLReaderExistsAttribute(QZ_XmlReader *reader, const char *name);
QZ_EXPORT char *QZ_XMLReaderGetAttributeValueByName(QZ_XmlReader *reader, char *buffer, const char *name,
                                                    int32_t max);

/* ---- Unparsed entities named by attribute values ------------------------ */

QZ_EXPORT const char *XMLReaderGetAttEntityValue(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttEntityValue(QZ_XmlReader *reader, char *buffer, int16_t position,
                                              int32_t max);
QZ_EXPORT int32_t QZ_XMLReaderGetAttEntityNotationLength(QZ_XmlReader *reader, int16_t position);
QZ_EXPORT char *QZ_XMLReaderGetAttEntityNotation(QZ_XmlReader *reader, char *buffer, int16_t position,
                                                 int32_t max);
QZ_EXPORT char *QZ_XMLReaderGetAttEntityValueByName(QZ_XmlReader *reader, char *buffer, const char *name,
                                                    int32_t max);
QZ_EXPORT char *QZ_XMLReaderGetAttEntityNotationByName(QZ_XmlReader *reader, char *buffer, const char *name,
                                                       int32_t max);

/* ---- Values ------------------------------------------------------------- */

QZ_EXPORT const char *XMLReaderGetValue(QZ_XmlReader *reader);
/* With RmWhite, Text and Element values are trimmed of spaces, CR, LF and TAB;
   with LinesNormalization 2 every LF is written as CR LF. */
QZ_EXPORT char *QZ_XMLReaderGetValue(QZ_XmlReader *reader, char *buffer, int32_t max);
/* first/last = positions of the first and last character that is not a space,
   CR, LF or TAB (both 0 when none); returns strlen(text) - first - 1. */
QZ_EXPORT int32_t GetStartEndWithoutWhites(const char *text, int32_t *first, int32_t *last);

QZ_END_DECLS

#endif
