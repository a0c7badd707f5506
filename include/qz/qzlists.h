/* Circular doubly linked list with a built-in cursor. */
#ifndef QZ_QZLISTS_H
#define QZ_QZLISTS_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

typedef struct QZ_ListNode {
    struct QZ_ListNode *next;
    struct QZ_ListNode *previous;
    void *data; /* the element; never NULL; not owned by the list */
} QZ_ListNode;

typedef struct QZ_List {
    uint32_t count;
    QZ_ListNode *first;
    QZ_ListNode *last;
    QZ_ListNode *current;
} QZ_List;

QZ_EXPORT void QZ_List_Init(QZ_List *list);
QZ_EXPORT QZ_ListNode *QZ_List_Prepend(QZ_List *list, void *element);
QZ_EXPORT QZ_ListNode *QZ_List_Append(QZ_List *list, void *element);
QZ_EXPORT QZ_ListNode *QZ_List_InsertBefore(QZ_List *list, void *element, QZ_ListNode *node);
QZ_EXPORT QZ_ListNode *QZ_List_InsertAt(QZ_List *list, void *element, uint16_t position);
QZ_EXPORT void QZ_List_Remove(QZ_List *list, QZ_ListNode *node);
QZ_EXPORT void *QZ_List_PopLast(QZ_List *list);
QZ_EXPORT void QZ_List_Free(QZ_List *list);
QZ_EXPORT QZ_ListNode *QZ_List_First(QZ_List *list);
QZ_EXPORT QZ_ListNode *QZ_List_Current(QZ_List *list);
QZ_EXPORT QZ_ListNode *QZ_List_NextOf(QZ_List *list, QZ_ListNode *node);
QZ_EXPORT QZ_ListNode *QZ_List_Next(QZ_List *list);
QZ_EXPORT void *QZ_List_FirstData(QZ_List *list);
QZ_EXPORT void *QZ_List_NextData(QZ_List *list);
QZ_EXPORT void *QZ_List_LastData(QZ_List *list);
QZ_EXPORT void *QZ_List_PrevData(QZ_List *list);
QZ_EXPORT void *QZ_List_GetAt(QZ_List *list, int32_t index);

QZ_END_DECLS

#endif
