/* The CGI response on standard output: a "Status:" line, the header lines
 * (those the page added, "Content-type:", "Set-Cookie:" lines and, for cached
 * output, "Content-Length:"), the blank line and the body.
 *
 * Headers accumulate in one header text that goes out in one piece when the
 * output opens (direct mode 0) or when the response ends (cached mode 1). The
 * body may instead go to a file (no headers at all) or into a caller's string
 * (mode 2: nothing is sent). Line ends go out exactly as written.
 *
 * Results of the operations that return one: 0 success, 1 not done (unknown
 * extension, file not found), 2 refused (output already started, no memory). */
#ifndef QZ_QZHTTP_H
#define QZ_QZHTTP_H

#include <stdio.h>
#include "qzdefs.h"
#include "qzcstr.h"
#include "qzlists.h"
#include "qzcookie.h"
#include "qzhttprequest.h"

QZ_BEGIN_DECLS

struct QZ_PgmContext;
struct QZ_XmlWriter;

/* Output modes. */
#define QZ_HTTP_MODE_DIRECT 0
#define QZ_HTTP_MODE_CACHED 1
#define QZ_HTTP_MODE_STRING 2

/* Results. */
#define QZ_HTTP_RESP_OK 0
#define QZ_HTTP_RESP_NOT_DONE 1
#define QZ_HTTP_RESP_REFUSED 2

/* Block sizes of the file responses. */
#define QZ_HTTP_RESPOND_FILE_BLOCK 1024
#define QZ_HTTP_ADD_FILE_BLOCK 5120

typedef struct QZ_HTTP_Response {
    char *contentType;            /* pool copy (tag qzhttp); NULL only after a failed copy */
    int16_t contentTypeImplicit;  /* 1 while a default that implicit setters may replace */
    QZ_CStr outputFileName;       /* set: the body goes to this file, no headers */
    QZ_CStr status;               /* after "Status: "; empty: no Status line */
    QZ_CStr headers;              /* pending header lines, each with its line end */
    QZ_CStr *buffer;              /* body buffer of modes 1 and 2 */
    int16_t outputStarted;        /* 1 once the output was opened */
    int16_t outputMode;           /* QZ_HTTP_MODE_... */
    QZ_List cookies;              /* cookies to send (QZ_HTTP_Cookie) */
    FILE *stream;                 /* standard output or the output file; NULL until opened */
    int32_t lastError;            /* of the handle operations: 0, or 2 (file not found) */
    /* Internal: 1 when the stream is the output file this response opened
       (only that stream is closed by QZ_HTTP_Response_End). */
    int16_t ownsStream;
} QZ_HTTP_Response;

/* A pointer to the response record of the program context. */
typedef QZ_HTTP_Response *QZ_HTTP_ResponseHandle;

/* ---- Lifecycle ------------------------------------------------------------ */

QZ_EXPORT void QZ_HTTP_Response_Init(QZ_HTTP_Response *response, const char *contentType);
/* Sets the output stream (NULL: standard output when the output opens). */
QZ_EXPORT void QZ_HTTP_Response_SetCtrlBlock(QZ_HTTP_Response *response, FILE *stream);
/* Sends cached output with its Content-Length, closes an output file and
   releases the record's storage. */
QZ_EXPORT void QZ_HTTP_Response_End(QZ_HTTP_Response *response);
/* Copies every setting of source into target (an initialised response). */
QZ_EXPORT void QZ_HTTP_Response_Copy(QZ_HTTP_Response *target, QZ_HTTP_Response *source);

/* ---- Settings ------------------------------------------------------------- */

QZ_EXPORT int16_t QZ_HTTP_Response_SetContentTypeText(QZ_HTTP_Response *response,
                                                      const char *text, int16_t implicit);
QZ_EXPORT void QZ_HTTP_Response_SetDefaultContentType(QZ_HTTP_Response *response, const char *text);
/* A MIME type (contains "/") or a file extension looked up in the table. */
QZ_EXPORT int16_t QZ_HTTP_Response_SetContentType(QZ_HTTP_Response *response, const char *text);
QZ_EXPORT int16_t QZ_HTTP_Response_SetOutputFile(QZ_HTTP_Response *response, const char *fileName);
QZ_EXPORT void QZ_HTTP_Response_SetCacheMode(QZ_HTTP_Response *response, int16_t mode);
/* Mode 2 into the caller's string (the caller owns it). */
QZ_EXPORT void QZ_HTTP_Response_SetOutputBuffer(QZ_HTTP_Response *response, QZ_CStr *string);
QZ_EXPORT const char *QZ_HTTP_Response_GetCachedText(const QZ_HTTP_Response *response);
/* Status "%03hd " (codes 0 to 999). */
QZ_EXPORT void QZ_HTTP_Response_SetStatusCode(QZ_HTTP_Response *response, int16_t code);
/* name ": " value "\n"; carriage returns and line feeds inside name or value
   are dropped (and traced) so that a header can never split the response. 0. */
QZ_EXPORT int16_t QZ_HTTP_Response_AddHeader(QZ_HTTP_Response *response, const char *name,
                                             const char *value);
