/* A thin blocking TCP layer (IPv4).  Every step is traced; at trace level 3
 * every byte sent or received is traced line by line, so that the trace file
 * is a transcript of the conversation.  It also carries the error table of a
 * mail client, whose codes the big receive reports. */
#ifndef QZ_QZSOCKET_H
#define QZ_QZSOCKET_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* The connection functions take a record whose FIRST field is the socket, a
   signed 32-bit descriptor (-1 when not connected); QZ_TCPConnection is the
   smallest such record, and the HTTP client's request record is another. */
typedef struct QZ_TCPConnection {
    int32_t socket;
} QZ_TCPConnection;

/* Growing receive buffer of QZ_receiveTCPBig: data is a block of the default
   memory pool (or NULL with size 0) of at least size bytes. */
typedef struct QZ_TCPBigBuffer {
    char *data;
    uint32_t size;
} QZ_TCPBigBuffer;

/* Mail error record: the code and the formatted message. */
#define QZ_MAIL_ERROR_TEXT_MAX 511
typedef struct QZ_MailErrorRecord {
    int16_t code;
    char text[QZ_MAIL_ERROR_TEXT_MAX + 1];
} QZ_MailErrorRecord;

/* Mail error codes (QZ_MailError). */
#define QZ_MAIL_INVALID_REQUEST (-1)
#define QZ_MAIL_OK 0
#define QZ_MAIL_ALREADY_LOGGED_IN 1
#define QZ_MAIL_NOT_LOGGED_IN 2
#define QZ_MAIL_LOGIN_FAILED 3
#define QZ_MAIL_INVALID_SENDER_NAME 6
#define QZ_MAIL_INVALID_SENDER_ADDRESS 7
#define QZ_MAIL_INVALID_USER_NAME 8
#define QZ_MAIL_INVALID_PASSWORD 9
#define QZ_MAIL_SEND_FAILED 10
#define QZ_MAIL_NO_MESSAGES 11
#define QZ_MAIL_DELETE_FAILED 12
#define QZ_MAIL_NO_MAIN_RECIPIENT 13
#define QZ_MAIL_INVALID_RECIPIENT 14
#define QZ_MAIL_INVALID_ATTACHMENT 15
#define QZ_MAIL_SAVE_ATTACHMENT_FAILED 16
#define QZ_MAIL_INVALID_AUTHENTICATION 17
#define QZ_MAIL_NOT_ENOUGH_MEMORY 18
#define QZ_MAIL_CONNECTION_LOST 19
#define QZ_MAIL_TIMEOUT 20
#define QZ_MAIL_ALLOCATION_ERROR 21
#define QZ_MAIL_NO_AUTH_METHOD 23
#define QZ_MAIL_AUTH_ERROR 24
#define QZ_MAIL_LOGIN_REFUSED 25
#define QZ_MAIL_NO_CURRENT_MESSAGE 26
#define QZ_MAIL_INVALID_NEW_MESSAGES 27
#define QZ_MAIL_INVALID_MODE 100

/* Starting the socket library: nothing to do on this platform; always 1. */
QZ_EXPORT QZ_Flag QZ_startTCP(void);

/* Connect the record to host (a name or dotted address) and port (host
   order).  Blocks until the connection stands or fails.  On failure the
   record's socket is -1 and nothing stays open. */
QZ_EXPORT QZ_Flag QZ_connectTCP(void *connection, const char *host, uint16_t port);
/* The same, giving up after timeoutSeconds (0 waits without limit); a
   connection that takes longer fails with the error number ETIMEDOUT. */
QZ_EXPORT QZ_Flag QZ_connectTCPTimeout(void *connection, const char *host, uint16_t port,
                                       uint32_t timeoutSeconds);
/* The port of a TCP service name ("http", "smtp", ...). */
QZ_EXPORT QZ_Flag QZ_connectTCPService(void *connection, const char *host, const char *service);
/* Connect with the port in network order (what QZ_connectTCP calls). */
QZ_EXPORT QZ_Flag QZ_openTCP(void *connection, const char *host, uint16_t portNetworkOrder);
QZ_EXPORT QZ_Flag QZ_openTCPTimeout(void *connection, const char *host, uint16_t portNetworkOrder,
                                    uint32_t timeoutSeconds);
/* Closes the socket and sets it to -1. */
QZ_EXPORT void QZ_disconnectTCP(void *connection);

/* Sends the text up to its terminating zero (all of it). */
QZ_EXPORT QZ_Flag QZ_sendTCP(int32_t socket, const char *text);
/* 1 when the socket became readable (or reported an error) within
   timeoutSeconds; 0 waits without limit. 0 when the time passed. */
QZ_EXPORT QZ_Flag QZ_waitTCP(int32_t socket, uint32_t timeoutSeconds);
/* Receives at most length bytes into buffer (which holds length + 1 bytes:
   a zero follows the data).  1 with *count = bytes received (0 when the peer
   closed), 0 after a time-out or an error.  count may be NULL. */
QZ_EXPORT QZ_Flag QZ_receiveTCP(int32_t socket, char *buffer, uint32_t length, uint32_t *count,
                                uint32_t timeoutSeconds);
QZ_EXPORT QZ_Flag QZ_receiveTCPAny(int32_t socket, char *buffer, uint32_t length,
                                   uint32_t timeoutSeconds);
/* Receives a reply of open length into a growing pool block until the data
   does not begin with prefix or holds terminator.  Returns 0 (done), 19 (the
   peer closed first), 20 (time-out) or 21 (memory or socket error); the codes
   other than 0 are also set in error (which may be NULL). */
QZ_EXPORT int16_t QZ_receiveTCPBig(int32_t socket, QZ_TCPBigBuffer *buffer, const char *prefix,
                                   const char *terminator, uint32_t timeoutSeconds,
                                   QZ_MailErrorRecord *error);

/* Traces text at level 3, one line per CR LF ("<CRLF>" marks the line ends). */
QZ_EXPORT void QZ_traceTCP(const char *prefix, const char *text);
/* Stores code and, when it has a text, the formatted text (argument for "%s");
   traces codes other than 0. */
QZ_EXPORT void QZ_MailError(QZ_MailErrorRecord *error, int16_t code, const char *argument);
/* The error number of the last failed socket operation of this layer. */
QZ_EXPORT int32_t QZ_lastErrorTCP(void);
/* gethostname into buffer of length bytes: 0 on success, -1 on failure. */
QZ_EXPORT int32_t QZ_hostnameTCP(char *buffer, int32_t length);

QZ_END_DECLS

#endif
