// Growable record buffer, storage blocks and the block container.
//
// The buffer grows by at least its growth step; it is resized through the pool
// so that the system allocator can extend it in place instead of copying the
// used bytes at every step.

#include "qz/qzcontainer.h"
#include "qz/qzpgmmem.h"

#include <cstring>

namespace {

constexpr int32_t kBufferInitLine = 10;
constexpr int32_t kBufferGrowthLine = 32;
constexpr int32_t kBlockLine = 68;
constexpr uint32_t kBlockExtra = 11; // the block header and a little slack

unsigned char *itemSpace(QZ_Block *block) { return reinterpret_cast<unsigned char *>(block + 1); }

QZ_ContainerEntry *entryAt(QZ_Container *c, uint32_t item) {
    return static_cast<QZ_ContainerEntry *>(QZ_Buffer_At(&c->index, item, sizeof(QZ_ContainerEntry)));
}

QZ_Block *newestBlock(QZ_Container *c) {
    return c->blocks.count != 0 ? static_cast<QZ_Block *>(c->blocks.first->data) : nullptr;
}

void dropNewestBlock(QZ_Container *c) {
    QZ_ListNode *node = c->blocks.first;
    QZ_free(nullptr, node->data);
    QZ_List_Remove(&c->blocks, node);
}

} // namespace

