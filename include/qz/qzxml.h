/* The XML writer: a streaming, push-style serializer.

   A caller starts an output, then issues events (begin element, attribute,
   value element, text, comment, CDATA, processing instruction, doctype, end
   element) that the writer turns into indented XML text for a pluggable
   output: a file, standard output, caller-supplied handlers or a memory buffer.

   - A start tag stays pending after its element is begun, so that attributes
     (and a value) can still be added; the next event of any kind writes it.
   - A value element (QZ_xmlvaluestr and siblings) is a whole element in one
     call: it is written and closed at the next event; the caller never ends it.
   - Every start tag, end tag, value element, comment, CDATA section and
     processing instruction ends with a line feed and tags are indented by
     depth; text written with QZ_xmltext is neither indented nor followed by a
     line feed.

   Operations that produce output return 0 for success, otherwise the writer's
   error code (sticky: once stored, every writing operation returns it and does
   nothing until a successful start, QZ_xmlOpenToString or a new initialisation).
   Buffer-filling getters write at most max characters and a terminator, so the
   caller's buffer holds max + 1 bytes. */
#ifndef QZ_QZXML_H
#define QZ_QZXML_H

#include <stdio.h>

#include "qzcontainer.h"
#include "qzcstr.h"
#include "qzxmldict.h"

QZ_BEGIN_DECLS

/* Error codes (texts from QZ_xmlgeterrdescription). */
#define QZ_XML_ERR_NONE 0      /* "No Error" */
#define QZ_XML_ERR_OUTPUT 1    /* "Output error": open or write failed, string buffer not prepared */
#define QZ_XML_ERR_NAME 2      /* "Name too large": 512 characters or more */
#define QZ_XML_ERR_VALUE 3     /* "Value too large": attribute value of 1024 characters or more */
#define QZ_XML_ERR_LEVELS 4    /* "Too many levels": never raised, nesting has no limit */
#define QZ_XML_ERR_ALLOC 5     /* "Allocation error" */
#define QZ_XML_ERR_URI 6       /* "URI too large": 512 characters or more */

/* Sizes of the fixed stack entries: element name and URI (at most 511
   characters each), attribute name (511) and value (1023). */
#define QZ_XML_NAME_SIZE 512
#define QZ_XML_URI_SIZE 512
#define QZ_XML_VALUE_SIZE 1024
#define QZ_XML_ELEMENT_ENTRY (QZ_XML_NAME_SIZE + QZ_XML_URI_SIZE)
#define QZ_XML_ATTRIBUTE_ENTRY (QZ_XML_NAME_SIZE + QZ_XML_VALUE_SIZE)

/* Bytes the default file handlers collect before handing them to the file. */
#define QZ_XML_FILE_BUFFER 8192

/* Output handlers. open receives the address of the output handle and the
   name given to the start; write and close receive the handle. open and write
   return nonzero on success; a write of 0 bytes must succeed; close's result
   is ignored. */
typedef int (*QZ_XmlOpenHandler)(void **handle, const char *name);
typedef int (*QZ_XmlWriteHandler)(void *handle, const char *bytes, uint32_t count);
typedef void (*QZ_XmlCloseHandler)(void *handle);

typedef struct QZ_XmlWriter {
    void *handle;                  /* output handle, passed to the write and close handlers */
    QZ_Buffer elements;            /* open elements: QZ_XML_ELEMENT_ENTRY bytes each (name, URI) */
    QZ_Buffer attributes;          /* pending attributes: QZ_XML_ATTRIBUTE_ENTRY bytes each (name, value) */
    QZ_Flag started;               /* the output is open */
    QZ_CStr value;                 /* text of a pending value element */
    char prefix[QZ_XML_NAME_SIZE]; /* prefix asked for by the last QZ_xmlbeginelementNS */
    int32_t hasValue;              /* the pending element is a value element */
    int32_t startTagPending;       /* the top element's start tag is not written yet */
    QZ_XmlOpenHandler openHandler;
    QZ_XmlWriteHandler writeHandler;
    QZ_XmlCloseHandler closeHandler;
    QZ_XmlNsDict namespaces;       /* URI -> prefix, tagged with the declaring depth */
    int16_t errorCode;
    char indentChar;               /* default TAB */
    int16_t indentCount;           /* indentation characters per level, default 1 */
    QZ_Buffer *stringBuffer;       /* target of QZ_xmlOpenToString, owned */
    uint8_t utf8;                  /* 1: output converted from ANSI to UTF-8; 0: ISO-8859-1 */
    /* Private: bytes collected for the stock write handlers (the default file
       and the memory buffer), handed to them in blocks (at the latest when the
       operation that wrote them returns). */
    uint32_t fileBufferUsed;
    char fileBuffer[QZ_XML_FILE_BUFFER];
} QZ_XmlWriter;

