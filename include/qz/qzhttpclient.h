/* The HTTP/1.0 client.

   A program declares a QZ_HTTP_Client, initialises it, sets the host and the
   options, adds request headers, form variables, raw text or a file to the
   request body, executes a request with a method and a path, and then reads
   the status, the reason phrase, response headers and the body (as text or
   into a file).  The outcome of an exchange is a small error code with a
   fixed description text.

   Two transports carry an exchange:
   - the plain path writes an HTTP/1.0 request itself on a TCP socket
     (qzsocket.h), reads the head and the body, follows up to five redirects
     and answers one authentication challenge (qzhttpauth.h);
   - the secure path (secure flag non-zero) hands the exchange to libcurl over
     TLS.  libcurl is loaded on first use, never linked, so that programs that
     do not use it do not pay for loading it.

   Configuration ("qzcfg.ini"):
   - section "Proxy", keys "ProxyEnable" (non-zero enables) and "ProxyServer"
     (host[:port], split at the last ":"; port 80 when absent) give the proxy
     that QZ_HTTP_Client_Init takes as its default.  Environment variables are
     never read for the proxy.
   - section "Http", key "CAFile": a CA bundle file the secure path verifies
     server certificates against instead of the system's store.

   Buffers filled by the getters hold n + 1 bytes: at most n characters and a
   terminating zero are written. */
#ifndef QZ_QZHTTPCLIENT_H
#define QZ_QZHTTPCLIENT_H

#include "qzdefs.h"
#include "qzcstr.h"
#include "qzlists.h"
#include "qzxml.h"

QZ_BEGIN_DECLS

/* Error codes (QZ_HTTP_ClientErrCode); QZ_HTTP_ClientDescription gives the
   texts "No error", "Connection error", "Error sending data", "Error
   receiving data", "Authentication error", "Can not access file", and
   "Unknown" for every other value. */
#define QZHTTP_ERR_OK 0
#define QZHTTP_ERR_CONNECTION 1
#define QZHTTP_ERR_SEND 2
#define QZHTTP_ERR_RECEIVE 3
#define QZHTTP_ERR_AUTHENTICATION 4
#define QZHTTP_ERR_FILE 5

/* Authentication scheme codes (QZ_HTTP_ClientAddAuthentication). */
#define QZHTTP_AUTH_BASIC 0
#define QZHTTP_AUTH_DIGEST 1

/* Limits of one exchange: host, path and Location texts; the collected
   WWW-Authenticate challenges; the credentials text (plain and secure). */
#define QZHTTP_URL_MAX 2084
#define QZHTTP_CHALLENGES_MAX 2047
#define QZHTTP_CREDENTIALS_MAX 2047
#define QZHTTP_SECURE_CREDENTIALS_MAX 2032
/* Receive blocks: plain path, secure path. */
#define QZHTTP_PLAIN_BLOCK 1024
#define QZHTTP_SECURE_BLOCK 2048
/* Block size of QZ_HTTP_ClientAddFile. */
#define QZHTTP_FILE_BLOCK 5120

/* The exchange record: one per client, reused by every execution.  Its first
   field is the socket, so it is also a connection record of the TCP layer. */
typedef struct QZ_HTTP_Request {
    int32_t socket;       /* connected socket of the plain path; -1 after a close */
    int16_t connected;    /* 1 while the socket is connected, otherwise 0 */
    QZ_CStr protocol;     /* "http"; set at allocation */
    QZ_CStr content;      /* the request body collected by the Add operations */
    QZ_CStr requestText;  /* the request bytes built by the plain path */
    QZ_CStr headers;      /* extra request header lines, each ending in CR LF */
    QZ_CStr responseHead; /* status line and header lines of the last response */
    QZ_CStr responseBody; /* body of the last response, as text */
} QZ_HTTP_Request;

/* The client record: the caller provides the memory. */
typedef struct QZ_HTTP_Client {
    QZ_CStr host;              /* host name or address of the server */
    QZ_CStr baseURL;           /* path prefix put before every executed path */
    QZ_CStr proxyHost;         /* proxy to send requests through; empty: none */
    QZ_List credentials;       /* QZ_HTTP_AuthEntry list (qzhttpauth.h) */
    uint16_t proxyPort;        /* proxy port */
    uint16_t port;             /* server port; below 1: the transport's default */
    int32_t errorCode;         /* outcome of the last Execute, AddFile or ToFile */
    uint32_t timeout;          /* receive time-out in seconds; 0 waits without limit */
    int16_t secure;            /* non-zero selects the secure (TLS) path */
    QZ_HTTP_Request *request;  /* the exchange record, owned by the client */
} QZ_HTTP_Client;