/* Appends the text (whole lines with their line ends) as given. */
QZ_EXPORT void QZ_HTTP_Response_AddHeaderText(QZ_HTTP_Response *response, const char *text);

/* MIME type of an extension (first 5 characters, case ignored), or NULL. */
QZ_EXPORT const char *QZ_HTTP_LookupContentType(const char *extension);
/* As QZ_HTTP_LookupContentType, "text/html" for unknown extensions. */
QZ_EXPORT const char *QZ_HTTP_ContentTypeForExtension(const char *extension);

/* ---- Output --------------------------------------------------------------- */

QZ_EXPORT void QZ_HTTP_Response_Open(QZ_HTTP_Response *response);
QZ_EXPORT void QZ_HTTP_Response_OpenStream(QZ_HTTP_Response *response);
QZ_EXPORT void QZ_HTTP_Response_SendHeaders(QZ_HTTP_Response *response);
QZ_EXPORT void QZ_HTTP_Response_Write(QZ_HTTP_Response *response, const char *text);
QZ_EXPORT void QZ_HTTP_Response_WriteLine(QZ_HTTP_Response *response, const char *text);
QZ_EXPORT void QZ_HTTP_Response_WriteBytes(QZ_HTTP_Response *response, const void *bytes,
                                           int32_t length);
/* Writes the text with '"', '&', '<', '>' and the accented bytes 0xD1, 0xE1,
   0xE9, 0xED, 0xF1, 0xF3, 0xFA written as HTML entities. */
QZ_EXPORT void QZ_HTTP_Response_WriteHtml(QZ_HTTP_Response *response, const char *text);
/* As WriteHtml, with every carriage return (and a line feed right after it)
   written as "<br>"; a line feed alone is written unchanged. */
QZ_EXPORT void QZ_HTTP_Response_WriteHtmlLines(QZ_HTTP_Response *response, const char *text);
/* The raw send: to the buffer in modes 1 and 2, to the stream in mode 0 (when
   there is one); length -1 means a zero-terminated text. */
QZ_EXPORT void QZ_HTTP_Response_Send(QZ_HTTP_Response *response, const void *bytes, int32_t length);
/* Sends the file as the body, its content type from its extension; 0, or 1
   when it cannot be opened (the headers have been sent then). */
QZ_EXPORT int16_t HTTP_Response_RespondFile(QZ_HTTP_Response *response, const char *fileName);
/* "Location: " URL "\n\n", or, with cookies pending, a page whose script
   replaces the location. Carriage returns and line feeds in the URL are
   dropped (and traced). request may be NULL. */
QZ_EXPORT void QZ_HTTP_Response_Redirect(QZ_HTTP_SrvReq *request, QZ_HTTP_Response *response,
                                         const char *url);

/* ---- Handle operations for generated code --------------------------------- */

QZ_EXPORT void QZ_HTTP_ResponseAttach(QZ_HTTP_ResponseHandle *handle, struct QZ_PgmContext *context);
QZ_EXPORT void QZ_HTTP_ResponseDetach(QZ_HTTP_ResponseHandle *handle);
QZ_EXPORT void QZ_HTTP_ResponseAddString(QZ_HTTP_ResponseHandle handle, const char *text);
/* name ": " value CR LF (carriage returns and line feeds inside dropped). */
QZ_EXPORT void QZ_HTTP_ResponseAddHeader(QZ_HTTP_ResponseHandle handle, const char *name,
                                         const char *value);
/* Sends the file's bytes with QZ_HTTP_Response_Send (the output is not opened
   by this); last error 0, or 2 when the file cannot be opened. */
QZ_EXPORT void QZ_HTTP_ResponseAddFile(QZ_HTTP_ResponseHandle handle, const char *fileName);
QZ_EXPORT int32_t QZ_HTTP_ResponseGetLastError(QZ_HTTP_ResponseHandle handle);
QZ_EXPORT const char *QZ_HTTP_ResponseGetLastErrorText(QZ_HTTP_ResponseHandle handle);
/* Implicit content type "text/xml", opens the response and starts the writer
   on standard output; 0. */
QZ_EXPORT int16_t QZ_HTTP_ResponseStartXML(struct QZ_XmlWriter *writer, QZ_HTTP_ResponseHandle handle);

/* ---- URL building for generated pages ------------------------------------- */

/* For each type code, the separator (prefix first, then ",") and the next
   argument: "1" int, "2" long (pass a C long: a 32-bit value must be cast),
   "3" double (5 decimals), "4" text (form
   encoded), "5" QZ_DateTime (YYYYMMDDHHMMSS), "6" int32_t date (YYYYMMDD or
   empty), "7" int32_t then a text (the text form encoded); other codes add
   the separator only. At most size characters and a zero; returns buffer. */
QZ_EXPORT char *QZ_HTTP_FormatParameterList(char *buffer, size_t size, const char *prefix,
                                            const char *types, ...);
/* The path-encoded program name, then "?" and the parameters unless the name
   does not end in ".exe" and the parameters are empty; returns the text. */
QZ_EXPORT char *QZ_HTTP_BuildProgramURL(QZ_CStr *string, const char *program,
                                        const char *parameters);

QZ_END_DECLS

#endif
