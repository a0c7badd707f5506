/* The page's list of user messages. */
#ifndef QZ_QZMSGLIST_H
#define QZ_QZMSGLIST_H

#include "qzlists.h"

QZ_BEGIN_DECLS

typedef QZ_List QZ_MsgList;

typedef struct QZ_Msg {
    char *text; /* pool copy of the message */
} QZ_Msg;

QZ_EXPORT void QZ_MsgList_Init(QZ_MsgList *list);
QZ_EXPORT void QZ_MsgList_Add(QZ_MsgList *list, const char *text);
QZ_EXPORT int32_t QZ_MsgList_Count(QZ_MsgList *list);
QZ_EXPORT const char *QZ_MsgList_Get(QZ_MsgList *list, int16_t index);
QZ_EXPORT void QZ_MsgList_Free(QZ_MsgList *list);

QZ_END_DECLS

#endif
