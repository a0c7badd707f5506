/* Tracked memory pool: every allocation of the runtime and of generated code. */
#ifndef QZ_QZPGMMEM_H
#define QZ_QZPGMMEM_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

#define QZ_MEM_SOURCE_MAX 30

/* The record of one live block. It sits right in front of the block's storage,
   in the same system allocation, so that releasing a block finds its record
   without a search. Outside check mode the record is 48 bytes and ends before
   `source`; `guarded` is 0 there and `line` is not recorded. */
typedef struct QZ_MemNode {
    struct QZ_MemNode *next;            /* next newer block or NULL */
    struct QZ_MemNode *previous;        /* next older block or NULL (O(1) unlinking) */
    uintptr_t seal;                     /* internal: ties the record to its address and pool */
    uint32_t request;                   /* request number (1 for a pool's first block) */
    uint32_t size;                      /* size the caller asked for */
    void *raw;                          /* the raw block, right after this record */
    int16_t guarded;                    /* 1: laid out with size word and guards */
    int16_t reserved;                   /* internal */
    int32_t line;                       /* allocating line (check mode) */
    char source[QZ_MEM_SOURCE_MAX + 2]; /* source tag, cut to 30 characters (check mode only) */
} QZ_MemNode;

typedef struct QZ_MemPool {
    QZ_MemNode *first;   /* oldest live block */
    QZ_MemNode *last;    /* newest live block */
    uint32_t count;      /* live blocks */
    uint32_t totalSize;  /* bytes requested by live blocks */
    uint32_t requests;   /* allocations made so far; never decreases */
    int16_t sizeWordLength; /* 4 in check mode, else 0 (fixed when the pool is created) */
    int16_t guardLength;    /* 4 in check mode, else 0 */
    uintptr_t key;       /* internal: the pool's part of every record's seal */
} QZ_MemPool;

/* Validation codes of qz_MemNode_check. */
#define QZ_MEM_OK 0
#define QZ_MEM_BAD_SIZE 1
#define QZ_MEM_BAD_HEADER 2
#define QZ_MEM_BAD_TAIL 3

QZ_EXPORT QZ_MemPool *QZ_MemPool_new(void);
QZ_EXPORT void QZ_MemPool_delete(QZ_MemPool *pool);
QZ_EXPORT void *QZ_malloc(QZ_MemPool *pool, size_t size, const char *source, int32_t line);
/* Resizes a live block (it may move). A NULL ptr allocates; a pointer the pool
   does not hold, or a failed resize, gives NULL and leaves the block as it was. */
QZ_EXPORT void *QZ_realloc(QZ_MemPool *pool, void *ptr, size_t newSize);
QZ_EXPORT void QZ_free(QZ_MemPool *pool, void *ptr);
QZ_EXPORT void qz_MemNode_delete(QZ_MemPool *pool, void *ptr);
QZ_EXPORT int16_t qz_MemNode_check(const QZ_MemNode *node);
QZ_EXPORT void qz_MemNode_dump(const QZ_MemNode *node);
QZ_EXPORT const char *QZ_MemErrorText(int16_t code);

/* The process-wide default pool (created by the program driver). NULL pool
   arguments mean this pool; when it does not exist yet it is created on first use. */
QZ_EXPORT QZ_MemPool *QZ_GetDefaultPool(void);
QZ_EXPORT void QZ_SetDefaultPool(QZ_MemPool *pool);

/* Check mode and break request: process-wide. The check-mode switch is read
   when a pool is created, and every block of that pool keeps the layout it was
   created with (so switching it later never confuses a live pool). Nothing in
   the system turns check mode on; tests do. */
QZ_EXPORT void QZ_MemSetCheckMode(int16_t on);
QZ_EXPORT int16_t QZ_MemGetCheckMode(void);
QZ_EXPORT void QZ_MemSetBreakRequest(uint32_t request);

QZ_END_DECLS

#endif
