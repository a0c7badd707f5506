// What the runtime's modules offer the request scope so that it can end a
// request (internal). Each module keeps its own state; the scope only calls.
#ifndef QZ_RUNTIME_QZREQUEST_RESET_H
#define QZ_RUNTIME_QZREQUEST_RESET_H

#include "qz/qzpgmmem.h"

extern "C" {

// The pool: the default pool when one exists, without creating one.
QZ_MemPool *qz_MemPool_DefaultIfAny(void);
// Tracing: the per-request part of the trace state (the indentation depth).
// The settings, the open trace file and the header stay for the process.
void qz_TraceRequestEnd(void);

}  // extern "C"

#endif
