/* A test counter of the configuration reader: how many times a configuration
 * file was opened, so that tests can show that a process reads it once.
 *
 * Not part of the installed API: tests link the static library and include this
 * header from the source tree. */
#ifndef QZ_RUNTIME_QZINI_TESTING_H
#define QZ_RUNTIME_QZINI_TESTING_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Configuration files opened since the process started (successful opens). */
int64_t qz_Config_FilesOpened(void);

#ifdef __cplusplus
}
#endif

#endif