/* ---- Client lifecycle and settings ---- */

QZ_EXPORT void QZ_HTTP_Client_Init(QZ_HTTP_Client *client);
QZ_EXPORT void QZ_HTTP_Client_Deinit(QZ_HTTP_Client *client);

QZ_EXPORT void QZ_HTTP_ClientSetHost(QZ_HTTP_Client *client, const char *host);
QZ_EXPORT char *QZ_HTTP_ClientGetHost(QZ_HTTP_Client *client, char *buffer, int32_t n);
QZ_EXPORT void QZ_HTTP_ClientSetPort(QZ_HTTP_Client *client, uint16_t port);
QZ_EXPORT uint16_t QZ_HTTP_ClientGetPort(QZ_HTTP_Client *client);
QZ_EXPORT void QZ_HTTP_ClientSetSecure(QZ_HTTP_Client *client, int16_t secure);
QZ_EXPORT int16_t QZ_HTTP_ClientGetSecure(QZ_HTTP_Client *client);
QZ_EXPORT void QZ_HTTP_ClientSetTimeout(QZ_HTTP_Client *client, uint32_t seconds);
QZ_EXPORT int32_t QZ_HTTP_ClientGetTimeout(QZ_HTTP_Client *client);
QZ_EXPORT void QZ_HTTP_ClientSetBaseURL(QZ_HTTP_Client *client, const char *baseURL);
QZ_EXPORT char *QZ_HTTP_ClientGetBaseURL(QZ_HTTP_Client *client, char *buffer, int32_t n);
QZ_EXPORT void QZ_HTTP_ClientSetProxyHost(QZ_HTTP_Client *client, const char *host);
QZ_EXPORT char *QZ_HTTP_ClientGetProxyHost(QZ_HTTP_Client *client, char *buffer, int32_t n);
QZ_EXPORT void QZ_HTTP_ClientSetProxyPort(QZ_HTTP_Client *client, uint16_t port);
QZ_EXPORT uint16_t QZ_HTTP_ClientGetProxyPort(QZ_HTTP_Client *client);
/* There is no SOCKS support: the setters are accepted and ignored, the host
   is always the empty text and the port 0. */
QZ_EXPORT void QZ_HTTP_ClientSetSocksHost(QZ_HTTP_Client *client, const char *host);
QZ_EXPORT const char *QZ_HTTP_ClientGetSocksHost(QZ_HTTP_Client *client);
QZ_EXPORT void QZ_HTTP_ClientSetSocksPort(QZ_HTTP_Client *client, uint16_t port);
QZ_EXPORT int32_t QZ_HTTP_ClientGetSocksPort(QZ_HTTP_Client *client);

/* ---- Credentials ---- */

/* 0 and 1: the scheme codes of Basic and Digest. */
QZ_EXPORT int16_t QZ_HTTP_ClientAuthenticationBasic(QZ_HTTP_Client *client);
QZ_EXPORT int16_t QZ_HTTP_ClientAuthenticationDigest(QZ_HTTP_Client *client);
/* A scheme other than 0 or 1 is ignored. */
QZ_EXPORT void QZ_HTTP_ClientAddAuthentication(QZ_HTTP_Client *client, int16_t scheme,
                                               const char *realm, const char *user,
                                               const char *password);

/* ---- Building a request ---- */

/* Appends name ": " value CR LF; a name added twice is sent twice. */
QZ_EXPORT void QZ_HTTP_ClientAddHeader(QZ_HTTP_Client *client, const char *name, const char *value);
/* Appends name "=" form-encoded value "&" to the content (the name is not
   encoded; the last variable keeps its "&"). */
QZ_EXPORT void QZ_HTTP_ClientAddVariable(QZ_HTTP_Client *client, const char *name, const char *value);
QZ_EXPORT void QZ_HTTP_ClientAddString(QZ_HTTP_Client *client, const char *text);
/* Appends the file's text; error code 0, or QZHTTP_ERR_FILE when it cannot
   be opened. */
