// Tracked memory pool. Every block carries a record with its request number
// (and, in check mode, its source tag and line) so that the pool can report what
// was never released; in check mode each block is framed by a size word and two
// guards that are validated when the block is released.
//
// The record sits in front of the block, in the same system allocation:
//
//     [ QZ_MemNode | raw block: (size word, head guard) data (tail guard) ]
//
// so an allocation costs one malloc and a release finds its record by address
// arithmetic, whatever the number of live blocks. The records also form a doubly
// linked list in allocation order, which the leak report walks oldest first.
//
// A pointer the pool never handed out must still be answered "not found"
// without harm. Before the record in front of a pointer is trusted, three
// things must hold: the record would be aligned as the system allocator aligns,
// its memory page holds the record of some live block (a page map counts them,
// so a pointer into the stack or static data is refused without a read), and
// its seal, which mixes the record's own address with a random key of the pool,
// matches.

#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "runtime/qzpgmmem_testing.h"
#include "runtime/qzrequest_reset.h"

#include <sys/auxv.h>

#include <csignal>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned char kGuardByte = 0xFD;
constexpr unsigned char kFreshFill = 0xCD;
constexpr unsigned char kReleasedFill = 0xFE;
constexpr int16_t kCheckedWordLength = 4;
constexpr size_t kSystemAlignment = 16;

// Outside check mode the record ends before the source text.
constexpr size_t kPlainRecord = offsetof(QZ_MemNode, source);
constexpr size_t kCheckedRecord = sizeof(QZ_MemNode);
static_assert(kPlainRecord % kSystemAlignment == 0 && kCheckedRecord % kSystemAlignment == 0,
              "the caller's data keeps the system allocator's alignment");

// Process-wide settings. The layout lengths are fixed per pool when it is
// created, so that tests can create a checked pool beside an unchecked one.
int16_t g_checkMode = 0;
int16_t g_initialised = 0;
uint32_t g_breakRequest = 0xFFFFFFFFu;
QZ_MemPool *g_defaultPool = nullptr;
uintptr_t g_keyCounter = 0;

// The test switch: which allocation from the last arming fails (0: none).
int64_t g_failNth = 0;
int64_t g_allocationsCounted = 0;

bool injectedFailure() {
    ++g_allocationsCounted;
    return g_failNth != 0 && g_allocationsCounted == g_failNth;
}

// ---- Page map: how many live records start on each 4 KiB page -------------
//
// Two levels over the 48-bit address space: a root of 2^18 entries, each a leaf
// of 2^18 counters covering 1 GiB. Leaves are created on first use and kept for
// the life of the process (their untouched parts cost no memory).
constexpr unsigned kPageShift = 12;
constexpr unsigned kLeafBits = 18;
constexpr unsigned kAddressBits = 48;
constexpr size_t kRootEntries = size_t{1} << (kAddressBits - kPageShift - kLeafBits);
constexpr size_t kLeafEntries = size_t{1} << kLeafBits;

uint16_t *g_pageLeaves[kRootEntries];

// Creates the leaf of an address that has none yet (rare: once per GiB).
__attribute__((noinline)) uint16_t *newLeaf(uintptr_t address) {
    uint16_t *&leaf = g_pageLeaves[(address >> kPageShift) >> kLeafBits];
    leaf = static_cast<uint16_t *>(std::calloc(kLeafEntries, sizeof(uint16_t)));
    return leaf;
}

inline uint16_t *pageCounter(uintptr_t address, bool create) {
    if ((address >> kAddressBits) != 0) return nullptr;
    const uintptr_t page = address >> kPageShift;
    uint16_t *leaf = g_pageLeaves[page >> kLeafBits];
    if (leaf == nullptr) {
        if (!create) return nullptr;
        leaf = newLeaf(address);
        if (leaf == nullptr) return nullptr;
    }
    return &leaf[page & (kLeafEntries - 1)];
}

