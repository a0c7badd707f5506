// Memory pool: list order, request numbers, check-mode frames and the reports.
#include "qz/qzpgmmem.h"
#include "runtime/qzpgmmem_testing.h"
#include "test_core_env.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

namespace {

using qztest::pointerText;
using qztest::TraceCapture;

// A pool created with check mode on; the switch is turned off again at once so
// that no other pool of the test program is affected.
QZ_MemPool *checkedPool() {
    QZ_MemSetCheckMode(1);
    QZ_MemPool *pool = QZ_MemPool_new();
    QZ_MemSetCheckMode(0);
    return pool;
}

unsigned char *rawOf(void *p) { return static_cast<unsigned char *>(p) - 8; }

TEST(CorePool, RequestNumbersAndListOrder) {
    QZ_MemPool *pool = QZ_MemPool_new();
    std::vector<void *> blocks;
    for (int i = 0; i < 9; ++i) blocks.push_back(QZ_malloc(pool, 16, "t", i));
    QZ_free(pool, blocks[0]);
    QZ_free(pool, blocks[4]);
    void *tenth = QZ_malloc(pool, 5, "t", 10);
    EXPECT_EQ(pool->last->request, 10u);
    EXPECT_EQ(pool->requests, 10u);
    EXPECT_EQ(pool->count, 8u);
    EXPECT_EQ(pool->totalSize, 7u * 16 + 5);

    // Oldest first, both ways, without the released ones.
    std::vector<uint32_t> forward;
    for (QZ_MemNode *n = pool->first; n != nullptr; n = n->next) forward.push_back(n->request);
    EXPECT_EQ(forward, (std::vector<uint32_t>{2, 3, 4, 6, 7, 8, 9, 10}));
    std::vector<uint32_t> backward;
    for (QZ_MemNode *n = pool->last; n != nullptr; n = n->previous) backward.push_back(n->request);
    EXPECT_EQ(backward, (std::vector<uint32_t>{10, 9, 8, 7, 6, 4, 3, 2}));

    // Releasing the newest makes its predecessor the last.
    QZ_free(pool, tenth);
    EXPECT_EQ(pool->last->request, 9u);
    EXPECT_EQ(pool->last->next, nullptr);
    QZ_MemPool_delete(pool);
}

TEST(CorePool, ReleasingTheOnlyBlockEmptiesThePool) {
    QZ_MemPool *pool = QZ_MemPool_new();
    void *p = QZ_malloc(pool, 3, "t", 1);
    QZ_free(pool, p);
    EXPECT_EQ(pool->first, nullptr);
    EXPECT_EQ(pool->last, nullptr);
    EXPECT_EQ(pool->count, 0u);
    EXPECT_EQ(pool->totalSize, 0u);
    QZ_MemPool_delete(pool);
}

TEST(CorePool, NullPoolMeansTheDefaultPoolCreatedOnFirstUse) {
    QZ_MemPool *saved = QZ_GetDefaultPool();
    QZ_SetDefaultPool(nullptr);
    void *p = QZ_malloc(nullptr, 12, "t", 1);
    ASSERT_NE(p, nullptr);
    QZ_MemPool *created = QZ_GetDefaultPool();
    ASSERT_NE(created, nullptr);
    EXPECT_NE(created, saved);
    EXPECT_EQ(created->count, 1u);
    p = QZ_realloc(nullptr, p, 40);
    EXPECT_EQ(created->totalSize, 40u);
    QZ_free(nullptr, p);
    EXPECT_EQ(created->count, 0u);
    QZ_MemPool_delete(created);
    // Deleting the default pool forgets it: the next use starts a fresh one.
    void *again = QZ_malloc(nullptr, 1, "t", 2);
    EXPECT_EQ(QZ_GetDefaultPool()->count, 1u);
    EXPECT_EQ(QZ_GetDefaultPool()->requests, 1u);
    QZ_free(nullptr, again);
    QZ_MemPool_delete(QZ_GetDefaultPool());
    QZ_SetDefaultPool(saved);
}

TEST(CorePool, ResizeKeepsContentsCountsAndRequest) {
    QZ_MemPool *pool = QZ_MemPool_new();
    auto *p = static_cast<char *>(QZ_malloc(pool, 8, "t", 1));
    QZ_malloc(pool, 4, "t", 2);
    std::memcpy(p, "abcdefg", 8);
    auto *q = static_cast<char *>(QZ_realloc(pool, p, 100000));
    ASSERT_NE(q, nullptr);
    EXPECT_STREQ(q, "abcdefg");
    EXPECT_EQ(pool->count, 2u);
    EXPECT_EQ(pool->requests, 2u);
    EXPECT_EQ(pool->first->request, 1u);
    EXPECT_EQ(pool->totalSize, 100004u);
    // A pointer the pool does not hold is refused and changes nothing.
    char outside[8];
    EXPECT_EQ(QZ_realloc(pool, outside, 16), nullptr);
    QZ_free(pool, q);
    EXPECT_EQ(pool->count, 1u);
    EXPECT_EQ(pool->totalSize, 4u);
    QZ_MemPool_delete(pool);
}

TEST(CorePool, UncheckedPoolIgnoresForeignPointersSilently) {
    TraceCapture trace(0);
    QZ_MemPool *pool = QZ_MemPool_new();
    void *p = QZ_malloc(pool, 10, "t", 1);
    int local = 0;
    QZ_free(pool, &local);
    EXPECT_EQ(pool->count, 1u);
    QZ_free(pool, p);
    QZ_MemPool_delete(pool); // no report outside check mode
    EXPECT_EQ(trace.text(), "");
}

TEST(CorePool, CheckedLayoutFramesAndFillsTheData) {
    QZ_MemPool *pool = checkedPool();
    auto *p = static_cast<unsigned char *>(QZ_malloc(pool, 5, "a-source-tag-longer-than-thirty-chars", 77));
    unsigned char *raw = rawOf(p);
    EXPECT_EQ(static_cast<void *>(raw), pool->last->raw);
    uint32_t sizeWord = 0;
    std::memcpy(&sizeWord, raw, 4);
    EXPECT_EQ(sizeWord, 5u);
    const unsigned char expected[] = {0xFD, 0xFD, 0xFD, 0xFD, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD, 0xFD, 0xFD, 0xFD, 0xFD};
    EXPECT_EQ(std::memcmp(raw + 4, expected, sizeof expected), 0);
    EXPECT_STREQ(pool->last->source, "a-source-tag-longer-than-thirt");
    EXPECT_EQ(pool->last->line, 77);
    EXPECT_EQ(qz_MemNode_check(pool->last), QZ_MEM_OK);

    // Resizing moves the tail guard and the size word with the size.
    p = static_cast<unsigned char *>(QZ_realloc(pool, p, 9));
    raw = rawOf(p);
    std::memcpy(&sizeWord, raw, 4);
    EXPECT_EQ(sizeWord, 9u);
    EXPECT_EQ(std::memcmp(raw + 8 + 9, expected, 4), 0);
    EXPECT_EQ(qz_MemNode_check(pool->last), QZ_MEM_OK);
    QZ_free(pool, p);
    QZ_MemPool_delete(pool);
}

TEST(CorePool, CheckedReleaseNamesTheBrokenFrameAndStillReleases) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    auto *tail = static_cast<unsigned char *>(QZ_malloc(pool, 6, "tailsrc", 11));
    auto *head = static_cast<unsigned char *>(QZ_malloc(pool, 7, "headsrc", 12));
    auto *size = static_cast<unsigned char *>(QZ_malloc(pool, 8, "sizesrc", 13));
    tail[6] = 0;     // one byte past the data
    head[-1] = 0;    // one byte before it
    size[-8] = 0x55; // the size word
    const std::string tailRaw = pointerText(rawOf(tail));
    const std::string headRaw = pointerText(rawOf(head));
    const std::string sizeRaw = pointerText(rawOf(size));
    QZ_free(pool, tail);
    QZ_free(pool, head);
    QZ_free(pool, size);
    EXPECT_EQ(pool->count, 0u);
    EXPECT_EQ(pool->totalSize, 0u);
    QZ_MemPool_delete(pool);