extern "C" {

QZ_Flag QZ_Buffer_Init(QZ_Buffer *b, uint32_t initialCapacity, uint32_t growth) {
    if (b == nullptr) return 0;
    b->used = 0;
    b->growth = growth;
    b->data = static_cast<uint8_t *>(QZ_malloc(nullptr, initialCapacity, "qzcontainer", kBufferInitLine));
    b->capacity = b->data != nullptr ? initialCapacity : 0;
    return b->data != nullptr ? 1 : 0;
}

void QZ_Buffer_Free(QZ_Buffer *b) {
    if (b == nullptr) return;
    b->capacity = 0;
    b->used = 0;
    b->growth = 0;
    if (b->data != nullptr) QZ_free(nullptr, b->data);
    b->data = nullptr;
}

void *QZ_Buffer_Extend(QZ_Buffer *b, uint32_t n) {
    if (b == nullptr || n > UINT32_MAX - b->used) return nullptr;
    if (b->data == nullptr || b->capacity - b->used < n) {
        const uint32_t g = n > b->growth ? n : b->growth;
        if (g > UINT32_MAX - b->capacity) return nullptr;
        void *grown = b->data != nullptr
                          ? QZ_realloc(nullptr, b->data, static_cast<size_t>(b->capacity) + g)
                          : QZ_malloc(nullptr, static_cast<size_t>(b->capacity) + g, "qzcontainer",
                                      kBufferGrowthLine);
        if (grown == nullptr) return nullptr;
        b->data = static_cast<uint8_t *>(grown);
        b->capacity += g;
    }
    void *fresh = b->data + b->used;
    b->used += n;
    return fresh;
}

void *QZ_Buffer_At(QZ_Buffer *b, uint32_t index, uint32_t recordSize) {
    if (b == nullptr || b->data == nullptr) return nullptr;
    return b->data + static_cast<size_t>(index) * recordSize;
}

void QZ_Buffer_SetCount(QZ_Buffer *b, uint32_t count, uint32_t recordSize) {
    if (b == nullptr) return;
    const uint64_t used = static_cast<uint64_t>(count) * recordSize;
    if (used <= b->capacity) b->used = static_cast<uint32_t>(used);
}

uint32_t QZ_Buffer_Count(const QZ_Buffer *b, uint32_t recordSize) {
    if (b == nullptr || recordSize == 0) return 0;
    return b->used / recordSize;
}

QZ_Block *QZ_Block_New(uint32_t size) {
    if (size > UINT32_MAX - kBlockExtra) return nullptr;
    auto *block = static_cast<QZ_Block *>(
        QZ_malloc(nullptr, static_cast<size_t>(size) + kBlockExtra, "qzcontainer", kBlockLine));
    if (block == nullptr) return nullptr;
    block->size = size;
    block->used = 0;
    return block;
}

void *QZ_Block_Reserve(QZ_Block *block, uint32_t n, uint32_t *offset) {
    if (block == nullptr || block->size - block->used < n) return nullptr;
    if (offset != nullptr) *offset = block->used;
    void *space = itemSpace(block) + block->used;
    block->used += n;
    return space;
}

QZ_Flag QZ_Block_Copy(QZ_Block *block, const void *bytes, uint32_t n, uint32_t *offset) {
    void *space = QZ_Block_Reserve(block, n, offset);
    if (space == nullptr) return 0;
    if (n != 0 && bytes != nullptr) std::memcpy(space, bytes, n);
    return 1;
}

void *QZ_Block_At(QZ_Block *block, uint32_t offset) {
    if (block == nullptr || offset >= block->used) return nullptr;
    return itemSpace(block) + offset;
}

void QZ_Block_Truncate(QZ_Block *block, uint32_t offset) {
    if (block != nullptr && offset < block->used) block->used = offset;
}

QZ_Flag QZ_Container_Init(QZ_Container *c, uint32_t blockSize, uint32_t indexGrowth) {
    if (c == nullptr) return 0;
    c->count = 0;
    c->blockSize = blockSize;
    QZ_List_Init(&c->blocks);
    return QZ_Buffer_Init(&c->index, indexGrowth, indexGrowth);
}

void QZ_Container_Free(QZ_Container *c) {
    if (c == nullptr) return;
    QZ_Buffer_Free(&c->index);
    for (void *block = QZ_List_FirstData(&c->blocks); block != nullptr; block = QZ_List_NextData(&c->blocks)) {
        QZ_free(nullptr, block);
    }
    QZ_List_Free(&c->blocks);
    c->blockSize = 0;
    c->count = 0;
}

void *QZ_Container_Alloc(QZ_Container *c, uint32_t n) {
    if (c == nullptr) return nullptr;
    uint32_t offset = 0;
    QZ_Block *block = newestBlock(c);
    void *space = QZ_Block_Reserve(block, n, &offset);
    if (space == nullptr) {
        block = QZ_Block_New(n > c->blockSize ? n : c->blockSize);
        if (block == nullptr) return nullptr;
        if (QZ_List_Prepend(&c->blocks, block) == nullptr) {
            QZ_free(nullptr, block);
            return nullptr;
        }
        space = QZ_Block_Reserve(block, n, &offset);
        if (space == nullptr) return nullptr;
    }
    auto *entry = static_cast<QZ_ContainerEntry *>(QZ_Buffer_Extend(&c->index, sizeof(QZ_ContainerEntry)));
    if (entry == nullptr) {
        QZ_Block_Truncate(block, offset); // give the space back: no item owns it
        return nullptr;
    }
    entry->block = block;
    entry->offset = offset;
    entry->length = n;
    c->count += 1;
    return space;
}

QZ_Flag QZ_Container_Add(QZ_Container *c, const void *bytes, uint32_t n) {
    void *space = QZ_Container_Alloc(c, n);
    if (space == nullptr) return 0;
    if (n != 0 && bytes != nullptr) std::memcpy(space, bytes, n);
    return 1;
}

void *QZ_Container_Get(QZ_Container *c, uint32_t item) {
    if (c == nullptr || item >= c->count) return nullptr;
    const QZ_ContainerEntry *entry = entryAt(c, item);
    return QZ_Block_At(entry->block, entry->offset);
}

uint32_t QZ_Container_Count(const QZ_Container *c) { return c != nullptr ? c->count : 0; }

void QZ_Container_Truncate(QZ_Container *c, uint32_t item) {
    if (c == nullptr || item >= c->count) return;
    const QZ_ContainerEntry *entry = entryAt(c, item);
    QZ_Block *keep = entry->block;
    const uint32_t offset = entry->offset;
    while (c->blocks.count != 0 && newestBlock(c) != keep) dropNewestBlock(c);
    QZ_Block_Truncate(keep, offset);
    QZ_Buffer_SetCount(&c->index, item, sizeof(QZ_ContainerEntry));
    c->count = item;
}

} // extern "C"