// A 4 KiB page holds at most 4096 / 48 records, far below the counter's range.
inline bool countRecord(const QZ_MemNode *node) {
    uint16_t *counter = pageCounter(reinterpret_cast<uintptr_t>(node), true);
    if (counter == nullptr) return false;
    ++*counter;
    return true;
}

// ---- Layout of one pool --------------------------------------------------

// What a pool's blocks look like, read once per call from the pool record
// (the record's fields would otherwise be read again after every store to a
// block record, which might alias them).
struct Layout {
    bool checked;
    size_t record;   // bytes of the block record
    size_t offset;   // from the raw block to the caller's data
    size_t overhead; // raw block bytes beyond the caller's data
    uintptr_t key;
};

Layout layoutOf(const QZ_MemPool *pool) {
    const auto sizeWord = static_cast<size_t>(pool->sizeWordLength);
    const auto guard = static_cast<size_t>(pool->guardLength);
    const bool isChecked = guard != 0;
    return Layout{isChecked, isChecked ? kCheckedRecord : kPlainRecord, sizeWord + guard, sizeWord + 2 * guard,
                  pool->key};
}

bool checked(const QZ_MemPool *pool) { return pool->guardLength != 0; }

size_t dataOffset(const QZ_MemPool *pool) { return layoutOf(pool).offset; }

// The seal's lowest bit tells a checked record (with the members after `size`)
// from a plain one.
uintptr_t sealOf(const Layout &layout, const QZ_MemNode *node) {
    const uintptr_t mixed = (reinterpret_cast<uintptr_t>(node) * 0x9E3779B97F4A7C15u) ^ layout.key;
    return (mixed & ~uintptr_t{1}) | (layout.checked ? 1u : 0u);
}

bool isCheckedRecord(const QZ_MemNode *node) { return (node->seal & 1u) != 0; }

// A key nobody can guess from outside: the random bytes the kernel hands every
// process, the pool's address and a counter, mixed.
uintptr_t newKey(const QZ_MemPool *pool) {
    uint64_t seed = 0x243F6A8885A308D3u;
    if (const auto *random = reinterpret_cast<const unsigned char *>(getauxval(AT_RANDOM)); random != nullptr)
        std::memcpy(&seed, random, sizeof seed);
    uint64_t z = seed + reinterpret_cast<uintptr_t>(pool) + (++g_keyCounter) * 0x9E3779B97F4A7C15u;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return static_cast<uintptr_t>(z ^ (z >> 31)) | 1u;
}

unsigned char *rawBytes(const QZ_MemNode *node) { return static_cast<unsigned char *>(node->raw); }

// The raw address a caller's pointer stands for. Computed on integers: a pointer
// the pool never handed out must not make the arithmetic itself undefined.
uintptr_t rawAddressOf(const Layout &layout, const void *ptr) {
    return reinterpret_cast<uintptr_t>(ptr) - layout.offset;
}

// Reads the seal in front of a pointer that may not be ours. The page map has
// shown that the page holds a record, so the read stays inside mapped memory;
// it may still land in memory the sanitizer has reserved, which is the point of
// the check, so the read itself is not instrumented (and, in a sanitizer build,
// not inlined into a function that is).
#if defined(__SANITIZE_ADDRESS__)
#define QZ_POOL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QZ_POOL_SANITIZED 1
#endif
#endif
#ifdef QZ_POOL_SANITIZED
__attribute__((no_sanitize("address"), noinline))
#endif
inline uintptr_t readSealUnchecked(uintptr_t nodeAddress) {
    return *reinterpret_cast<const volatile uintptr_t *>(nodeAddress + offsetof(QZ_MemNode, seal));
}

// Clears the seal of a record about to go back to the system allocator, so
// that a second release of its pointer finds nothing. A plain store right in
// front of free() is dead to the compiler and would be dropped, leaving the
// seal intact in freed memory for a second release to trust.
void clearSeal(QZ_MemNode *node) {
    *reinterpret_cast<volatile uintptr_t *>(&node->seal) = 0;
}

