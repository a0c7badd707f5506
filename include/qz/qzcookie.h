/* Cookies: the ones the browser sent (parsed from HTTP_COOKIE into the
 * request's list) and the ones the page sets (the response's list, written
 * as "Set-Cookie: " lines when the response sends its headers).
 *
 * A cookie list is a QZ_List whose elements are QZ_HTTP_Cookie records; the
 * list owns its records. Several cookies of one name may stand in a list;
 * lookups take the first. */
#ifndef QZ_QZCOOKIE_H
#define QZ_QZCOOKIE_H

#include "qzdefs.h"
#include "qzcstr.h"
#include "qzlists.h"

QZ_BEGIN_DECLS

struct QZ_HTTP_SrvReq;
struct QZ_HTTP_Response;

/* Longest received cookie name or value; longer ones are cut. */
#define QZ_HTTP_COOKIE_TEXT_MAX 4099

typedef struct QZ_HTTP_Cookie {
    QZ_CStr name;       /* as received or as set */
    QZ_CStr value;      /* received values are stored URL-decoded */
    QZ_CStr path;       /* empty for received cookies */
    int32_t expiryDate; /* day number; (0, 0) with expiryTime means no expiry */
    int32_t expiryTime; /* seconds since midnight */
    QZ_CStr domain;     /* empty for received cookies */
    int16_t secure;     /* non-zero: " secure" is sent */
} QZ_HTTP_Cookie;

/* Initialises the request's cookie list and fills it from the text of
   HTTP_COOKIE (NULL: no cookies). */
QZ_EXPORT void QZ_HTTP_SrvReq_ParseCookies(struct QZ_HTTP_SrvReq *request, const char *text);

/* Appends a new cookie (texts copied; NULL texts are empty); returns it, or
   NULL when the record could not be allocated (nothing is added). */
QZ_EXPORT QZ_HTTP_Cookie *QZ_HTTP_CookieList_Add(QZ_List *list, const char *name,
                                                 const char *value, const char *path,
                                                 int32_t expiryDate, int32_t expiryTime,
                                                 const char *domain, int16_t secure);
/* Appends a copy of every cookie of source to target, in order. */
QZ_EXPORT void QZ_HTTP_CookieList_Copy(QZ_List *target, QZ_List *source);
/* Frees every record and empties the list. */
QZ_EXPORT void QZ_HTTP_CookieList_Free(QZ_List *list);

/* Adds a cookie to the response's list; 0. */
QZ_EXPORT int16_t QZ_HTTP_Response_SetCookie(struct QZ_HTTP_Response *response, const char *name,
                                             const char *value, const char *path,
                                             int32_t expiryDate, int32_t expiryTime,
                                             const char *domain, int16_t secure);
/* Value of the first cookie of that name, the response's list first, then the
   request's (either may be NULL). Names compare exactly except for trailing
   blanks. Copies at most size characters and a zero into buffer (size + 1
   bytes) and returns it; returns the shared empty string, buffer untouched,
   when no cookie has that name. */
QZ_EXPORT char *QZ_HTTP_GetCookie(struct QZ_HTTP_Response *response,
                                  struct QZ_HTTP_SrvReq *request, char *buffer,
                                  const char *name, size_t size);
QZ_EXPORT uint32_t QZ_HTTP_Response_CookieCount(const struct QZ_HTTP_Response *response);
/* Appends one "Set-Cookie: " line per response cookie to the header text. */
QZ_EXPORT void QZ_HTTP_Response_AddSetCookieHeaders(struct QZ_HTTP_Response *response);
/* The Set-Cookie line of one cookie (line feed included) appended to text. */
QZ_EXPORT void QZ_HTTP_Cookie_AppendSetCookieLine(QZ_CStr *text, const QZ_HTTP_Cookie *cookie);

QZ_END_DECLS

#endif
