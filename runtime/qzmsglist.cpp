// The page's list of user messages: a list of records, each holding a pool copy
// of one message. The list owns the records and their texts.

#include "qz/qzmsglist.h"
#include "qz/qzcstr.h"
#include "qz/qzpgmmem.h"

#include <cstring>

namespace {

constexpr int32_t kRecordLine = 38;
constexpr int32_t kTextLine = 43;
// Message lengths are held in 16 bits; a longer text is cut to this length.
constexpr size_t kMessageMax = 65535;

} // namespace

extern "C" {

void QZ_MsgList_Init(QZ_MsgList *list) { QZ_List_Init(list); }

void QZ_MsgList_Add(QZ_MsgList *list, const char *text) {
    if (list == nullptr || text == nullptr) return;
    const size_t length = strnlen(text, kMessageMax);
    auto *msg = static_cast<QZ_Msg *>(QZ_malloc(nullptr, sizeof(QZ_Msg), "qzmsglist", kRecordLine));
    if (msg == nullptr) return;
    msg->text = static_cast<char *>(QZ_malloc(nullptr, length + 1, "qzmsglist", kTextLine));
    if (msg->text == nullptr) {
        QZ_free(nullptr, msg);
        return;
    }
    std::memcpy(msg->text, text, length);
    msg->text[length] = '\0';
    if (QZ_List_Append(list, msg) == nullptr) {
        QZ_free(nullptr, msg->text);
        QZ_free(nullptr, msg);
    }
}

int32_t QZ_MsgList_Count(QZ_MsgList *list) {
    return list != nullptr ? static_cast<int32_t>(list->count) : 0;
}

const char *QZ_MsgList_Get(QZ_MsgList *list, int16_t index) {
    if (list == nullptr) return QZ_EmptyString;
    const auto *msg = static_cast<const QZ_Msg *>(QZ_List_GetAt(list, index));
    return msg != nullptr && msg->text != nullptr ? msg->text : QZ_EmptyString;
}

void QZ_MsgList_Free(QZ_MsgList *list) {
    if (list == nullptr) return;
    for (auto *msg = static_cast<QZ_Msg *>(QZ_List_FirstData(list)); msg != nullptr;
         msg = static_cast<QZ_Msg *>(QZ_List_NextData(list))) {
        QZ_free(nullptr, msg->text);
        QZ_free(nullptr, msg);
    }
    QZ_List_Free(list);
    QZ_MsgList_Init(list);
}

} // extern "C"