/* Lifecycle. */
QZ_EXPORT QZ_XmlWriter *QZ_xmlwritercreate(void);
QZ_EXPORT int16_t QZ_xmlwriterinit(QZ_XmlWriter *w, QZ_XmlOpenHandler open, QZ_XmlWriteHandler write,
                                   QZ_XmlCloseHandler close);
QZ_EXPORT int16_t QZ_xmlinit(QZ_XmlWriter *w);
QZ_EXPORT int16_t QZ_xmlclear(QZ_XmlWriter *w);
QZ_EXPORT int16_t QZ_xmlwriterdestroy(QZ_XmlWriter *w);

/* Starting and ending an output. A null or blank name with the default
   handlers means standard output; otherwise the file is created ("w"). */
QZ_EXPORT int16_t QZ_xmlstart(QZ_XmlWriter *w, const char *name);
QZ_EXPORT int16_t QZ_xmlstartEx(QZ_XmlWriter *w, const char *name, QZ_XmlOpenHandler open,
                                QZ_XmlWriteHandler write, QZ_XmlCloseHandler close);
QZ_EXPORT int16_t QZ_xmlsethandler(QZ_XmlWriter *w, void *handle);
QZ_EXPORT int16_t QZ_xmlstartMemBuf(QZ_XmlWriter *w, QZ_Buffer *buffer);
/* Starts on a stream the caller owns (standard output or an open file): the
   writer writes through the buffered file handlers, flushes the stream when it
   ends, and never closes it. */
QZ_EXPORT int16_t QZ_xmlstartOnFile(QZ_XmlWriter *w, FILE *fp);
QZ_EXPORT int16_t QZ_xmlend(QZ_XmlWriter *w);

/* Output into the writer's own string buffer. */
QZ_EXPORT int16_t QZ_xmlOpenToString(QZ_XmlWriter *w);
QZ_EXPORT char *QZ_xmlgetResultingString(QZ_XmlWriter *w, char *buffer, int32_t max);
/* The bytes in place; the count includes the terminating zero once the output
   was ended. NULL and 0 without a string buffer. */
QZ_EXPORT const char *QZ_xmlgetInternalResultingString(QZ_XmlWriter *w, uint32_t *count);

/* Document-level constructs. */
QZ_EXPORT int16_t QZ_xmlstartdocument(QZ_XmlWriter *w, const char *encoding, QZ_Flag standalone);
QZ_EXPORT int16_t QZ_xmldoctype(QZ_XmlWriter *w, const char *name, const char *subset);
QZ_EXPORT int16_t QZ_xmldoctypesystem(QZ_XmlWriter *w, const char *name, const char *systemId,
                                      const char *subset);
QZ_EXPORT int16_t QZ_xmldoctypepublic(QZ_XmlWriter *w, const char *name, const char *publicId,
                                      const char *systemId, const char *subset);

/* Elements. */
QZ_EXPORT int16_t QZ_xmlbeginelement(QZ_XmlWriter *w, const char *name);
QZ_EXPORT int16_t QZ_xmlbeginelementNS(QZ_XmlWriter *w, const char *name, const char *prefix,
                                       const char *uri);
QZ_EXPORT int16_t QZ_xmlendelement(QZ_XmlWriter *w);

