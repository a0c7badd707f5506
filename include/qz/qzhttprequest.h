/* The CGI request: environment variables, the request body on standard
 * input, the form variables of a POST body, the comma-separated program
 * parameters of the query string, the received cookies and a rough
 * identification of the browser.
 *
 * The query string is never parsed into name=value pairs: it is a list of
 * positional program parameters taken one at a time. Form variables come
 * only from a POST body and live in a fixed table inside the record. */
#ifndef QZ_QZHTTPREQUEST_H
#define QZ_QZHTTPREQUEST_H

#include "qzdefs.h"
#include "qzcstr.h"
#include "qzlists.h"
#include "qzcookie.h"

QZ_BEGIN_DECLS

struct QZ_PgmContext;
struct QZ_XmlReader;

/* Browser kinds. */
#define QZBROWSER_OTHER 0
#define QZBROWSER_IE 1
#define QZBROWSER_MOZILLA 2
#define QZBROWSER_OPERA 3
#define QZBROWSER_UP 4

/* Form variable table limits. */
#define QZ_HTTP_VAR_MAX 8192     /* variables at most; one more slot is the search sentinel */
#define QZ_HTTP_VAR_NAME_MAX 255 /* characters of a name (compared on these) */
#define QZ_HTTP_VAR_INDEX_SIZE 16384 /* hash index slots (a power of two, twice QZ_HTTP_VAR_MAX) */

/* Longest result of QZ_UrlDecode (the output needs one byte more). */
#define QZ_URL_DECODE_MAX 2048

/* The administrator address stored in every request. */
#define QZ_HTTP_SERVER_ADMIN "webmaster@localhost"

typedef struct QZ_HTTP_VarTable {
    uint32_t count;                                              /* 0 to QZ_HTTP_VAR_MAX */
    char names[QZ_HTTP_VAR_MAX + 1][QZ_HTTP_VAR_NAME_MAX + 1];   /* case kept; last = sentinel */
    char *values[QZ_HTTP_VAR_MAX + 1]; /* owned copies, or QZ_EmptyString */
    uint32_t parsePosition;            /* character ParseVariables is looking at */
    /* Internal: open-addressing index by case-folded name, holding slot + 1
       (0 = free), so that finding a name does not scan the table. */
    uint16_t index[QZ_HTTP_VAR_INDEX_SIZE];
    /* Internal: 1 once the index has been cleared for the first variable.
       Initialising leaves the index as it is, so that a table that never gets
       a variable (every GET) costs nothing to set up. */
    uint16_t indexReady;
} QZ_HTTP_VarTable;

typedef struct QZ_HTTP_SrvReq {
    int32_t leadingWord;     /* QZ_HTTP_SrvReq_SetLeadingWord; not read by the runtime */
    int32_t readArgument;    /* second argument of QZ_HTTP_SrvReq_Read */
    QZ_CStr content;         /* the request body and a terminating zero */
    QZ_CStr serverSoftware;  /* SERVER_SOFTWARE */
    QZ_CStr serverName;      /* SERVER_NAME */
    QZ_CStr serverProtocol;  /* SERVER_PROTOCOL */
    QZ_CStr serverAdmin;     /* QZ_HTTP_SERVER_ADMIN */
    QZ_CStr gatewayInterface;/* GATEWAY_INTERFACE */
    QZ_CStr requestMethod;   /* REQUEST_METHOD */
    QZ_CStr pathInfo;        /* PATH_INFO */
    QZ_CStr pathTranslated;  /* always empty */
    QZ_CStr scriptName;      /* SCRIPT_NAME */
    QZ_CStr queryString;     /* QUERY_STRING, cut in place as parameters are taken */
    QZ_CStr remoteHost;      /* REMOTE_HOST */
    QZ_CStr remoteAddr;      /* REMOTE_ADDR */
    QZ_CStr subscriberNo;    /* HTTP_X_UP_SUBNO */
    QZ_CStr contentType;     /* CONTENT_TYPE */
    QZ_CStr referer;         /* HTTP_REFERER */
    QZ_CStr userAgent;       /* HTTP_USER_AGENT */
    QZ_CStr accept;          /* HTTP_ACCEPT */
    int16_t browserKind;     /* QZBROWSER_... */
    QZ_CStr browserVersion;  /* cut from the user agent; empty when none */
    int16_t deviceMarkup;    /* 1: the browser accepts WAP/HDML markup */
    int32_t serverPort;      /* SERVER_PORT; -1 when absent */
    int16_t secure;          /* 1 HTTPS, 0 not, -1 undetermined */
    int32_t contentLength;   /* CONTENT_LENGTH; 0 when absent or not a number */
    char *paramCursor;       /* start of the next program parameter */
    QZ_List cookies;         /* received cookies (QZ_HTTP_Cookie) */
    QZ_HTTP_VarTable variables; /* form variables of a POST body */
    int32_t lastFileError;   /* errno left by qz_HTTP_SrvReq_ToFile */
} QZ_HTTP_SrvReq;

