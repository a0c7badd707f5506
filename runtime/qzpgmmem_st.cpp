// Tracked memory pool. Every block carries a record with its source tag, line and
// request number so that the pool can report what was never released; in check
// mode each block is framed by a size word and two guards that are validated when
// the block is released.
//
// The records form a doubly linked list in allocation order (the reports walk it
// oldest first) and an address index beside it, so that releasing or resizing a
// block costs the same whether the pool holds ten live blocks or a hundred thousand.

#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "runtime/qzpgmmem_testing.h"
#include "runtime/qzrequest_reset.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_map>

namespace {

constexpr unsigned char kGuardByte = 0xFD;
constexpr unsigned char kFreshFill = 0xCD;
constexpr unsigned char kReleasedFill = 0xFE;
constexpr int16_t kCheckedWordLength = 4;

// Process-wide settings. The layout lengths are fixed by the first pool; the
// switch is read again by every later pool so that tests can create a checked
// pool beside an unchecked one.
int16_t g_checkMode = 0;
int16_t g_initialised = 0;
uint32_t g_breakRequest = 0xFFFFFFFFu;
QZ_MemPool *g_defaultPool = nullptr;

// The test switch: which allocation from the last arming fails (0: none).
int64_t g_failNth = 0;
int64_t g_allocationsCounted = 0;

bool injectedFailure() {
    ++g_allocationsCounted;
    return g_failNth != 0 && g_allocationsCounted == g_failNth;
}

// The hidden part of a pool: its address index and its layout.
struct PoolIndex {
    std::unordered_map<const void *, QZ_MemNode *> byRaw;
    int16_t sizeWordLength = 0;
    int16_t guardLength = 0;
    [[nodiscard]] bool checked() const { return guardLength != 0; }
    [[nodiscard]] size_t dataOffset() const {
        return static_cast<size_t>(sizeWordLength) + static_cast<size_t>(guardLength);
    }
    [[nodiscard]] size_t overhead() const {
        return static_cast<size_t>(sizeWordLength) + 2 * static_cast<size_t>(guardLength);
    }
};

// The list changes are bracketed by a process-wide lock. The program runs one
// thread, so entering and leaving it does nothing.
struct PoolLock {
    void enter() {}
    void leave() {}
};
PoolLock g_poolLock;

PoolIndex *indexOf(const QZ_MemPool *pool) { return static_cast<PoolIndex *>(pool->index); }

QZ_MemPool *resolve(QZ_MemPool *pool) { return pool != nullptr ? pool : QZ_GetDefaultPool(); }

unsigned char *rawBytes(const QZ_MemNode *node) { return static_cast<unsigned char *>(node->raw); }

// The raw address a caller's pointer stands for. Computed on integers: a pointer
// the pool never handed out must not make the arithmetic itself undefined.
const void *rawAddressOf(const PoolIndex *index, const void *ptr) {
    return reinterpret_cast<const void *>(reinterpret_cast<uintptr_t>(ptr) - index->dataOffset());
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

void unlink(QZ_MemPool *pool, QZ_MemNode *node) {
    if (node->previous != nullptr) {
        node->previous->next = node->next;
    } else {
        pool->first = node->next;
    }
    if (node->next != nullptr) {
        node->next->previous = node->previous;
    } else {
        pool->last = node->previous;
    }
    node->next = nullptr;
    node->previous = nullptr;
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
    auto *index = new (std::nothrow) PoolIndex;
    if (index == nullptr) {
        std::free(pool);
        return nullptr;
    }
    if (g_initialised == 0) g_initialised = 1;
    const int16_t length = g_checkMode != 0 ? kCheckedWordLength : 0;
    index->sizeWordLength = length;
    index->guardLength = length;
    pool->index = index;
    return pool;
}

void *QZ_malloc(QZ_MemPool *pool, size_t size, const char *source, int32_t line) {
    pool = resolve(pool);
    if (pool == nullptr || size > UINT32_MAX - 16u) return nullptr;
    if (injectedFailure()) return nullptr;
    PoolIndex *index = indexOf(pool);

    auto *node = static_cast<QZ_MemNode *>(std::calloc(1, sizeof(QZ_MemNode)));
    if (node == nullptr) return nullptr;
    const size_t rawSize = size + index->overhead();
    auto *raw = static_cast<unsigned char *>(std::malloc(rawSize != 0 ? rawSize : 1));
    if (raw == nullptr) {
        std::free(node);
        return nullptr;
    }
    node->raw = raw;
    node->size = static_cast<uint32_t>(size);
    if (index->checked()) {
        node->guarded = 1;
        writeFrame(raw, node->size);
        std::memset(raw + index->dataOffset(), kFreshFill, size);
        node->line = line;
        if (source != nullptr) {
            std::strncpy(node->source, source, QZ_MEM_SOURCE_MAX);
            node->source[QZ_MEM_SOURCE_MAX] = '\0';
        }
    }

    g_poolLock.enter();
    try {
        index->byRaw.emplace(raw, node);
    } catch (...) {
        g_poolLock.leave();
        std::free(raw);
        std::free(node);
        return nullptr;
    }
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
    return raw + index->dataOffset();
}

void *QZ_realloc(QZ_MemPool *pool, void *ptr, size_t newSize) {
    pool = resolve(pool);
    if (pool == nullptr) return nullptr;
    // Growing nothing is allocating; the tag names this module.
    if (ptr == nullptr) return QZ_malloc(pool, newSize, "qzpgmmem_st", __LINE__);
    if (newSize > UINT32_MAX - 16u) return nullptr;
    if (injectedFailure()) return nullptr;
    PoolIndex *index = indexOf(pool);

    auto found = index->byRaw.find(rawAddressOf(index, ptr));
    if (found == index->byRaw.end()) return nullptr; // not a live block of this pool
    QZ_MemNode *node = found->second;

    const size_t rawSize = newSize + index->overhead();
    auto *grown = static_cast<unsigned char *>(std::realloc(node->raw, rawSize != 0 ? rawSize : 1));
    if (grown == nullptr) return nullptr; // the old block stays valid and indexed

    g_poolLock.enter();
    if (grown != node->raw) {
        index->byRaw.erase(found);
        node->raw = grown;
        try {
            index->byRaw.emplace(grown, node);
        } catch (...) {
            // Without its index entry the block could never be released or
            // resized again: keep it in the list, where the final report finds it.
            g_poolLock.leave();
            return nullptr;
        }
    }
    // The record always carries the live size so that the total stays the sum
    // of the live blocks' sizes and the leak report adds up.
    pool->totalSize = pool->totalSize - node->size + static_cast<uint32_t>(newSize);
    node->size = static_cast<uint32_t>(newSize);
    g_poolLock.leave();

    if (node->guarded != 0) writeFrame(grown, node->size);
    return grown + index->dataOffset();
}

void qz_MemNode_delete(QZ_MemPool *pool, void *ptr) {
    if (pool == nullptr) return;
    PoolIndex *index = indexOf(pool);
    g_poolLock.enter();
    const void *raw = rawAddressOf(index, ptr);
    auto found = index->byRaw.find(raw);
    if (found == index->byRaw.end()) {
        if (index->checked()) {
            QZ_Trace(0, "QZ_MemManager::qz_MemNode_delete Block not found at %p", raw);
        }
        g_poolLock.leave();
        return;
    }
    QZ_MemNode *node = found->second;
    index->byRaw.erase(found);
    unlink(pool, node);
    pool->count -= 1;
    pool->totalSize -= node->size;

    if (index->checked()) {
        const int16_t code = qz_MemNode_check(node);
        if (code != QZ_MEM_OK) {
            QZ_Trace(0, "QZ_MemManager::qz_MemNode_delete invalid Block found at %p (%s)",
                     node->raw, QZ_MemErrorText(code));
            qz_MemNode_dump(node);
        } else {
            std::memset(rawBytes(node) + index->dataOffset(), kReleasedFill, node->size);
        }
    }
    std::free(node->raw);
    std::free(node);
    g_poolLock.leave();
}

void QZ_free(QZ_MemPool *pool, void *ptr) {
    if (ptr == nullptr) return; // releasing nothing is not worth a message
    if (pool == nullptr) pool = g_defaultPool;
    qz_MemNode_delete(pool, ptr);
}

int16_t qz_MemNode_check(const QZ_MemNode *node) {
    if (node == nullptr || node->guarded == 0) return QZ_MEM_OK;
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
    QZ_Trace(0, "Memory block at %p, request# %u, size %d bytes, allocated in source %s at line %d",
             node->raw, static_cast<unsigned>(node->request), static_cast<int>(node->size),
             node->source, static_cast<int>(node->line));
}

const char *QZ_MemErrorText(int16_t code) {
    static const char *const texts[] = {"No Error", "Bad Size", "Bad Header", "BadTail"};
    if (code < 0 || code > QZ_MEM_BAD_TAIL) return "Unknoun Error";
    return texts[code];
}

void QZ_MemPool_delete(QZ_MemPool *pool) {
    if (pool == nullptr) return;
    PoolIndex *index = indexOf(pool);
    const bool checked = index->checked();
    if (checked) {
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
        if (checked) qz_MemNode_dump(node);
        qz_MemNode_delete(pool, rawBytes(node) + index->dataOffset());
        node = successor;
    }
    delete index;
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
