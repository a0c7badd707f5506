// Record buffer, blocks and the block container.
#include "qz/qzcontainer.h"
#include "qz/qzpgmmem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

uint32_t blockSize(const void *data) {
    for (QZ_MemNode *n = QZ_GetDefaultPool()->first; n != nullptr; n = n->next) {
        if (n->raw == data) return n->size;
    }
    return 0;
}

TEST(CoreBuffer, GrowsByTheStepOrByTheRequestAndKeepsRecords) {
    QZ_Buffer b;
    ASSERT_EQ(QZ_Buffer_Init(&b, 16, 8), 1);
    EXPECT_EQ(b.capacity, 16u);
    EXPECT_EQ(blockSize(b.data), 16u);
    auto *first = static_cast<uint8_t *>(QZ_Buffer_Extend(&b, 12));
    ASSERT_EQ(first, b.data);
    std::memcpy(first, "0123456789AB", 12);
    QZ_Buffer_Extend(&b, 4); // fits exactly
    EXPECT_EQ(b.capacity, 16u);
    QZ_Buffer_Extend(&b, 3); // grows by the step
    EXPECT_EQ(b.capacity, 24u);
    EXPECT_EQ(b.used, 19u);
    QZ_Buffer_Extend(&b, 50); // more than the step: grows by exactly the request
    EXPECT_EQ(b.capacity, 74u);
    EXPECT_EQ(blockSize(b.data), 74u);
    EXPECT_EQ(std::memcmp(b.data, "0123456789AB", 12), 0);

    EXPECT_EQ(QZ_Buffer_Count(&b, 4), 17u);
    EXPECT_EQ(QZ_Buffer_At(&b, 2, 4), b.data + 8);
    QZ_Buffer_SetCount(&b, 3, 4);
    EXPECT_EQ(b.used, 12u);
    EXPECT_EQ(QZ_Buffer_Count(&b, 0), 0u);

    QZ_Buffer_Free(&b);
    EXPECT_EQ(b.data, nullptr);
    EXPECT_EQ(b.capacity + b.used + b.growth, 0u);
    QZ_Buffer_Free(&b);
}

TEST(CoreBlock, ReserveCopyAtTruncate) {
    QZ_Block *block = QZ_Block_New(10);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(blockSize(block), 21u); // 11 bytes beyond the item space
    EXPECT_EQ(block->size, 10u);
    uint32_t offset = 99;
    ASSERT_EQ(QZ_Block_Copy(block, "abcd", 4, &offset), 1);
    EXPECT_EQ(offset, 0u);
    ASSERT_EQ(QZ_Block_Copy(block, "efghij", 6, &offset), 1);
    EXPECT_EQ(offset, 4u);
    EXPECT_EQ(QZ_Block_Reserve(block, 1, &offset), nullptr); // full
    EXPECT_EQ(std::memcmp(QZ_Block_At(block, 4), "efghij", 6), 0);
    EXPECT_EQ(QZ_Block_At(block, 10), nullptr);
    QZ_Block_Truncate(block, 4);
    EXPECT_EQ(block->used, 4u);
    QZ_Block_Truncate(block, 8); // never lengthens
    EXPECT_EQ(block->used, 4u);
    EXPECT_EQ(QZ_Block_At(block, 4), nullptr);
    QZ_free(nullptr, block);
}

class CoreContainer : public ::testing::Test {
protected:
    void SetUp() override {
        liveBefore = QZ_GetDefaultPool()->count;
        ASSERT_EQ(QZ_Container_Init(&c, 16, 2 * sizeof(QZ_ContainerEntry)), 1);
    }
    void TearDown() override {
        QZ_Container_Free(&c);
        EXPECT_EQ(c.blockSize, 0u);
        EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore);
    }
    const char *item(uint32_t i) { return static_cast<const char *>(QZ_Container_Get(&c, i)); }
    QZ_Container c{};
    uint32_t liveBefore = 0;
};

TEST_F(CoreContainer, ItemsFillTheNewestBlockThenANewOne) {
    ASSERT_EQ(QZ_Container_Add(&c, "aaaaaaaaaa", 10), 1);
    ASSERT_EQ(QZ_Container_Add(&c, "bbbbb", 5), 1);
    EXPECT_EQ(c.blocks.count, 1u);
    ASSERT_EQ(QZ_Container_Add(&c, "cc", 2), 1); // 1 byte left: a new block
    EXPECT_EQ(c.blocks.count, 2u);
    ASSERT_EQ(QZ_Container_Add(&c, "d", 1), 1);
    EXPECT_EQ(c.blocks.count, 2u); // the new block takes it; the old one's last byte stays unused
    EXPECT_EQ(QZ_Container_Count(&c), 4u);
    EXPECT_EQ(std::string(item(0), 10), "aaaaaaaaaa");
    EXPECT_EQ(std::string(item(1), 5), "bbbbb");
    EXPECT_EQ(std::string(item(2), 2), "cc");
    EXPECT_EQ(std::string(item(3), 1), "d");
    EXPECT_EQ(item(4), nullptr);

    // A larger item than the block size gets a block of exactly its size.
    const std::string big(40, 'B');
    ASSERT_EQ(QZ_Container_Add(&c, big.data(), 40), 1);
    auto *newest = static_cast<QZ_Block *>(c.blocks.first->data);
    EXPECT_EQ(newest->size, 40u);
    EXPECT_EQ(newest->used, 40u);
    EXPECT_EQ(std::string(item(4), 40), big);
}

TEST_F(CoreContainer, TruncateDropsNewerBlocks) {
    for (int i = 0; i < 6; ++i) QZ_Container_Add(&c, "12345678", 8); // two per block: three blocks
    EXPECT_EQ(c.blocks.count, 3u);
    QZ_Container_Truncate(&c, 6); // nothing to drop
    EXPECT_EQ(c.count, 6u);
    QZ_Container_Truncate(&c, 3); // item 3 is the second of the middle block
    EXPECT_EQ(c.count, 3u);
    EXPECT_EQ(c.blocks.count, 2u);
    EXPECT_EQ(static_cast<QZ_Block *>(c.blocks.first->data)->used, 8u);
    EXPECT_EQ(QZ_Buffer_Count(&c.index, sizeof(QZ_ContainerEntry)), 3u);
    EXPECT_EQ(item(3), nullptr);
    QZ_Container_Add(&c, "again!!!", 8); // reuses the freed space of the middle block
    EXPECT_EQ(c.blocks.count, 2u);
    EXPECT_EQ(std::string(item(3), 8), "again!!!");

    QZ_Container_Add(&c, "x", 1);
    QZ_Container_Truncate(&c, 0);
    EXPECT_EQ(c.count, 0u);
    EXPECT_EQ(c.blocks.count, 1u);
    EXPECT_EQ(static_cast<QZ_Block *>(c.blocks.first->data)->used, 0u);
    EXPECT_EQ(item(0), nullptr);
}

} // namespace
