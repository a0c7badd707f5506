// Dynamic strings: capacities, the shared empty string, embedded zero bytes,
// self-referring sources, and the fixed-buffer trimming and comparison helpers.
#include "qz/qzcstr.h"
#include "qz/qzpgmmem.h"
#include "qz/qzstrings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// The size of the pool block that holds `data` (0 when the pool has none).
uint32_t blockSize(const void *data) {
    for (QZ_MemNode *n = QZ_GetDefaultPool()->first; n != nullptr; n = n->next) {
        if (n->raw == data) return n->size;
    }
    return 0;
}

std::string text(const QZ_CStr &s) { return std::string(s.data, s.length); }

class CoreCStr : public ::testing::Test {
protected:
    void SetUp() override {
        QZ_CStr_Init(&s);
        liveBefore = QZ_GetDefaultPool()->count;
    }
    void TearDown() override {
        QZ_CStr_Free(&s);
        EXPECT_EQ(QZ_GetDefaultPool()->count, liveBefore); // nothing leaked
    }
    QZ_CStr s{};
    uint32_t liveBefore = 0;
};

TEST_F(CoreCStr, FreshAndFreedStringsReadAsTheSharedEmptyText) {
    EXPECT_EQ(s.data, QZ_EmptyString);
    EXPECT_EQ(s.capacity, 0u);
    QZ_CStr_SetText(&s, "abc");
    QZ_CStr_Free(&s);
    QZ_CStr_Free(&s); // twice is harmless
    EXPECT_EQ(s.data, QZ_EmptyString);
    EXPECT_STREQ(QZ_CStr_Data(&s), "");
    EXPECT_EQ(QZ_CStr_IsEmpty(&s), 1);
    EXPECT_EQ(QZ_EmptyString[0], '\0');
}

TEST_F(CoreCStr, CapacityIsTheNextMultipleOf128StrictlyAbove) {
    const std::string bytes(300, 'x');
    QZ_CStr_Append(&s, bytes.data(), 127);
    EXPECT_EQ(s.capacity, 128u);
    EXPECT_EQ(blockSize(s.data), 129u);
    QZ_CStr_AppendChar(&s, 'y');
    EXPECT_EQ(s.capacity, 256u);
    EXPECT_EQ(blockSize(s.data), 257u);
    EXPECT_EQ(s.length, 128u);
    EXPECT_EQ(s.data[128], '\0');

    QZ_CStr_Free(&s);
    EXPECT_EQ(QZ_CStr_Reserve(&s, 0), 1);
    EXPECT_EQ(s.capacity, 0u); // nothing needed, nothing allocated
    EXPECT_EQ(QZ_CStr_Reserve(&s, 200), 1);
    EXPECT_EQ(s.capacity, 256u);
    EXPECT_EQ(QZ_CStr_Reserve(&s, 255), 1);
    EXPECT_EQ(s.capacity, 256u);
    EXPECT_EQ(QZ_CStr_Reserve(&s, 256), 1);
    EXPECT_EQ(s.capacity, 384u);
}

TEST_F(CoreCStr, SetAndAppendCopyExplicitLengthsIncludingZeroBytes) {
    QZ_CStr_Set(&s, "ab\0cd", 5);
    EXPECT_EQ(s.length, 5u);
    EXPECT_EQ(text(s), std::string("ab\0cd", 5));
    QZ_CStr_Append(&s, "e\0f", 3);
    EXPECT_EQ(text(s), std::string("ab\0cde\0f", 8));
    QZ_CStr_AppendText(&s, "g\0h");
    EXPECT_EQ(text(s), std::string("ab\0cde\0fg", 9));
    QZ_CStr_AppendChar(&s, '\0');
    EXPECT_EQ(s.length, 10u);

    QZ_CStr_Set(&s, nullptr, 3); // a null source changes nothing
    EXPECT_EQ(s.length, 10u);
    QZ_CStr_Append(&s, "zz", 0);
    EXPECT_EQ(s.length, 10u);
    QZ_CStr_SetText(&s, ""); // an empty text releases the block
    EXPECT_EQ(s.data, QZ_EmptyString);
    EXPECT_EQ(s.capacity, 0u);
}