// The record of a live block of this pool at the caller's pointer, or null;
// `counter` receives the record's page counter.
QZ_MemNode *findRecord(const Layout &layout, const void *ptr, uint16_t *&counter) {
    const uintptr_t raw = rawAddressOf(layout, ptr);
    const uintptr_t nodeAddress = raw - layout.record;
    if (nodeAddress % kSystemAlignment != 0 || nodeAddress > raw) return nullptr;
    counter = pageCounter(nodeAddress, false);
    if (counter == nullptr || *counter == 0) return nullptr;
    auto *node = reinterpret_cast<QZ_MemNode *>(nodeAddress);
    if (readSealUnchecked(nodeAddress) != sealOf(layout, node)) return nullptr;
    return node;
}

// Size word, head guard and tail guard of a checked block of `size` data bytes.
void writeFrame(unsigned char *raw, uint32_t size) {
    std::memcpy(raw, &size, sizeof size);
    std::memset(raw + kCheckedWordLength, kGuardByte, kCheckedWordLength);
    std::memset(raw + 2 * kCheckedWordLength + size, kGuardByte, kCheckedWordLength);
}

bool guardIntact(const unsigned char *guard) {
    for (int i = 0; i < kCheckedWordLength; ++i) {
        if (guard[i] != kGuardByte) return false;
    }
    return true;
}

// Points the neighbours (or the pool's ends) at the node's current address.
void relink(QZ_MemPool *pool, QZ_MemNode *node) {
    if (node->previous != nullptr) {
        node->previous->next = node;
    } else {
        pool->first = node;
    }
    if (node->next != nullptr) {
        node->next->previous = node;
    } else {
        pool->last = node;
    }
}

// With many live blocks the neighbours lie on pages far apart, each a cache
// and TLB miss of its own. Both links are read before either is written, so
// that the two stores do not wait for one another (a store through one
// neighbour could alias the record as far as the compiler knows, and would
// make it read the record again in between).
void unlink(QZ_MemPool *pool, QZ_MemNode *node) {
    QZ_MemNode *const previous = node->previous;
    QZ_MemNode *const next = node->next;
    if (previous != nullptr) {
        previous->next = next;
    } else {
        pool->first = next;
    }
    if (next != nullptr) {
        next->previous = previous;
    } else {
        pool->last = previous;
    }
}

// The list changes are bracketed by a process-wide lock. The program runs one
// thread, so entering and leaving it does nothing.
struct PoolLock {
    void enter() {}
    void leave() {}
};
PoolLock g_poolLock;

QZ_MemPool *resolve(QZ_MemPool *pool) { return pool != nullptr ? pool : QZ_GetDefaultPool(); }

bool sizeFits(size_t size) { return size <= UINT32_MAX - 16u; }

// The release shared by QZ_free and qz_MemNode_delete (exported functions
// are not inlined into one another, so both call this one).
void releaseBlock(QZ_MemPool *pool, void *ptr) {
    if (pool == nullptr) return;
    const Layout layout = layoutOf(pool);
    g_poolLock.enter();
    uint16_t *counter = nullptr;
    QZ_MemNode *node = findRecord(layout, ptr, counter);
    if (node == nullptr) {
        if (layout.checked) {
            QZ_Trace(0, "QZ_MemManager::qz_MemNode_delete Block not found at %p",
                     reinterpret_cast<void *>(rawAddressOf(layout, ptr)));
        }
        g_poolLock.leave();
        return;
    }
    unlink(pool, node);
    --*counter;
    pool->count -= 1;
    pool->totalSize -= node->size;

    if (layout.checked) {
        const int16_t code = qz_MemNode_check(node);
        if (code != QZ_MEM_OK) {
            QZ_Trace(0, "QZ_MemManager::qz_MemNode_delete invalid Block found at %p (%s)",
                     static_cast<void *>(rawBytes(node)), QZ_MemErrorText(code));
            qz_MemNode_dump(node);
        } else {
            std::memset(rawBytes(node) + layout.offset, kReleasedFill, node->size);
        }
    }
    clearSeal(node);
    std::free(node);
    g_poolLock.leave();
}

} // namespace

