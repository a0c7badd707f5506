// The serving loop's pieces, internal to the runtime (and its tests).
#ifndef QZ_RUNTIME_QZSERVE_INTERNAL_H
#define QZ_RUNTIME_QZSERVE_INTERNAL_H

#include <cstdint>

extern "C" {

// Ends the request that just ran: the program's resets, the runtime's
// per-request state, and the pool with its leak report. The next request
// starts from nothing the previous one left.
void qz_RequestScope_End(void);

// Tests: act as the persistent mode without a FastCGI server.
void qz_Serve_SetPersistent(int16_t on);

}  // extern "C"

#endif