    const std::vector<std::string> expected = {
        "QZ_MemManager::qz_MemNode_delete invalid Block found at " + tailRaw + " (BadTail)",
        "Memory block at " + tailRaw + ", request# 1, size 6 bytes, allocated in source tailsrc at line 11",
        "QZ_MemManager::qz_MemNode_delete invalid Block found at " + headRaw + " (Bad Header)",
        "Memory block at " + headRaw + ", request# 2, size 7 bytes, allocated in source headsrc at line 12",
        "QZ_MemManager::qz_MemNode_delete invalid Block found at " + sizeRaw + " (Bad Size)",
        "Memory block at " + sizeRaw + ", request# 3, size 8 bytes, allocated in source sizesrc at line 13",
        "QZ_MemManager::QZ_MemPool_delete No leaks",
    };
    EXPECT_EQ(trace.messages(), expected);
}

TEST(CorePool, CheckedPoolReportsForeignPointers) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    alignas(8) unsigned char local[16] = {};
    QZ_free(pool, local + 8);
    QZ_MemPool_delete(pool);
    const std::vector<std::string> expected = {
        "QZ_MemManager::qz_MemNode_delete Block not found at " + pointerText(local),
        "QZ_MemManager::QZ_MemPool_delete No leaks",
    };
    EXPECT_EQ(trace.messages(), expected);
}