extern "C" {

void qz_MemPool_FailAllocation(int64_t nth) {
    g_failNth = nth > 0 ? nth : 0;
    g_allocationsCounted = 0;
}

int64_t qz_MemPool_AllocationsCounted(void) { return g_allocationsCounted; }

QZ_MemPool *QZ_MemPool_new(void) {
    auto *pool = static_cast<QZ_MemPool *>(std::calloc(1, sizeof(QZ_MemPool)));
    if (pool == nullptr) return nullptr;
    if (g_initialised == 0) g_initialised = 1;
    const int16_t length = g_checkMode != 0 ? kCheckedWordLength : 0;
    pool->sizeWordLength = length;
    pool->guardLength = length;
    pool->key = newKey(pool);
    return pool;
}

void *QZ_malloc(QZ_MemPool *pool, size_t size, const char *source, int32_t line) {
    pool = resolve(pool);
    if (pool == nullptr || !sizeFits(size)) return nullptr;
    if (injectedFailure()) return nullptr;
    const Layout layout = layoutOf(pool);

    auto *node = static_cast<QZ_MemNode *>(std::malloc(layout.record + size + layout.overhead));
    if (node == nullptr) return nullptr;
    if (!countRecord(node)) {
        std::free(node);
        return nullptr;
    }
    auto *raw = reinterpret_cast<unsigned char *>(node) + layout.record;
    node->size = static_cast<uint32_t>(size);
    node->seal = sealOf(layout, node);
    node->next = nullptr;
    node->raw = raw;
    node->reserved = 0;
    node->line = 0;
    if (layout.checked) {
        node->guarded = 1;
        writeFrame(raw, node->size);
        std::memset(raw + layout.offset, kFreshFill, size);
        node->line = line;
        node->source[0] = '\0';
        if (source != nullptr) {
            std::strncpy(node->source, source, QZ_MEM_SOURCE_MAX);
            node->source[QZ_MEM_SOURCE_MAX] = '\0';
        }
    } else {
        node->guarded = 0;
    }

    g_poolLock.enter();
    node->previous = pool->last;
    if (pool->last != nullptr) {
        pool->last->next = node;
    } else {
        pool->first = node;
    }
    pool->last = node;
    pool->count += 1;
    pool->totalSize += node->size;
    pool->requests += 1;
    node->request = pool->requests;
    g_poolLock.leave();

    if (node->request == g_breakRequest) std::raise(SIGTRAP);
    return raw + layout.offset;
}

void *QZ_realloc(QZ_MemPool *pool, void *ptr, size_t newSize) {
    pool = resolve(pool);
    if (pool == nullptr) return nullptr;
    // Growing nothing is allocating; the tag names this module.
    if (ptr == nullptr) return QZ_malloc(pool, newSize, "qzpgmmem_st", __LINE__);
    if (!sizeFits(newSize)) return nullptr;
    if (injectedFailure()) return nullptr;
    const Layout layout = layoutOf(pool);

    uint16_t *counter = nullptr;
    QZ_MemNode *node = findRecord(layout, ptr, counter);
    if (node == nullptr) return nullptr; // not a live block of this pool

    g_poolLock.enter();
    // The record moves with the block: it leaves the page map while realloc may
    // move it, and its neighbours are pointed at its new address afterwards.
    --*counter;
    auto *moved = static_cast<QZ_MemNode *>(std::realloc(node, layout.record + newSize + layout.overhead));
    if (moved == nullptr) {
        countRecord(node); // the old block stays valid (its leaf exists already)
        g_poolLock.leave();
        return nullptr;
    }
    moved->raw = reinterpret_cast<unsigned char *>(moved) + layout.record;
    if (countRecord(moved)) {
        moved->seal = sealOf(layout, moved);
    } else {
        // Without its page entry the block cannot be found by its pointer again;
        // this needs a new 1 GiB region of addresses and a failed leaf allocation
        // at once. The old pointer is gone, so the caller gets the moved data all
        // the same (a null here would leave it holding freed memory); the block
        // stays in the list, where the final report finds it.
        clearSeal(moved);
    }
    relink(pool, moved);
    // The record always carries the live size so that the total stays the sum
    // of the live blocks' sizes and the leak report adds up.
    pool->totalSize = pool->totalSize - moved->size + static_cast<uint32_t>(newSize);
    moved->size = static_cast<uint32_t>(newSize);
    g_poolLock.leave();

    if (layout.checked) writeFrame(rawBytes(moved), moved->size);
    return rawBytes(moved) + layout.offset;
}

void qz_MemNode_delete(QZ_MemPool *pool, void *ptr) { releaseBlock(pool, ptr); }

void QZ_free(QZ_MemPool *pool, void *ptr) {
    if (ptr == nullptr) return; // releasing nothing is not worth a message
    releaseBlock(pool != nullptr ? pool : g_defaultPool, ptr);
}

int16_t qz_MemNode_check(const QZ_MemNode *node) {
    if (node == nullptr || !isCheckedRecord(node)) return QZ_MEM_OK;
    const unsigned char *raw = rawBytes(node);
    uint32_t sizeWord = 0;
    std::memcpy(&sizeWord, raw, sizeof sizeWord);
    if (sizeWord != node->size) return QZ_MEM_BAD_SIZE;
    if (!guardIntact(raw + kCheckedWordLength)) return QZ_MEM_BAD_HEADER;
    if (!guardIntact(raw + 2 * kCheckedWordLength + node->size)) return QZ_MEM_BAD_TAIL;
    return QZ_MEM_OK;
}

void qz_MemNode_dump(const QZ_MemNode *node) {
    if (node == nullptr) return;
    // Source and line are recorded in check mode only.
    const bool recorded = isCheckedRecord(node);
    QZ_Trace(0, "Memory block at %p, request# %u, size %d bytes, allocated in source %s at line %d",
             static_cast<void *>(rawBytes(node)), static_cast<unsigned>(node->request), static_cast<int>(node->size),
             recorded ? node->source : "", recorded ? static_cast<int>(node->line) : 0);
}

const char *QZ_MemErrorText(int16_t code) {
    static const char *const texts[] = {"No Error", "Bad Size", "Bad Header", "BadTail"};
    if (code < 0 || code > QZ_MEM_BAD_TAIL) return "Unknoun Error";
    return texts[code];
}

void QZ_MemPool_delete(QZ_MemPool *pool) {
    if (pool == nullptr) return;
    const bool isChecked = checked(pool);
    if (isChecked) {
        if (pool->count == 0) {
            QZ_Trace(0, "QZ_MemManager::QZ_MemPool_delete No leaks");
        } else {
            QZ_Trace(0, "QZ_MemManager::QZ_MemPool_delete *** WARNING MEMORYLEAKS ***");
            QZ_Trace(0, "Deallocating Blocks: %u Blocks found, total size %u bytes",
                     static_cast<unsigned>(pool->count), static_cast<unsigned>(pool->totalSize));
        }
    }
    QZ_MemNode *node = pool->first;
    while (node != nullptr) {
        QZ_MemNode *successor = node->next;
        if (isChecked) qz_MemNode_dump(node);
        qz_MemNode_delete(pool, rawBytes(node) + dataOffset(pool));
        node = successor;
    }
    if (pool == g_defaultPool) g_defaultPool = nullptr;
    std::free(pool);
}

QZ_MemPool *QZ_GetDefaultPool(void) {
    if (g_defaultPool == nullptr) g_defaultPool = QZ_MemPool_new();
    return g_defaultPool;
}

void QZ_SetDefaultPool(QZ_MemPool *pool) { g_defaultPool = pool; }

QZ_MemPool *qz_MemPool_DefaultIfAny(void) { return g_defaultPool; }

void QZ_MemSetCheckMode(int16_t on) { g_checkMode = on != 0 ? 1 : 0; }

int16_t QZ_MemGetCheckMode(void) { return g_checkMode; }

void QZ_MemSetBreakRequest(uint32_t request) { g_breakRequest = request; }

} // extern "C"
