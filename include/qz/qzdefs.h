/* Common definitions shared by every public header of the runtime. */
#ifndef QZ_QZDEFS_H
#define QZ_QZDEFS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define QZ_BEGIN_DECLS extern "C" {
#define QZ_END_DECLS }
#else
#define QZ_BEGIN_DECLS
#define QZ_END_DECLS
#endif

#if defined(__GNUC__)
#define QZ_EXPORT __attribute__((visibility("default")))
#define QZ_PRINTF(f, a) __attribute__((format(printf, f, a)))
#else
#define QZ_EXPORT
#define QZ_PRINTF(f, a)
#endif

/* 16-bit success flag: 1 for success, 0 for failure. */
typedef int16_t QZ_Flag;

#endif