QZ_EXPORT void QZ_HTTP_ClientAddFile(QZ_HTTP_Client *client, const char *fileName);

/* ---- The exchange and its result ---- */

/* Performs the exchange and sets the error code; empties the content and the
   headers whatever the outcome. */
QZ_EXPORT void QZ_HTTP_ClientExecute(QZ_HTTP_Client *client, const char *method, const char *path);
/* The number after the first blank of the response head; 0 without one. */
QZ_EXPORT int32_t QZ_HTTP_ClientGetStatusCode(QZ_HTTP_Client *client);
QZ_EXPORT char *QZ_HTTP_ClientGetReasonLine(QZ_HTTP_Client *client, char *buffer, uint32_t n);
/* The value of the named response header (case-insensitive name); empty when
   absent. */
QZ_EXPORT char *QZ_HTTP_ClientGetHeader(QZ_HTTP_Client *client, char *buffer, uint32_t n,
                                        const char *name);
/* The response body text; it belongs to the client and changes with the next
   execution. */
QZ_EXPORT const char *QZ_HTTP_ClientToString(QZ_HTTP_Client *client);
/* Writes the body to the file (mode "w"), every byte of it (text and binary
   files are the same here); the error code becomes errno. */
QZ_EXPORT void QZ_HTTP_ClientToFile(QZ_HTTP_Client *client, const char *fileName);
QZ_EXPORT int32_t QZ_HTTP_ClientErrCode(QZ_HTTP_Client *client);
QZ_EXPORT char *QZ_HTTP_ClientDescription(QZ_HTTP_Client *client, char *buffer, int32_t n);

/* ---- The exchange record ---- */

/* A record from the pool with its strings initialised, or NULL. */
QZ_EXPORT QZ_HTTP_Request *QZ_HTTP_Request_Init(void);
/* Frees the six strings (not the record, which the caller frees with
   QZ_free). */
QZ_EXPORT void QZ_HTTP_Request_Free(QZ_HTTP_Request *request);
QZ_EXPORT QZ_Flag QZ_HTTP_Request_Set_Protocol(QZ_HTTP_Request *request, const char *protocol);
/* The response body text. */
QZ_EXPORT const char *qz_HTTP_Request_Get_Content(QZ_HTTP_Request *request);
QZ_EXPORT int16_t qz_HTTP_Request_Get_Status_Code(QZ_HTTP_Request *request);
/* The reason phrase: its start inside the head and *length its characters
   (up to the CR that ends the status line); the empty text and 0 when there
   is none.  length may be NULL. */
QZ_EXPORT const char *qz_HTTP_Request_Get_Status_Line(QZ_HTTP_Request *request, uint32_t *length);
/* The first value of the named header: its start inside the head and *length
   its characters (not zero-terminated there).  NULL when absent (then
   *length is left alone, except for an empty head, which sets it to 0). */
QZ_EXPORT const char *qz_HTTP_Request_Get_Header_Field(QZ_HTTP_Request *request, const char *name,
                                                       uint32_t *length);
/* All values of the named header joined by ",", at most maximum characters
   and a zero (output holds maximum + 1 bytes).  An empty head leaves the
   output untouched. */
QZ_EXPORT void qz_HTTP_Request_Get_Header_Values(QZ_HTTP_Request *request, const char *name,
                                                 char *output, uint32_t maximum);
/* Appends name "=" form-encoded value "&" to the request's content. */
QZ_EXPORT void QZ_HTTP_Set_Param(QZ_HTTP_Request *request, const char *name, const char *value);

/* ---- Transport ---- */

/* The plain path: 0 (QZHTTP_ERR_OK) with the head read and the connection
   open, or an error code.  port and proxyPort below 1 mean 80.  A redirect to
   https goes on over the secure path; one to any other scheme ends with
   QZHTTP_ERR_RECEIVE.  Credentials answer only challenges of the host and
   port the exchange began with. */
QZ_EXPORT int32_t QZ_HTTP_Request_Init_Request(QZ_HTTP_Request *request, const char *method,
                                               const char *host, int32_t port, const char *path,
                                               const char *proxyHost, int32_t proxyPort,
                                               QZ_List *credentials, uint32_t timeoutSeconds);
