/* A test switch of the memory pool: make one chosen allocation fail, so that
 * tests can walk every allocation of an operation and check that each failure
 * ends with the operation's own error, never a crash or a leak.
 *
 * Not part of the installed API: tests link the static library and include this
 * header from the source tree. */
#ifndef QZ_RUNTIME_QZPGMMEM_TESTING_H
#define QZ_RUNTIME_QZPGMMEM_TESTING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* From now on, the nth allocation (QZ_malloc, or QZ_realloc of a live block;
   1 = the next one) returns NULL, and every other one succeeds; 0 switches the
   failures off. Counting starts again at every call. */
void qz_MemPool_FailAllocation(int64_t nth);
/* Allocations counted since the last qz_MemPool_FailAllocation call. */
int64_t qz_MemPool_AllocationsCounted(void);

#ifdef __cplusplus
}
#endif

#endif