/* A pointer to the request record of the program context. */
typedef QZ_HTTP_SrvReq *QZ_HTTP_SrvReq_Handle;

/* ---- Lifecycle (driver) ------------------------------------------------- */

QZ_EXPORT void QZ_HTTP_SrvReq_Init(QZ_HTTP_SrvReq *request);
/* Reads the environment, the cookies and the body (parsed when a POST). */
QZ_EXPORT void QZ_HTTP_SrvReq_Read(QZ_HTTP_SrvReq *request, int32_t argument);
QZ_EXPORT void QZ_HTTP_SrvReq_SetLeadingWord(QZ_HTTP_SrvReq *request, int32_t word);
/* The next comma-separated program parameter, URL-decoded: at most size
   characters and a zero (buffer holds size + 1 bytes); returns buffer. */
QZ_EXPORT char *QZ_HTTP_SrvReq_GetParameter(QZ_HTTP_SrvReq *request, char *buffer, size_t size);
QZ_EXPORT void QZ_HTTP_SrvReq_Free(QZ_HTTP_SrvReq *request);

/* ---- Steps of the read (exported for tests and embedding) -------------- */

/* The environment value, or the shared empty string when absent. */
QZ_EXPORT const char *qz_GetEnv(const char *name);
QZ_EXPORT void QZ_HTTP_SrvReq_ReadCGIEnvironment(QZ_HTTP_SrvReq *request);
QZ_EXPORT void QZ_HTTP_SrvReq_DetectBrowser(QZ_HTTP_SrvReq *request);
QZ_EXPORT void QZ_HTTP_SrvReq_DetectBrowserVersion(QZ_HTTP_SrvReq *request);
QZ_EXPORT void QZ_HTTP_SrvReq_DetectDeviceMarkup(QZ_HTTP_SrvReq *request);
/* Parses a form body of length bytes into the table (POST only). */
QZ_EXPORT void ParseVariables(QZ_HTTP_VarTable *table, const char *text, const char *method,
                              int32_t length);
/* Decodes the form character at table->parsePosition of text (which is ch),
   advancing the position over an escape. */
QZ_EXPORT char QZ_HTTP_DecodeFormChar(QZ_HTTP_VarTable *table, const char *text, char ch);
/* Slot of the name (first 255 characters, case ignored); count when absent
   (the name then stands in the sentinel slot with the empty value). */
QZ_EXPORT uint32_t QZ_HTTP_VarTable_Find(QZ_HTTP_VarTable *table, const char *name);
QZ_EXPORT void QZ_HTTP_VarTable_Add(QZ_HTTP_VarTable *table, const char *name, const char *value);
/* Clears the table (values are not freed: see QZ_HTTP_SrvReq_Free). */
QZ_EXPORT void QZ_HTTP_VarTable_Init(QZ_HTTP_VarTable *table);

/* ---- Form variables and fields ----------------------------------------- */

QZ_EXPORT const char *QZ_HTTP_SrvReq_GetVariable(QZ_HTTP_SrvReq *request, const char *name);
QZ_EXPORT void QZ_HTTP_SrvReq_UpdateVariable(QZ_HTTP_SrvReq *request, const char *name,
                                             const char *value);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_ServerName(const QZ_HTTP_SrvReq *request);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_Referer(const QZ_HTTP_SrvReq *request);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_UserAgent(const QZ_HTTP_SrvReq *request);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_Method(const QZ_HTTP_SrvReq *request);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_SubscriberNo(const QZ_HTTP_SrvReq *request);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_BrowserVersion(const QZ_HTTP_SrvReq *request);