/* The secure path (libcurl); the same arguments.  port below 1 means 443. */
QZ_EXPORT int32_t QZ_HTTP_Request_Win_Request(QZ_HTTP_Request *request, const char *method,
                                              const char *host, int32_t port, const char *path,
                                              const char *proxyHost, int32_t proxyPort,
                                              QZ_List *credentials, uint32_t timeoutSeconds);
/* Reads the response head; the flag of the last receive. */
QZ_EXPORT QZ_Flag QZ_HTTP_Request_Read_Header(QZ_HTTP_Request *request, uint32_t timeoutSeconds);
/* Reads the rest of the body and closes; 1 when the body is not empty. */
QZ_EXPORT QZ_Flag QZ_HTTP_Read_Result(QZ_HTTP_Request *request, uint32_t timeoutSeconds);
/* Disconnects when connected. */
QZ_EXPORT void QZ_HTTP_Request_Close(QZ_HTTP_Request *request);

/* Fetches url (host, path with query and port by the URL functions of
   qzurl.h) with a time-out of 60 seconds: an https URL over the secure path
   (certificates verified, port 443 when absent), any other on the plain path
   (port 80 when absent).  Returns like QZ_HTTP_Request_Init_Request, with the
   head read and the exchange open; the body follows with
   QZ_HTTP_Request_Read_Buf, and QZ_HTTP_Request_Close ends the exchange. */
QZ_EXPORT int16_t QZ_HTTP_Request_Open_Url(QZ_HTTP_Request *request, const char *method,
                                           const char *url, const char *proxyHost,
                                           int32_t proxyPort, QZ_List *credentials);
/* Fills buffer (size + 1 bytes, zero-terminated) with the next body bytes:
   first those that came with the head, then bytes received until the buffer
   is full or the peer closes.  *count gets every byte placed in the buffer.
   The flag of the last step (0 once the receives end with a failure). */
QZ_EXPORT QZ_Flag QZ_HTTP_Request_Read_Buf(QZ_HTTP_Request *request, char *buffer, int32_t size,
                                           uint32_t *count);

/* Streaming form variables straight to a connected record's socket. */
QZ_EXPORT QZ_Flag QZ_HTTP_Init_ArrParam(QZ_HTTP_Request *request, const char *name);
QZ_EXPORT QZ_Flag QZ_HTTP_Set_ArrParam(QZ_HTTP_Request *request, const char *value);

/* The configured proxy (section "Proxy" of qzcfg.ini): host and port, or the
   empty text and 0 when it is not enabled. */
QZ_EXPORT void QZ_HTTP_GetSystemProxy(QZ_CStr *proxyHost, int32_t *proxyPort);

/* ---- XML request bodies ---- */

/* Makes the writer's output go into the client's content; the result of
   QZ_xmlstartEx. */
QZ_EXPORT int16_t QZ_xmlOpenToHttpClient(QZ_XmlWriter *writer, QZ_HTTP_Client *client);

/* ---- XML answers ---- */

/* The input state of a reader opened on a client's last response
   (QZ_XMLReader_OpenHttpClient): the offset reached in the body and the
   exchange record. */
typedef struct QZ_HTTP_ClientXmlInput {
    uint32_t offset;
    QZ_HTTP_Request *request;
} QZ_HTTP_ClientXmlInput;

/* The reader's input callback (handle: a QZ_HTTP_ClientXmlInput): serves the
   response body in slices of at most wanted bytes (not zero-terminated).  1
   with *delivered bytes; 0 with *delivered = 0 at the end of the body.  The
   body is served by its byte count, so documents holding zero bytes (UTF-16)
   arrive whole. */
QZ_EXPORT QZ_Flag qz_HTTP_Client_XMLRdrInput(void *handle, char *buffer, uint32_t wanted,
                                             uint32_t *delivered);
/* Opens the reader on the response body of the client's last exchange, with
   the client's credentials and proxy.  The answer comes from outside the
   program, so the reader starts with external entities off.  1 when the
   document is open, 0 otherwise. */
struct QZ_XmlReader;
QZ_EXPORT int16_t QZ_XMLReader_OpenHttpClient(struct QZ_XmlReader *reader, QZ_HTTP_Client *client);

QZ_END_DECLS

#endif