// A block that moves while it grows takes its place in the list with it.
TEST(CorePool, ResizeThatMovesABlockKeepsItsPlaceInTheList) {
    for (const bool check : {false, true}) {
        QZ_MemPool *pool = check ? checkedPool() : QZ_MemPool_new();
        void *a = QZ_malloc(pool, 16, "t", 1);
        void *b = QZ_malloc(pool, 16, "t", 2);
        void *c = QZ_malloc(pool, 16, "t", 3);
        std::memcpy(b, "middle", 7);
        void *moved = QZ_realloc(pool, b, 1 << 20); // far too big to grow in place
        ASSERT_NE(moved, nullptr);
        EXPECT_STREQ(static_cast<char *>(moved), "middle");
        std::vector<uint32_t> forward;
        for (QZ_MemNode *n = pool->first; n != nullptr; n = n->next) forward.push_back(n->request);
        EXPECT_EQ(forward, (std::vector<uint32_t>{1, 2, 3}));
        std::vector<uint32_t> backward;
        for (QZ_MemNode *n = pool->last; n != nullptr; n = n->previous) backward.push_back(n->request);
        EXPECT_EQ(backward, (std::vector<uint32_t>{3, 2, 1}));
        EXPECT_EQ(pool->first->next->size, 1u << 20);
        EXPECT_EQ(qz_MemNode_check(pool->first->next), QZ_MEM_OK);
        EXPECT_NE(QZ_realloc(pool, moved, 8), nullptr); // found at its new address
        QZ_free(pool, a);
        QZ_free(pool, c);
        EXPECT_EQ(pool->first, pool->last);
        QZ_MemPool_delete(pool);
    }
}

// Pointers the pool never handed out, where a record could be expected to lie:
// inside one of its own blocks, and a block of another pool.
TEST(CorePool, PointersIntoBlocksAndOtherPoolsAreNotFound) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    QZ_MemPool *other = QZ_MemPool_new();
    auto *big = static_cast<unsigned char *>(QZ_malloc(pool, 512, "t", 1));
    std::memset(big, 0, 512); // what a record check reads there is defined
    void *foreign = QZ_malloc(other, 32, "t", 2);
    QZ_free(pool, big + 256);
    QZ_free(pool, foreign);
    EXPECT_EQ(QZ_realloc(pool, big + 128, 8), nullptr);
    EXPECT_EQ(pool->count, 1u);
    EXPECT_EQ(other->count, 1u);
    QZ_free(other, foreign);
    QZ_free(pool, big);
    QZ_MemPool_delete(other);
    QZ_MemPool_delete(pool);
    const std::vector<std::string> expected = {
        "QZ_MemManager::qz_MemNode_delete Block not found at " + pointerText(big + 256 - 8),
        "QZ_MemManager::qz_MemNode_delete Block not found at " + pointerText(static_cast<char *>(foreign) - 8),
        "QZ_MemManager::QZ_MemPool_delete No leaks",
    };
    EXPECT_EQ(trace.messages(), expected);
}

TEST(CorePool, LeakReportListsLiveBlocksOldestFirst) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    void *a = QZ_malloc(pool, 10, "hwendle", 168);
    QZ_free(pool, QZ_malloc(pool, 99, "gone", 1));
    void *b = QZ_malloc(pool, 20, "qzmsglist", 43);
    const std::string aRaw = pointerText(rawOf(a));
    const std::string bRaw = pointerText(rawOf(b));
    QZ_MemPool_delete(pool);
    const std::vector<std::string> expected = {
        "QZ_MemManager::QZ_MemPool_delete *** WARNING MEMORYLEAKS ***",
        "Deallocating Blocks: 2 Blocks found, total size 30 bytes",
        "Memory block at " + aRaw + ", request# 1, size 10 bytes, allocated in source hwendle at line 168",
        "Memory block at " + bRaw + ", request# 3, size 20 bytes, allocated in source qzmsglist at line 43",
    };
    EXPECT_EQ(trace.messages(), expected);
}

