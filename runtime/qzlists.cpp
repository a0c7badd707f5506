// Circular doubly linked list with a built-in cursor. The list owns its nodes,
// never the elements they point at.

#include "qz/qzlists.h"
#include "qz/qzpgmmem.h"

namespace {

constexpr int32_t kPrependLine = 24;
constexpr int32_t kAppendLine = 58;
constexpr int32_t kInsertBeforeLine = 97;

QZ_ListNode *newNode(void *element, int32_t line) {
    auto *node = static_cast<QZ_ListNode *>(QZ_malloc(nullptr, sizeof(QZ_ListNode), "qzlists", line));
    if (node != nullptr) node->data = element;
    return node;
}

// First node of an empty list: a circle of one.
void linkAlone(QZ_List *list, QZ_ListNode *node) {
    node->next = node;
    node->previous = node;
    list->first = node;
    list->last = node;
}

// Puts `node` between the last and the first node.
void linkBetweenEnds(QZ_List *list, QZ_ListNode *node) {
    node->next = list->first;
    node->previous = list->last;
    list->first->previous = node;
    list->last->next = node;
}

QZ_ListNode *inserted(QZ_List *list, QZ_ListNode *node) {
    list->current = node;
    list->count += 1;
    return node;
}

void *dataOf(const QZ_ListNode *node) { return node != nullptr ? node->data : nullptr; }

// A list that has lost its last node keeps no pointers into released nodes.
void clearEnds(QZ_List *list) {
    list->first = nullptr;
    list->last = nullptr;
    list->current = nullptr;
}

} // namespace

extern "C" {

void QZ_List_Init(QZ_List *list) {
    if (list == nullptr) return;
    list->count = 0;
    clearEnds(list);
}

QZ_ListNode *QZ_List_Prepend(QZ_List *list, void *element) {
    if (list == nullptr || element == nullptr) return nullptr;
    QZ_ListNode *node = newNode(element, kPrependLine);
    if (node == nullptr) return nullptr;
    if (list->count == 0) {
        linkAlone(list, node);
    } else {
        linkBetweenEnds(list, node);
        list->first = node;
    }
    return inserted(list, node);
}

QZ_ListNode *QZ_List_Append(QZ_List *list, void *element) {
    if (list == nullptr || element == nullptr) return nullptr;
    QZ_ListNode *node = newNode(element, kAppendLine);
    if (node == nullptr) return nullptr;
    if (list->count == 0) {
        linkAlone(list, node);
    } else {
        linkBetweenEnds(list, node);
        list->last = node;
    }
    return inserted(list, node);
}

QZ_ListNode *QZ_List_InsertBefore(QZ_List *list, void *element, QZ_ListNode *node) {
    if (list == nullptr || element == nullptr || node == nullptr) return nullptr;
    if (list->count == 0 || node != list->current) return nullptr;
    if (node == list->first) return QZ_List_Prepend(list, element);
    QZ_ListNode *fresh = newNode(element, kInsertBeforeLine);
    if (fresh == nullptr) return nullptr;
    fresh->previous = node->previous;
    fresh->next = node;
    node->previous->next = fresh;
    node->previous = fresh;
    return inserted(list, fresh);
}

QZ_ListNode *QZ_List_InsertAt(QZ_List *list, void *element, uint16_t position) {
    if (list == nullptr || element == nullptr) return nullptr;
    if (position <= 1) return QZ_List_Prepend(list, element);
    unsigned remaining = position;
    QZ_ListNode *node = QZ_List_First(list);
    --remaining;
    while (node != nullptr && remaining != 0) {
        node = QZ_List_Next(list);
        --remaining;
    }
    if (node != nullptr && remaining == 0) {
        QZ_List_InsertBefore(list, element, node);
        return list->current;
    }
    return QZ_List_Append(list, element);
}

void QZ_List_Remove(QZ_List *list, QZ_ListNode *node) {
    if (list == nullptr || node == nullptr || list->count == 0) return;
    if (list->count == 1) {
        clearEnds(list);
    } else {
        node->previous->next = node->next;
        node->next->previous = node->previous;
        if (node == list->first) list->first = node->next;
        if (node == list->last) list->last = node->previous;
        list->current = node->next;
    }
    list->count -= 1;
    QZ_free(nullptr, node);
}

void *QZ_List_PopLast(QZ_List *list) {
    if (list == nullptr || list->count == 0) return nullptr;
    QZ_ListNode *old = list->last;
    void *element = old->data;
    list->count -= 1;
    if (list->count == 0) {
        clearEnds(list);
    } else {
        list->last = old->previous;
        list->last->next = list->first;
        list->first->previous = list->last;
        list->current = list->last;
    }
    QZ_free(nullptr, old);
    return element;
}

void QZ_List_Free(QZ_List *list) {
    if (list == nullptr) return;
    QZ_ListNode *node = list->first;
    for (uint32_t i = 0; i < list->count && node != nullptr; ++i) {
        QZ_ListNode *next = node->next;
        QZ_free(nullptr, node);
        node = next;
    }
    QZ_List_Init(list);
}

QZ_ListNode *QZ_List_First(QZ_List *list) {
    if (list == nullptr || list->count == 0) return nullptr;
    list->current = list->first;
    return list->current;
}

QZ_ListNode *QZ_List_Current(QZ_List *list) { return list != nullptr ? list->current : nullptr; }

QZ_ListNode *QZ_List_NextOf(QZ_List *list, QZ_ListNode *node) {
    if (list == nullptr || node == nullptr || list->count == 0 || node == list->last) return nullptr;
    return node->next;
}

QZ_ListNode *QZ_List_Next(QZ_List *list) {
    if (list == nullptr) return nullptr;
    list->current = QZ_List_NextOf(list, list->current);
    return list->current;
}

void *QZ_List_FirstData(QZ_List *list) { return dataOf(QZ_List_First(list)); }

void *QZ_List_NextData(QZ_List *list) { return dataOf(QZ_List_Next(list)); }

void *QZ_List_LastData(QZ_List *list) {
    if (list == nullptr || list->count == 0) return nullptr;
    list->current = list->last;
    return list->current->data;
}

void *QZ_List_PrevData(QZ_List *list) {
    if (list == nullptr || list->current == nullptr) return nullptr;
    if (list->current == list->first) {
        list->current = nullptr;
        return nullptr;
    }
    list->current = list->current->previous;
    return list->current->data;
}

void *QZ_List_GetAt(QZ_List *list, int32_t index) {
    if (list == nullptr || index < 1) return nullptr;
    void *element = QZ_List_FirstData(list);
    for (int32_t i = 1; i < index && element != nullptr; ++i) element = QZ_List_NextData(list);
    return element;
}

} // extern "C"
