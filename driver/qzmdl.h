/* The generated module of hwendle.exe: start-up, data stores and the run. */
#ifndef QZ_DRIVER_QZMDL_H
#define QZ_DRIVER_QZMDL_H

#include "qz/qzglobal.h"

QZ_BEGIN_DECLS

/* Size of the driver's parameter buffers (each holds one more byte). */
#define QZMDL_PARAMETER_MAX 1024
#define QZMDL_TEXT_PARAMETER_MAX 200

/* Seeds the pseudo-random generator and hands the command line (after the
   page's pageParameters own arguments) to the static web options. */
QZ_EXPORT void QZ_ModuleStart(int argc, char **argv, int pageParameters);
QZ_EXPORT void QZ_ModuleEnd(void);
/* Declares and configures the data store "Default"; a failure ends the run. */
QZ_EXPORT void QZ_SetupDataStores(QZ_PgmContext *ctx);

/* A numeric program parameter as the page receives it: the decimal number at
   the start of the text, cut toward zero to 32 bits. Out of range values are
   clamped to INT32_MIN / INT32_MAX, "nan" and texts without a number give 0. */
QZ_EXPORT int32_t QZ_ParameterToLong(const char *text);

/* The whole request, as main runs it; returns the exit code. */
QZ_EXPORT int QZ_RunProgram(int argc, char **argv);

QZ_END_DECLS

#endif