/* Value elements (written and closed at the next event). */
QZ_EXPORT int16_t QZ_xmlvaluestr(QZ_XmlWriter *w, const char *name, const char *text);
QZ_EXPORT int16_t QZ_xmlvalueint(QZ_XmlWriter *w, const char *name, int32_t value);
QZ_EXPORT int16_t QZ_xmlvaluedec(QZ_XmlWriter *w, const char *name, double value);
QZ_EXPORT int16_t QZ_xmlvaluestrNS(QZ_XmlWriter *w, const char *name, const char *uri, const char *text);
QZ_EXPORT int16_t QZ_xmlvalueintNS(QZ_XmlWriter *w, const char *name, const char *uri, int32_t value);
QZ_EXPORT int16_t QZ_xmlvaluedecNS(QZ_XmlWriter *w, const char *name, const char *uri, double value);

/* Attributes of the pending start tag (ignored with 0 when none is pending). */
QZ_EXPORT int16_t QZ_xmlattstr(QZ_XmlWriter *w, const char *name, const char *value);
QZ_EXPORT int16_t QZ_xmlattint(QZ_XmlWriter *w, const char *name, int32_t value);
QZ_EXPORT int16_t QZ_xmlattdec(QZ_XmlWriter *w, const char *name, double value);

/* Content. A comment holding "--" and processing-instruction data holding
   "?>" are refused with 1 and no stored error. */
QZ_EXPORT int16_t QZ_xmltext(QZ_XmlWriter *w, const char *text);
QZ_EXPORT int16_t QZ_xmlcomment(QZ_XmlWriter *w, const char *text);
QZ_EXPORT int16_t QZ_xmlcdata(QZ_XmlWriter *w, const char *text);
QZ_EXPORT int16_t QZ_xmlentityreference(QZ_XmlWriter *w, const char *name);
QZ_EXPORT int16_t QZ_xmlprocessinginstruction(QZ_XmlWriter *w, const char *target, const char *data);
QZ_EXPORT int16_t QZ_xmlraw(QZ_XmlWriter *w, const char *text);

/* Settings and state. */
QZ_EXPORT int16_t QZ_xmlsetindentation(QZ_XmlWriter *w, int16_t count);
QZ_EXPORT int16_t QZ_xmlgetindentation(QZ_XmlWriter *w);
QZ_EXPORT int16_t QZ_xmlsetindentationchar(QZ_XmlWriter *w, const char *text);
QZ_EXPORT char *QZ_xmlgetindentationchar(QZ_XmlWriter *w, char *buffer, int16_t max);
QZ_EXPORT int16_t QZ_xmlsetencoding(QZ_XmlWriter *w, const char *name);
QZ_EXPORT char *QZ_xmlgetencoding(QZ_XmlWriter *w, char *buffer, int16_t max);
QZ_EXPORT int16_t QZ_xmlgeterrcode(QZ_XmlWriter *w);
QZ_EXPORT char *QZ_xmlgeterrdescription(QZ_XmlWriter *w, char *buffer, int16_t max);
QZ_EXPORT int16_t QZ_xmlsetallocerror(QZ_XmlWriter *w);

/* The default file handlers (handle: a FILE*; standard output for a null or
   blank name; close leaves standard output open). */
QZ_EXPORT int QZ_xmlFileOpen(void **handle, const char *name);
QZ_EXPORT int QZ_xmlFileWrite(void *handle, const char *bytes, uint32_t count);
QZ_EXPORT void QZ_xmlFileClose(void *handle);

/* The memory-buffer handlers (handle: a QZ_Buffer*): open succeeds and leaves
   the handle alone, write appends, close appends one zero byte. */
QZ_EXPORT int QZ_xmlMemBufOpen(void **handle, const char *name);
QZ_EXPORT int QZ_xmlMemBufWrite(void *handle, const char *bytes, uint32_t count);
QZ_EXPORT void QZ_xmlMemBufClose(void *handle);

QZ_END_DECLS

#endif
