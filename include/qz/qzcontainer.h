/* Growable record buffer, storage blocks and the block container. */
#ifndef QZ_QZCONTAINER_H
#define QZ_QZCONTAINER_H

#include "qzlists.h"

QZ_BEGIN_DECLS

typedef struct QZ_Buffer {
    uint32_t capacity;
    uint32_t used;
    uint32_t growth;
    uint8_t *data;
} QZ_Buffer;

/* A pool block: size and used, then the item space. */
typedef struct QZ_Block {
    uint32_t size;
    uint32_t used;
} QZ_Block;

typedef struct QZ_ContainerEntry {
    QZ_Block *block;
    uint32_t offset;
    uint32_t length;
} QZ_ContainerEntry;

typedef struct QZ_Container {
    uint32_t count;
    QZ_Buffer index;
    uint32_t blockSize;
    QZ_List blocks; /* newest block first */
} QZ_Container;

QZ_EXPORT QZ_Flag QZ_Buffer_Init(QZ_Buffer *b, uint32_t initialCapacity, uint32_t growth);
QZ_EXPORT void QZ_Buffer_Free(QZ_Buffer *b);
QZ_EXPORT void *QZ_Buffer_Extend(QZ_Buffer *b, uint32_t n);
QZ_EXPORT void *QZ_Buffer_At(QZ_Buffer *b, uint32_t index, uint32_t recordSize);
QZ_EXPORT void QZ_Buffer_SetCount(QZ_Buffer *b, uint32_t count, uint32_t recordSize);
QZ_EXPORT uint32_t QZ_Buffer_Count(const QZ_Buffer *b, uint32_t recordSize);

QZ_EXPORT QZ_Block *QZ_Block_New(uint32_t size);
QZ_EXPORT void *QZ_Block_Reserve(QZ_Block *block, uint32_t n, uint32_t *offset);
QZ_EXPORT QZ_Flag QZ_Block_Copy(QZ_Block *block, const void *bytes, uint32_t n, uint32_t *offset);
QZ_EXPORT void *QZ_Block_At(QZ_Block *block, uint32_t offset);
QZ_EXPORT void QZ_Block_Truncate(QZ_Block *block, uint32_t offset);

QZ_EXPORT QZ_Flag QZ_Container_Init(QZ_Container *c, uint32_t blockSize, uint32_t indexGrowth);
QZ_EXPORT void QZ_Container_Free(QZ_Container *c);
QZ_EXPORT void *QZ_Container_Alloc(QZ_Container *c, uint32_t n);
QZ_EXPORT QZ_Flag QZ_Container_Add(QZ_Container *c, const void *bytes, uint32_t n);
QZ_EXPORT void *QZ_Container_Get(QZ_Container *c, uint32_t item);
QZ_EXPORT uint32_t QZ_Container_Count(const QZ_Container *c);
QZ_EXPORT void QZ_Container_Truncate(QZ_Container *c, uint32_t item);

QZ_END_DECLS

#endif
