// Circular lists and the message list: the circle stays whole in both
// directions after every change, and the cursor moves as documented.
#include "qz/qzlists.h"
#include "qz/qzmsglist.h"
#include "qz/qzpgmmem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int e[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};

// Walks the circle both ways and checks it against the count.
std::vector<int> elements(const QZ_List &list) {
    std::vector<int> forward;
    if (list.count == 0) return forward;
    const QZ_ListNode *n = list.first;
    for (uint32_t i = 0; i < list.count; ++i, n = n->next) {
        forward.push_back(*static_cast<const int *>(n->data));
        EXPECT_EQ(n->next->previous, n);
    }
    EXPECT_EQ(n, list.first) << "the circle does not close after count nodes";
    EXPECT_EQ(list.last->next, list.first);
    EXPECT_EQ(list.first->previous, list.last);
    return forward;
}

class CoreList : public ::testing::Test {
protected:
    void SetUp() override {
        QZ_List_Init(&list);
        liveBefore = QZ_GetDefaultPool()->count;
    }
    void TearDown() override {
        QZ_List_Free(&list);
        EXPECT_EQ(list.count, 0u);
        EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore);
    }
    QZ_List list{};
    uint32_t liveBefore = 0;
};

TEST_F(CoreList, PrependAppendAndASingleNodeCircle) {
    QZ_ListNode *only = QZ_List_Append(&list, &e[1]);
    EXPECT_EQ(only->next, only);
    EXPECT_EQ(only->previous, only);
    QZ_List_Prepend(&list, &e[0]);
    QZ_List_Append(&list, &e[2]);
    EXPECT_EQ(elements(list), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(*static_cast<int *>(list.current->data), 2);
    EXPECT_EQ(QZ_List_Append(&list, nullptr), nullptr);
    EXPECT_EQ(QZ_List_Prepend(nullptr, &e[1]), nullptr);
    EXPECT_EQ(list.count, 3u);
}

TEST_F(CoreList, InsertAtPositions) {
    QZ_List_Append(&list, &e[5]);
    QZ_List_InsertAt(&list, &e[0], 0);
    QZ_List_InsertAt(&list, &e[1], 1);
    EXPECT_EQ(elements(list), (std::vector<int>{1, 0, 5}));
    QZ_ListNode *n = QZ_List_InsertAt(&list, &e[2], 2);
    EXPECT_EQ(*static_cast<int *>(n->data), 2);
    EXPECT_EQ(list.current, n);
    EXPECT_EQ(elements(list), (std::vector<int>{1, 2, 0, 5}));
    QZ_List_InsertAt(&list, &e[9], 4);
    EXPECT_EQ(elements(list), (std::vector<int>{1, 2, 0, 9, 5}));
    QZ_List_InsertAt(&list, &e[8], 99); // past the end: appended
    EXPECT_EQ(elements(list), (std::vector<int>{1, 2, 0, 9, 5, 8}));

    QZ_List one;
    QZ_List_Init(&one);
    QZ_List_Append(&one, &e[1]);
    QZ_List_InsertAt(&one, &e[2], 2); // on a one-element list, 2 appends
    EXPECT_EQ(elements(one), (std::vector<int>{1, 2}));
    QZ_List_Free(&one);
}

TEST_F(CoreList, InsertBeforeOnlyAtTheCursor) {
    QZ_ListNode *a = QZ_List_Append(&list, &e[1]);
    QZ_ListNode *b = QZ_List_Append(&list, &e[3]);
    EXPECT_EQ(QZ_List_InsertBefore(&list, &e[0], a), nullptr); // a is not current
    QZ_List_InsertBefore(&list, &e[2], b);
    EXPECT_EQ(elements(list), (std::vector<int>{1, 2, 3}));
    QZ_List_First(&list);
    QZ_List_InsertBefore(&list, &e[0], a); // before the first: prepended
    EXPECT_EQ(elements(list), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.first->data, &e[0]);
}

TEST_F(CoreList, RemoveAndPopLastKeepTheCircle) {
    for (int i = 1; i <= 3; ++i) QZ_List_Append(&list, &e[i]);
    QZ_List_Prepend(&list, &e[0]);
    QZ_List_Remove(&list, list.last);
    EXPECT_EQ(elements(list), (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(list.current, list.first); // the successor of the old last
    EXPECT_EQ(QZ_List_PopLast(&list), &e[2]);
    EXPECT_EQ(elements(list), (std::vector<int>{0, 1}));
    EXPECT_EQ(list.current, list.last);
    QZ_List_Remove(&list, list.first);
    EXPECT_EQ(elements(list), (std::vector<int>{1}));
    EXPECT_EQ(QZ_List_PopLast(&list), &e[1]);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.current, nullptr); // no cursor left on a released node
    EXPECT_EQ(QZ_List_PopLast(&list), nullptr);
    EXPECT_EQ(QZ_List_FirstData(&list), nullptr);
    EXPECT_EQ(QZ_List_LastData(&list), nullptr);

    QZ_ListNode *only = QZ_List_Append(&list, &e[4]);
    QZ_List_Remove(&list, only);
    EXPECT_EQ(list.count, 0u);
    EXPECT_EQ(list.current, nullptr);
    QZ_List_Append(&list, &e[5]); // an emptied list is usable again
    EXPECT_EQ(elements(list), (std::vector<int>{5}));
}

TEST_F(CoreList, NavigationNeverWrapsAround) {
    for (int i = 0; i < 3; ++i) QZ_List_Append(&list, &e[i]);
    std::vector<int> seen;
    for (void *d = QZ_List_FirstData(&list); d != nullptr; d = QZ_List_NextData(&list)) {
        seen.push_back(*static_cast<int *>(d));
    }
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(QZ_List_Current(&list), nullptr);
    EXPECT_EQ(QZ_List_Next(&list), nullptr);
    EXPECT_EQ(QZ_List_NextOf(&list, list.last), nullptr);
    EXPECT_EQ(QZ_List_NextOf(&list, list.first), list.first->next);

    seen.clear();
    for (void *d = QZ_List_LastData(&list); d != nullptr; d = QZ_List_PrevData(&list)) {
        seen.push_back(*static_cast<int *>(d));
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(QZ_List_Current(&list), nullptr);
    EXPECT_EQ(QZ_List_PrevData(&list), nullptr);

    EXPECT_EQ(QZ_List_GetAt(&list, 0), nullptr);
    EXPECT_EQ(QZ_List_GetAt(&list, -5), nullptr);
    EXPECT_EQ(QZ_List_GetAt(&list, 2), &e[1]);
    EXPECT_EQ(list.current->data, &e[1]);
    EXPECT_EQ(QZ_List_GetAt(&list, 3), &e[2]);
    EXPECT_EQ(QZ_List_GetAt(&list, 4), nullptr);
    EXPECT_EQ(QZ_List_GetAt(&list, 2000000000), nullptr);
}

TEST(CoreMsgList, AddGetCountAndFree) {
    const uint32_t liveBefore = QZ_GetDefaultPool()->count;
    QZ_MsgList messages;
    QZ_MsgList_Init(&messages);
    QZ_MsgList_Add(&messages, "first");
    QZ_MsgList_Add(&messages, "");
    QZ_MsgList_Add(&messages, nullptr);
    std::string second = "second";
    QZ_MsgList_Add(&messages, second.c_str());
    second[0] = 'X'; // the list keeps its own copy
    EXPECT_EQ(QZ_MsgList_Count(&messages), 3);
    EXPECT_STREQ(QZ_MsgList_Get(&messages, 1), "first");
    EXPECT_STREQ(QZ_MsgList_Get(&messages, 2), "");
    EXPECT_STREQ(QZ_MsgList_Get(&messages, 3), "second");
    EXPECT_STREQ(QZ_MsgList_Get(&messages, 4), "");
    EXPECT_STREQ(QZ_MsgList_Get(&messages, 0), "");
    EXPECT_EQ(QZ_MsgList_Get(nullptr, 1)[0], '\0');
    EXPECT_EQ(QZ_MsgList_Count(nullptr), 0);
    EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore + 9); // three records, three copies, three nodes

    // Overlong texts are cut to what a 16-bit length holds.
    QZ_MsgList_Add(&messages, std::string(70000, 'm').c_str());
    EXPECT_EQ(std::string(QZ_MsgList_Get(&messages, 4)).size(), 65535u);

    QZ_MsgList_Free(&messages);
    EXPECT_EQ(QZ_MsgList_Count(&messages), 0);
    EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore);
    QZ_MsgList_Free(nullptr);
}

} // namespace