// Many blocks released in random order, the oldest and the newest among them:
// the walks both ways and the leak report keep allocation order.
TEST(CorePool, RandomReleaseKeepsAllocationOrderForWalksAndLeakReport) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    std::vector<void *> blocks;
    std::vector<uint32_t> live; // request numbers, oldest first
    uint32_t seed = 12345;
    auto random = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8); };
    for (uint32_t round = 0; round < 5000; ++round) {
        blocks.push_back(QZ_malloc(pool, random() % 40, "r", static_cast<int32_t>(round)));
        live.push_back(round + 1);
        if (random() % 3 != 0) { // release a random live block, often the oldest or the newest
            const uint32_t pick = random() % 4;
            size_t at = pick == 0 ? 0 : pick == 1 ? blocks.size() - 1 : random() % blocks.size();
            QZ_free(pool, blocks[at]);
            blocks.erase(blocks.begin() + static_cast<long>(at));
            live.erase(live.begin() + static_cast<long>(at));
        }
    }
    ASSERT_EQ(pool->count, live.size());
    std::vector<uint32_t> forward;
    for (QZ_MemNode *n = pool->first; n != nullptr; n = n->next) forward.push_back(n->request);
    EXPECT_EQ(forward, live);
    std::vector<uint32_t> backward;
    for (QZ_MemNode *n = pool->last; n != nullptr; n = n->previous) backward.push_back(n->request);
    EXPECT_EQ(backward, std::vector<uint32_t>(live.rbegin(), live.rend()));

    QZ_MemPool_delete(pool);
    const std::vector<std::string> messages = trace.messages();
    ASSERT_EQ(messages.size(), live.size() + 2);
    EXPECT_EQ(messages[0], "QZ_MemManager::QZ_MemPool_delete *** WARNING MEMORYLEAKS ***");
    for (size_t i = 0; i < live.size(); ++i) {
        const std::string prefix = "Memory block at " + pointerText(rawOf(blocks[i])) + ", request# " +
                                   std::to_string(live[i]) + ", size ";
        EXPECT_EQ(messages[i + 2].compare(0, prefix.size(), prefix), 0) << messages[i + 2];
        EXPECT_NE(messages[i + 2].find("allocated in source r at line " + std::to_string(live[i] - 1)),
                  std::string::npos);
    }
}

TEST(CorePool, SecondReleaseOfABlockIsNotFound) {
    TraceCapture trace(0);
    QZ_MemPool *pool = checkedPool();
    void *keep = QZ_malloc(pool, 16, "t", 1);
    void *p = QZ_malloc(pool, 16, "t", 2);
    const std::string raw = pointerText(rawOf(p));
    QZ_free(pool, p);
    QZ_free(pool, p); // the block's memory is back with the system allocator
    EXPECT_EQ(pool->count, 1u);
    EXPECT_EQ(pool->first, pool->last);
    QZ_free(pool, keep);
    QZ_MemPool_delete(pool);
    const std::vector<std::string> expected = {
        "QZ_MemManager::qz_MemNode_delete Block not found at " + raw,
        "QZ_MemManager::QZ_MemPool_delete No leaks",
    };
    EXPECT_EQ(trace.messages(), expected);
}

// A block released twice among live neighbours on its page: the page map
// alone would let the second release through, so only the cleared seal can
// refuse it (a store the compiler must not drop as dead before free()).
TEST(CorePool, SecondReleaseAmongLiveNeighboursChangesNothing) {
    for (const bool checked : {false, true}) {
        TraceCapture trace(0);
        QZ_MemPool *pool = checked ? checkedPool() : QZ_MemPool_new();
        std::vector<void *> blocks;
        for (int i = 0; i < 64; ++i) blocks.push_back(QZ_malloc(pool, 16, "t", i));
        void *twice = blocks[32];
        QZ_free(pool, twice);
        QZ_free(pool, twice);
        EXPECT_EQ(pool->count, 63u);
        size_t walked = 0;
        for (QZ_MemNode *n = pool->first; n != nullptr; n = n->next) ++walked;
        EXPECT_EQ(walked, 63u);
        for (size_t i = 0; i < blocks.size(); ++i) {
            if (i != 32) QZ_free(pool, blocks[i]);
        }
        EXPECT_EQ(pool->count, 0u);
        EXPECT_EQ(pool->first, nullptr);
        QZ_MemPool_delete(pool);
        const std::vector<std::string> messages = trace.messages();
        if (!checked) {
            EXPECT_TRUE(messages.empty()); // an unchecked pool refuses silently
            continue;
        }
        const std::vector<std::string> expected = {
            "QZ_MemManager::qz_MemNode_delete Block not found at " + pointerText(rawOf(twice)),
            "QZ_MemManager::QZ_MemPool_delete No leaks",
        };
        EXPECT_EQ(messages, expected);
    }
}

