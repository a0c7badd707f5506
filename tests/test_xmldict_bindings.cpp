// The namespace dictionary: newest-first look-ups, removal, depth pops and
// the growth of its two stores.
#include <gtest/gtest.h>

#include <string>

#include "qz/qzxmldict.h"

namespace {

class Dict : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(QZ_XmlNsDict_InitStandard(&d), 1); }
    void TearDown() override { QZ_XmlNsDict_Free(&d); }
    const char *find(const std::string &key) {
        return QZ_XmlNsDict_Lookup(&d, key.c_str(), static_cast<uint32_t>(key.size()));
    }
    QZ_XmlNsDict d{};
};

TEST_F(Dict, StandardSizes) {
    EXPECT_EQ(d.entryCapacity, 50u);
    EXPECT_EQ(d.textCapacity, 5000u);
    EXPECT_EQ(d.entryGrowth, 20u);
    EXPECT_EQ(d.textGrowth, 2000u);
    EXPECT_EQ(d.entryCount, 0u);
    EXPECT_EQ(d.textUsed, 0u);
}

TEST_F(Dict, NewestBindingWinsUntilItsDepthIsPopped) {
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "urn:a", "p", 0), 1);
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "urn:a", "q", 1), 1);
    EXPECT_STREQ(find("urn:a"), "q");
    EXPECT_EQ(d.textUsed, 2u * (5 + 1 + 1 + 1)); // value, zero, key, zero per entry
    QZ_XmlNsDict_PopDepth(&d, 1);
    EXPECT_STREQ(find("urn:a"), "p");
    QZ_XmlNsDict_PopDepth(&d, 1); // the newest is now at depth 0: nothing more goes
    EXPECT_STREQ(find("urn:a"), "p");
    QZ_XmlNsDict_PopDepth(&d, 0);
    EXPECT_EQ(find("urn:a"), nullptr);
}

TEST_F(Dict, KeysMatchExactlyOnTheGivenLength) {
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "urn:abc", "p", 0), 1);
    ASSERT_EQ(QZ_XmlNsDict_AddUntied(&d, "urn:def", ""), 1);
    EXPECT_EQ(find("urn:ab"), nullptr);     // a prefix of a stored key
    EXPECT_EQ(find("urn:abcd"), nullptr);   // longer than the stored key
    EXPECT_STREQ(find("urn:def"), "");      // a default-namespace binding is found, empty
    EXPECT_EQ(d.entries[1].depth, -1);
    // The key need not be terminated: the URI part of "urn:abc|local".
    EXPECT_STREQ(QZ_XmlNsDict_Lookup(&d, "urn:abc|local", 7), "p");
    EXPECT_EQ(QZ_XmlNsDict_Lookup(&d, nullptr, 0), nullptr);
    EXPECT_EQ(QZ_XmlNsDict_Lookup(&d, "", 0), nullptr);
}

TEST_F(Dict, EmptyKeyAddsNothing) {
    EXPECT_EQ(QZ_XmlNsDict_Add(&d, "", "p", 0), 1);
    EXPECT_EQ(QZ_XmlNsDict_Add(&d, nullptr, "p", 0), 1);
    EXPECT_EQ(d.entryCount, 0u);
    EXPECT_EQ(d.textUsed, 0u);
    EXPECT_EQ(QZ_XmlNsDict_Add(&d, "urn:x", nullptr, 0), 1); // absent value = empty
    EXPECT_STREQ(find("urn:x"), "");
}

TEST_F(Dict, RemoveByValueTakesTheNewerBindingFirst) {
    ASSERT_EQ(QZ_XmlNsDict_AddUntied(&d, "urn:outer", "p"), 1);
    ASSERT_EQ(QZ_XmlNsDict_AddUntied(&d, "urn:inner", "p"), 1);
    ASSERT_EQ(QZ_XmlNsDict_AddUntied(&d, "urn:other", "q"), 1);
    EXPECT_STREQ(QZ_XmlNsDict_FindKeyByValue(&d, "p"), "urn:inner");
    EXPECT_EQ(QZ_XmlNsDict_RemoveByValue(&d, "p"), 1);
    EXPECT_EQ(find("urn:inner"), nullptr);
    EXPECT_STREQ(find("urn:outer"), "p");
    EXPECT_EQ(d.entryCount, 3u); // a removed entry in the middle stays
    EXPECT_EQ(QZ_XmlNsDict_RemoveByValue(&d, "q"), 1);
    EXPECT_EQ(d.entryCount, 1u); // removed entries at the end are dropped
    EXPECT_EQ(QZ_XmlNsDict_RemoveByValue(&d, "p"), 1);
    EXPECT_EQ(d.entryCount, 0u);
    EXPECT_EQ(QZ_XmlNsDict_RemoveByValue(&d, "p"), 0);
}

TEST_F(Dict, PoolAndEntriesGrowBySizesAndKeepTheirTexts) {
    const std::string filler(4990, 'k');
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, filler.c_str(), "", 0), 1); // 4992 bytes
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "urn:x", "p", 0), 1);       // exactly the 8 bytes left
    EXPECT_EQ(d.textCapacity, 5000u);
    EXPECT_EQ(d.textUsed, 5000u);
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "urn:y", "q", 0), 1);
    EXPECT_EQ(d.textCapacity, 7000u); // at least the growth
    const std::string big(6000, 'u');
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, big.c_str(), "b", 0), 1);
    EXPECT_EQ(d.textCapacity, 7000u + 6003u); // a need above the growth grows by the need
    EXPECT_STREQ(find("urn:x"), "p");
    EXPECT_STREQ(find(big), "b");
    EXPECT_STREQ(find(filler), "");

    for (int i = 0; i < 47; ++i) ASSERT_EQ(QZ_XmlNsDict_Add(&d, ("k" + std::to_string(i)).c_str(), "v", 2), 1);
    EXPECT_EQ(d.entryCount, 51u);
    EXPECT_EQ(d.entryCapacity, 70u);
    EXPECT_STREQ(find("k0"), "v");
    EXPECT_STREQ(find("urn:y"), "q");

    // A value taken from the pool itself survives the pool moving.
    const char *inside = find("urn:y");
    const std::string huge(9000, 'z');
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, huge.c_str(), inside, 0), 1);
    EXPECT_STREQ(find(huge), "q");

    QZ_XmlNsDict_Reset(&d);
    EXPECT_EQ(d.entryCount, 0u);
    EXPECT_EQ(d.textUsed, 0u);
    EXPECT_EQ(find("k0"), nullptr);
}

TEST(DictInit, ZeroCapacitiesAllocateNothingAndStillGrow) {
    QZ_XmlNsDict d{};
    ASSERT_EQ(QZ_XmlNsDict_Init(&d, 0, 0, 5, 512), 1);
    EXPECT_EQ(d.entries, nullptr);
    EXPECT_EQ(d.text, nullptr);
    ASSERT_EQ(QZ_XmlNsDict_Add(&d, "e", "n", -1), 1);
    EXPECT_EQ(d.entryCapacity, 5u);
    EXPECT_EQ(d.textCapacity, 512u);
    EXPECT_STREQ(QZ_XmlNsDict_Lookup(&d, "e", 1), "n");
    QZ_XmlNsDict_Free(&d);
    EXPECT_EQ(d.entryCapacity, 0u);
}

} // namespace
