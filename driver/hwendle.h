/* The web object "wendle": the generated page of hwendle.exe and its steps. */
#ifndef QZ_DRIVER_HWENDLE_H
#define QZ_DRIVER_HWENDLE_H

#include "qz/qzcstr.h"
#include "qz/qzglobal.h"
#include "qz/qzmsglist.h"

QZ_BEGIN_DECLS

#define HWENDLE_TEXT_MAX 200      /* the page's text parameter */
#define HWENDLE_NAME_MAX 30
#define HWENDLE_PREFIX_MAX 2048   /* URL prefix of the form's ACTION */
#define HWENDLE_IMAGE_MAX 255
#define HWENDLE_BASEURL_MAX 255   /* site prefix + program name + ".aspx" */

/* Connect and disconnect repeat while the database reports a lock; after this
   many attempts the last one is made without retry, so a lock that never goes
   away cannot hold the request forever. */
#define HWENDLE_CONNECT_ATTEMPTS 20
#define HWENDLE_RETRY_PAUSE_MS 50

typedef struct Hwendle_Data {
    int16_t connectStatus;
    int16_t status;            /* program status written by the database checks */
    int16_t disconnectStatus;
    int16_t returnFlag;        /* non-zero: execute skips web start and event processing */
    int16_t responseStatus;    /* of the content-type and header calls of the page head */
    int16_t initialised;       /* the Initialize event has run */
    int16_t headWritten;       /* the head and the form opening are out */
    int16_t asComponent;       /* rendering inside another page */
    char userId[HWENDLE_NAME_MAX + 1];
    char password[HWENDLE_NAME_MAX + 1];
    char programName[HWENDLE_NAME_MAX + 1];
    char urlPrefix[HWENDLE_PREFIX_MAX + 1];
    char backgroundImage[HWENDLE_IMAGE_MAX + 1];
    QZ_MsgList savedMessages[2]; /* the component's swap of the context's message list */
    QZ_CStr work[2];             /* program URLs built by the events and the form */
    /* The component's parameters (the driver passes its own to each step). */
    int32_t number[3];
    char text[HWENDLE_TEXT_MAX + 1];
} Hwendle_Data;

/* Steps called by the driver, in this order: connect, before, execute, after, disconnect. */
QZ_EXPORT Hwendle_Data *Hwendle_New(void);
QZ_EXPORT void Hwendle_Delete(Hwendle_Data *data);
QZ_EXPORT void Hwendle_Connect(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                               int32_t *n3, char *text);
QZ_EXPORT void Hwendle_Before(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                              int32_t *n3, char *text);
QZ_EXPORT void Hwendle_Execute(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                               int32_t *n3, char *text);
QZ_EXPORT void Hwendle_After(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                             int32_t *n3, char *text);
QZ_EXPORT void Hwendle_Disconnect(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                                  int32_t *n3, char *text);

/* Inner steps of the page cycle. */
QZ_EXPORT void Hwendle_InitData(Hwendle_Data *data);
QZ_EXPORT void Hwendle_Initialize(QZ_PgmContext *ctx, Hwendle_Data *data);
QZ_EXPORT void Hwendle_WebStart(QZ_PgmContext *ctx, Hwendle_Data *data);
QZ_EXPORT void Hwendle_Start(QZ_PgmContext *ctx, Hwendle_Data *data);
QZ_EXPORT void Hwendle_WebProcess(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1,
                                  int32_t *n2, int32_t *n3, char *text);
QZ_EXPORT void Hwendle_Refresh(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1, int32_t *n2,
                               int32_t *n3, char *text);
QZ_EXPORT void Hwendle_StartEvent(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1,
                                  int32_t *n2, int32_t *n3, char *text);
QZ_EXPORT void Hwendle_RenderHead(QZ_PgmContext *ctx, Hwendle_Data *data, int32_t *n1,
                                  int32_t *n2, int32_t *n3, char *text);
QZ_EXPORT void Hwendle_RenderMessages(QZ_PgmContext *ctx, Hwendle_Data *data);
QZ_EXPORT void Hwendle_RenderScript(QZ_PgmContext *ctx, Hwendle_Data *data);
QZ_EXPORT void Hwendle_Cleanup(QZ_PgmContext *ctx, Hwendle_Data *data);

/* The site prefix of the redirect target: key "SitePrefix" of section "Web"
   of qzcfg.ini, else the built-in HWENDLE_SITE_PREFIX; read once per process. */
QZ_EXPORT const char *Hwendle_SitePrefix(void);
/* Forget the prefix read so far (tests change the configuration between cases). */
QZ_EXPORT void Hwendle_ResetSitePrefix(void);

/* Runs the web object as a called program: before, execute and after on a data block of its own. */
QZ_EXPORT void Hwendle_Call(QZ_PgmContext *ctx, int32_t *n1, int32_t *n2, int32_t *n3, char *text);

/* The page embedded in another: Hwendle_Component fills the descriptor. */
typedef struct QZ_ComponentDesc {
    void *data;
    /* parameters: pointers to the three 32-bit numbers and to the text */
    void (*initialize)(void *data, void *const *parameters);
    /* renders into buffer (emptied first) and returns its text */
    const char *(*render)(QZ_PgmContext *ctx, void *data, QZ_CStr *buffer, const char *urlPrefix);
    void (*idle)(void *data);
    void (*release)(void *data);
} QZ_ComponentDesc;

QZ_EXPORT void Hwendle_Component(QZ_ComponentDesc *desc, QZ_PgmContext *ctx);

QZ_END_DECLS

#endif