TEST_F(CoreCStr, AssignConcatAndSelfReference) {
    QZ_CStr a;
    QZ_CStr b;
    QZ_CStr_Init(&a);
    QZ_CStr_Init(&b);
    QZ_CStr_SetText(&a, "left-");
    QZ_CStr_SetText(&b, "right");
    QZ_CStr_Concat(&s, &a, &b);
    EXPECT_EQ(text(s), "left-right");
    QZ_CStr_Assign(&s, &s);
    EXPECT_EQ(text(s), "left-right");
    QZ_CStr_Concat(&s, &a, &s); // the string itself as the tail
    EXPECT_EQ(text(s), "left-left-right");
    QZ_CStr_Concat(&s, &s, &b);
    EXPECT_EQ(text(s), "left-left-rightright");

    // Appending the string to itself while its block has to grow.
    QZ_CStr_SetText(&s, std::string(100, 'q').c_str());
    QZ_CStr_Append(&s, s.data, s.length);
    QZ_CStr_Append(&s, s.data + 50, 150);
    EXPECT_EQ(text(s), std::string(350, 'q'));
    QZ_CStr_Set(&s, s.data + 340, 10);
    EXPECT_EQ(text(s), std::string(10, 'q'));
    QZ_CStr_Free(&a);
    QZ_CStr_Free(&b);
}

TEST_F(CoreCStr, PadResizeAndTrimRight) {
    QZ_CStr_SetText(&s, "ab");
    QZ_CStr_PadRight(&s, 6, "*");
    EXPECT_EQ(text(s), "ab****");
    QZ_CStr_PadRight(&s, 3, "-"); // never shortens
    EXPECT_EQ(text(s), "ab****");
    QZ_CStr_SetText(&s, std::string(100, 'p').c_str());
    QZ_CStr_PadRight(&s, 101, " ");
    EXPECT_EQ(s.capacity, 256u); // the reserve asks for length + new length

    QZ_CStr_SetText(&s, "xy");
    EXPECT_EQ(QZ_CStr_Resize(&s, 5), 1);
    EXPECT_EQ(text(s), std::string("xy\0\0\0", 5));
    EXPECT_EQ(QZ_CStr_Resize(&s, 1), 1);
    EXPECT_EQ(s.length, 5u);

    QZ_CStr src;
    QZ_CStr_Init(&src);
    QZ_CStr_Set(&src, " a b \t  ", 8);
    QZ_CStr_AssignTrimRight(&s, &src);
    EXPECT_EQ(text(s), " a b \t"); // only blanks are dropped
    QZ_CStr_SetText(&src, "    ");
    QZ_CStr_AssignTrimRight(&s, &src);
    EXPECT_EQ(s.length, 0u);
    EXPECT_STREQ(s.data, "");
    QZ_CStr_SetText(&s, "self   ");
    QZ_CStr_AssignTrimRight(&s, &s);
    EXPECT_EQ(text(s), "self");
    QZ_CStr_Free(&src);
    QZ_CStr_Free(&s);
    // A fresh string trimmed from an empty one stays on the shared empty text.
    QZ_CStr_AssignTrimRight(&s, &src);
    EXPECT_EQ(s.data, QZ_EmptyString);
}

TEST(CoreCStrPrint, PrintsEveryByte) {
    QZ_CStr s;
    QZ_CStr_Init(&s);
    QZ_CStr_SetText(&s, "hello");
    testing::internal::CaptureStdout();
    QZ_CStr_Print(&s);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hello");
    QZ_CStr_Free(&s);
}

// Destination buffers are guarded: n + 1 bytes may be written, no more.
struct Guarded {
    char bytes[32];
    explicit Guarded() { std::memset(bytes, '#', sizeof bytes); }
    [[nodiscard]] bool intactFrom(size_t from) const {
        for (size_t i = from; i < sizeof bytes; ++i) {
            if (bytes[i] != '#') return false;
        }
        return true;
    }
};