/* The server port as a 16-bit number (the low 16 bits, two's complement). */
QZ_EXPORT int16_t QZ_HTTP_SrvReq_Get_Port(const QZ_HTTP_SrvReq *request);
QZ_EXPORT int16_t QZ_HTTP_SrvReq_Get_Secure(const QZ_HTTP_SrvReq *request);
QZ_EXPORT int16_t QZ_HTTP_SrvReq_Get_BrowserKind(const QZ_HTTP_SrvReq *request);
QZ_EXPORT int16_t QZ_HTTP_SrvReq_Get_DeviceMarkup(const QZ_HTTP_SrvReq *request);
/* SCRIPT_NAME up to and including its last "/" (empty without one); at most
   size characters and a zero. */
QZ_EXPORT char *QZ_HTTP_SrvReq_Get_ScriptDir(const QZ_HTTP_SrvReq *request, char *buffer,
                                             size_t size);

/* ---- Request API for generated code ------------------------------------ */

QZ_EXPORT void QZ_HTTP_SrvReq_Attach(QZ_HTTP_SrvReq_Handle *handle, struct QZ_PgmContext *context);
QZ_EXPORT void QZ_HTTP_SrvReq_Detach(QZ_HTTP_SrvReq_Handle *handle);
QZ_EXPORT const char *QZ_HTTP_SrvReq_Get_Variable(QZ_HTTP_SrvReq_Handle handle, const char *name);
/* A CGI environment variable (such as "HTTP_ACCEPT"), or the empty string. */
QZ_EXPORT const char *qz_HTTP_SrvReq_Get_Header(QZ_HTTP_SrvReq_Handle handle, const char *name);
/* The body text, or the empty string. */
QZ_EXPORT const char *qz_HTTP_SrvReq_ToString(QZ_HTTP_SrvReq_Handle handle);
/* Writes the body text to the file; returns (and stores) errno, 0 on success. */
QZ_EXPORT int32_t qz_HTTP_SrvReq_ToFile(QZ_HTTP_SrvReq_Handle handle, const char *fileName);
/* Copies up to bytesToRead bytes of the body text from offset (no zero is
   added); 1 when data was delivered, 0 at the end or without a body. */
QZ_EXPORT int16_t qz_HTTP_SrvReq_ReadContent(QZ_HTTP_SrvReq *request, char *buffer,
                                             uint32_t bytesToRead, uint32_t offset,
                                             uint32_t *bytesRead);
/* The URL-decoded query string (up to the first comma taken); size + 1 bytes. */
QZ_EXPORT char *QZ_HTTP_SrvReq_Get_QueryString(QZ_HTTP_SrvReq_Handle handle, char *buffer,
                                               size_t size);
/* Replaces the query string and restarts the parameters at its start. */
QZ_EXPORT void QZ_HTTP_SrvReq_Set_QueryString(QZ_HTTP_SrvReq_Handle handle, const char *text);
/* At most size characters of the encoding and a zero; return buffer. */
QZ_EXPORT char *QZ_HTTP_SrvReq_UrlEncodePath(char *buffer, const char *text, size_t size);
QZ_EXPORT char *QZ_HTTP_SrvReq_UrlEncodeForm(char *buffer, const char *text, size_t size);

/* Opens the XML reader on the request body; the reader's open result. */
QZ_EXPORT int16_t QZ_XMLReader_OpenRequest(struct QZ_XmlReader *reader, QZ_HTTP_SrvReq_Handle handle);
/* The reader's input callback over the body (state from QZ_XMLReader_OpenRequest). */
QZ_EXPORT int16_t qz_HTTP_Req_XMLRdrInput(void *state, char *buffer, uint32_t bytesToRead,
                                          uint32_t *bytesRead);

/* ---- URL decoding ------------------------------------------------------- */

/* "%" and one or two hexadecimal digits give that byte (the two characters
   after the "%" are consumed), "+" a blank, anything else is copied. At most
   QZ_URL_DECODE_MAX characters and a zero; returns output. */
QZ_EXPORT char *QZ_UrlDecode(char *output, const char *input);

/* ---- Value formatting for generated code -------------------------------- */
/* The first three share one static buffer: each call overwrites the last. */
QZ_EXPORT const char *QZ_FormatInt(int value);
QZ_EXPORT const char *QZ_FormatLong(int32_t value);
QZ_EXPORT const char *QZ_FormatDouble(double value, int16_t length, int16_t decimals);
/* "#%06X" of the colour (as unsigned) into buffer, which needs 10 bytes; returns buffer. */
QZ_EXPORT char *QZ_FormatColor(char *buffer, int32_t colour);
QZ_EXPORT int32_t QZ_RGB(int32_t red, int32_t green, int32_t blue);

QZ_END_DECLS

#endif