// A pool emptied completely, again and again: first and last follow.
TEST(CorePool, EmptiedPoolStartsItsOrderAgain) {
    QZ_MemPool *pool = QZ_MemPool_new();
    for (int round = 0; round < 3; ++round) {
        std::vector<void *> blocks;
        for (int i = 0; i < 200; ++i) blocks.push_back(QZ_malloc(pool, 8, "t", i));
        for (size_t i = 0; i < blocks.size(); i += 2) QZ_free(pool, blocks[i]);
        for (size_t i = 1; i < blocks.size(); i += 2) QZ_free(pool, blocks[i]);
        EXPECT_EQ(pool->first, nullptr);
        EXPECT_EQ(pool->last, nullptr);
        EXPECT_EQ(pool->count, 0u);
    }
    void *p = QZ_malloc(pool, 8, "t", 1);
    EXPECT_EQ(pool->first, pool->last);
    EXPECT_EQ(pool->first->request, 601u);
    EXPECT_EQ(pool->first->next, nullptr);
    EXPECT_EQ(pool->first->previous, nullptr);
    QZ_free(pool, p);
    QZ_MemPool_delete(pool);
}

TEST(CorePool, ErrorTexts) {
    EXPECT_STREQ(QZ_MemErrorText(0), "No Error");
    EXPECT_STREQ(QZ_MemErrorText(1), "Bad Size");
    EXPECT_STREQ(QZ_MemErrorText(2), "Bad Header");
    EXPECT_STREQ(QZ_MemErrorText(3), "BadTail");
    EXPECT_STREQ(QZ_MemErrorText(4), "Unknoun Error");
    EXPECT_STREQ(QZ_MemErrorText(-1), "Unknoun Error");
}

volatile std::sig_atomic_t g_traps = 0;
extern "C" void countTrap(int) { g_traps = g_traps + 1; }

TEST(CorePool, BreakRequestRaisesTrapAtThatRequest) {
    auto previous = std::signal(SIGTRAP, countTrap);
    QZ_MemPool *pool = QZ_MemPool_new();
    QZ_MemSetBreakRequest(3);
    QZ_malloc(pool, 1, "t", 1);
    QZ_malloc(pool, 1, "t", 2);
    EXPECT_EQ(g_traps, 0);
    QZ_malloc(pool, 1, "t", 3);
    EXPECT_EQ(g_traps, 1);
    QZ_malloc(pool, 1, "t", 4);
    EXPECT_EQ(g_traps, 1);
    QZ_MemSetBreakRequest(0xFFFFFFFFu);
    QZ_MemPool_delete(pool);
    std::signal(SIGTRAP, previous);
}

TEST(CorePool, ZeroSizedBlocksAreDistinctAndReleasable) {
    QZ_MemPool *pool = checkedPool();
    void *a = QZ_malloc(pool, 0, "t", 1);
    void *b = QZ_malloc(pool, 0, "t", 2);
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(qz_MemNode_check(pool->first), QZ_MEM_OK);
    QZ_free(pool, a);
    QZ_free(pool, b);
    EXPECT_EQ(pool->count, 0u);
    QZ_MemPool_delete(pool);
}

} // namespace

// The failure switch that the allocation-failure walks of the other areas use.
TEST(CorePool, FailureSwitchFailsOnlyTheChosenAllocation) {
    QZ_MemPool *pool = QZ_MemPool_new();
    qz_MemPool_FailAllocation(3);
    void *a = QZ_malloc(pool, 8, "t", 1);
    void *b = QZ_malloc(pool, 8, "t", 2);
    void *c = QZ_malloc(pool, 8, "t", 3);
    void *d = QZ_malloc(pool, 8, "t", 4);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    EXPECT_EQ(pool->count, 3u);
    // A failed resize leaves the block as it was.
    qz_MemPool_FailAllocation(1);
    std::memset(a, 'x', 8);
    EXPECT_EQ(QZ_realloc(pool, a, 4096), nullptr);
    EXPECT_EQ(static_cast<unsigned char *>(a)[7], 'x');
    EXPECT_EQ(qz_MemPool_AllocationsCounted(), 1);
    qz_MemPool_FailAllocation(0);
    EXPECT_NE(QZ_realloc(pool, a, 4096), nullptr);
    QZ_MemPool_delete(pool);
}