TEST(CoreTrimBuffers, CopyTrimLeftAndTrim) {
    Guarded g;
    QZ_StrCopyTrimLeft(g.bytes, "   abc", 5);
    EXPECT_STREQ(g.bytes, "abc");
    EXPECT_EQ(std::memcmp(g.bytes, "abc\0\0\0", 6), 0); // zero-padded up to n
    EXPECT_TRUE(g.intactFrom(6));

    Guarded h;
    QZ_StrCopyTrimLeft(h.bytes, "  abcdefgh", 4);
    EXPECT_STREQ(h.bytes, "abcd");
    EXPECT_TRUE(h.intactFrom(5));

    Guarded t;
    QZ_StrCopyTrim(t.bytes, "  ab c   xyz", 8);
    EXPECT_STREQ(t.bytes, "ab c");
    EXPECT_TRUE(t.intactFrom(9));
    char same[16] = "   in place   ";
    QZ_StrCopyTrim(same, same, 15);
    EXPECT_STREQ(same, "in place");
}

TEST(CoreTextOps, RTrimCopyTrimAndConcat) {
    Guarded r;
    EXPECT_EQ(QZ_RTrimCopy(r.bytes, "ab  cd  ", 5), r.bytes);
    EXPECT_STREQ(r.bytes, "ab  c");
    EXPECT_TRUE(r.intactFrom(6));
    QZ_RTrimCopy(r.bytes, "ab  cd  x", 7);
    EXPECT_STREQ(r.bytes, "ab  cd");
    Guarded q;
    QZ_RTrimCopy(q.bytes, "    ", 10);
    EXPECT_STREQ(q.bytes, "");

    Guarded t;
    QZ_Trim(t.bytes, "   mid dle   ", 20);
    EXPECT_STREQ(t.bytes, "mid dle");
    Guarded t2;
    QZ_Trim(t2.bytes, "  abcdef", 5); // the bound applies before the leading blanks go
    EXPECT_STREQ(t2.bytes, "abc");
    EXPECT_TRUE(t2.intactFrom(6));

    Guarded c;
    EXPECT_EQ(QZ_StrConcat(c.bytes, 7, 3, "abc", static_cast<const char *>(nullptr), "defgh"), c.bytes);
    EXPECT_STREQ(c.bytes, "abcdefg");
    EXPECT_TRUE(c.intactFrom(8));
    Guarded e;
    QZ_StrConcat(e.bytes, 10, 0);
    EXPECT_STREQ(e.bytes, "");
}

TEST(CoreTextOps, CompareWithTrailingBlanks) {
    EXPECT_EQ(QZ_StrCmpTrim("abc", "abc", 1), 0);
    EXPECT_EQ(QZ_StrCmpTrim("abc   ", "abc", 1), 0);
    EXPECT_EQ(QZ_StrCmpTrim("abc", "abc  ", 1), 0);
    EXPECT_EQ(QZ_StrCmpTrim("abc  x", "abc", 1), 4);
    EXPECT_EQ(QZ_StrCmpTrim("ab", "ab  c", 1), -3);
    EXPECT_EQ(QZ_StrCmpTrim("abd", "abc", 1), 3);
    EXPECT_EQ(QZ_StrCmpTrim("abb", "abc", 1), -3);
    EXPECT_EQ(QZ_StrCmpTrim("", "", 1), 0);
    // Signed bytes: a byte above 127 sorts below plain ASCII.
    EXPECT_EQ(QZ_StrCmpTrim("a\xE9", "ab", 1), -2);
    // Other modes: b a prefix of a is equality.
    EXPECT_EQ(QZ_StrCmpTrim("abcdef", "abc", 0), 0);
    EXPECT_EQ(QZ_StrCmpTrim("abc", "abc ", 0), -4);
    EXPECT_EQ(QZ_StrCmpTrim("abz", "abc", 2), 3);
}

TEST(CoreTextOps, CaseInsensitiveCompare) {
    EXPECT_EQ(QZ_StrICmp("Content-Type", "CONTENT-type"), 0);
    EXPECT_EQ(QZ_StrICmp("abc", "abd"), -3);
    EXPECT_EQ(QZ_StrICmp("abD", "abc"), 3);
    EXPECT_EQ(QZ_StrICmp("abcd", "abc"), 4);
    EXPECT_EQ(QZ_StrICmp("ab", "abc"), -3);
    EXPECT_EQ(QZ_StrICmp("", ""), 0);
    EXPECT_EQ(QZ_StrICmp(nullptr, "a"), -1);
}

} // namespace
