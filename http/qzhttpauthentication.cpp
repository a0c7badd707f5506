// Credentials lists: one entry per scheme and realm, kept in the order added.

#include "qz/qzhttpauth.h"
#include "qz/qzpgmmem.h"
#include "runtime/qztext_internal.h"

#include <cstring>

namespace {

constexpr const char *kSourceTag = "qzhttpauthentication";
constexpr int32_t kEntryLine = 229;

void FreeEntry(QZ_HTTP_AuthEntry *entry) {
    QZ_CStr_Free(&entry->scheme);
    QZ_CStr_Free(&entry->realm);
    QZ_CStr_Free(&entry->user);
    QZ_CStr_Free(&entry->password);
    QZ_free(nullptr, entry);
}

}  // namespace

extern "C" {

void QZ_HTTP_AuthList_Init(QZ_List *list) { QZ_List_Init(list); }

void QZ_HTTP_AuthList_Free(QZ_List *list) {
    if (list == nullptr) {
        return;
    }
    for (QZ_ListNode *node = QZ_List_First(list); node != nullptr;
         node = QZ_List_NextOf(list, node)) {
        FreeEntry(static_cast<QZ_HTTP_AuthEntry *>(node->data));
    }
    QZ_List_Free(list);
}

QZ_ListNode *QZ_HTTP_AuthList_Add(QZ_List *list, const char *scheme, const char *realm,
                                  const char *user, const char *password) {
    if (list == nullptr) {
        return nullptr;
    }
    auto *entry = static_cast<QZ_HTTP_AuthEntry *>(
        QZ_malloc(nullptr, sizeof(QZ_HTTP_AuthEntry), kSourceTag, kEntryLine));
    if (entry == nullptr) {
        return nullptr;
    }
    QZ_CStr_Init(&entry->scheme);
    QZ_CStr_Init(&entry->realm);
    QZ_CStr_Init(&entry->user);
    QZ_CStr_Init(&entry->password);
    QZ_CStr_SetText(&entry->scheme, qz::OrEmpty(scheme));
    QZ_CStr_SetText(&entry->realm, qz::OrEmpty(realm));
    QZ_CStr_SetText(&entry->user, qz::OrEmpty(user));
    QZ_CStr_SetText(&entry->password, qz::OrEmpty(password));
    QZ_ListNode *node = QZ_List_Append(list, entry);
    if (node == nullptr) {
        FreeEntry(entry);  // the list could not take it: nobody else would free it
    }
    return node;
}

void QZ_HTTP_AuthList_AddByCode(QZ_List *list, int16_t schemeCode, const char *realm,
                                const char *user, const char *password) {
    if (schemeCode == QZ_HTTP_AUTH_SCHEME_BASIC) {
        QZ_HTTP_AuthList_Add(list, "basic", realm, user, password);
    } else if (schemeCode == QZ_HTTP_AUTH_SCHEME_DIGEST) {
        QZ_HTTP_AuthList_Add(list, "digest", realm, user, password);
    }
}

QZ_Flag QZ_HTTP_AuthList_Find(QZ_List *list, const char *scheme, const char *realm,
                              const char **user, const char **password) {
    if (user != nullptr) {
        *user = nullptr;
    }
    if (password != nullptr) {
        *password = nullptr;
    }
    if (list == nullptr) {
        return 0;
    }
    const char *wantedScheme = qz::OrEmpty(scheme);
    const char *wantedRealm = qz::OrEmpty(realm);
    for (QZ_ListNode *node = QZ_List_First(list); node != nullptr;
         node = QZ_List_NextOf(list, node)) {
        const auto *entry = static_cast<const QZ_HTTP_AuthEntry *>(node->data);
        if (std::strcmp(entry->scheme.data, wantedScheme) == 0 &&
            std::strcmp(entry->realm.data, wantedRealm) == 0) {
            if (user != nullptr) {
                *user = entry->user.data;
            }
            if (password != nullptr) {
                *password = entry->password.data;
            }
            return 1;
        }
    }
    return 0;
}

void QZ_HTTP_AuthList_Copy(QZ_List *destination, QZ_List *source) {
    if (destination == nullptr || destination == source) {
        return;  // copying a list onto itself would free what it is about to read
    }
    QZ_HTTP_AuthList_Free(destination);
    if (source == nullptr) {
        return;
    }
    for (QZ_ListNode *node = QZ_List_First(source); node != nullptr;
         node = QZ_List_NextOf(source, node)) {
        const auto *entry = static_cast<const QZ_HTTP_AuthEntry *>(node->data);
        QZ_HTTP_AuthList_Add(destination, entry->scheme.data, entry->realm.data,
                             entry->user.data, entry->password.data);
    }
}

}  // extern "C"
