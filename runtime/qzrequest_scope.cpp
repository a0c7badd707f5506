// The one owner of what lives for a single request. A request's records (the
// context with its request, response, cookies, form variables, messages and
// XML writer, and the page's data) all come from the default pool, so the
// pool going at the end of the request takes them with it; module globals
// are reset here, by the module that owns them or by the reset the program
// registered. Nothing that lives longer than a request may come from the pool.
#include <algorithm>
#include <vector>

#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"
#include "qz/qzstatic.h"
#include "http/qzsocket_internal.h"
#include "runtime/qzrequest_reset.h"
#include "runtime/qzserve_internal.h"

namespace {

using Reset = void (*)(void);

std::vector<Reset> &ProgramResets() {
    static std::vector<Reset> resets;
    return resets;
}

}  // namespace

extern "C" {

void QZ_AtRequestEnd(void (*reset)(void)) {
    if (reset == nullptr) return;
    auto &resets = ProgramResets();
    if (std::find(resets.begin(), resets.end(), reset) == resets.end()) resets.push_back(reset);
}

void qz_RequestScope_End(void) {
    // The program's modules first: their state may hold blocks of the pool.
    const auto &resets = ProgramResets();
    for (auto it = resets.rbegin(); it != resets.rend(); ++it) (*it)();
    // Static web options: texts from the pool, parsed again by the next run.
    QZ_StaticWeb_Free();
    // A context the run did not delete: its storage goes with the pool below,
    // so the signal handler must not find it any more.
    QZ_SetCurrentContext(nullptr);
    qz_TraceRequestEnd();
    // The socket layer's last error is the request's own (QZ_lastErrorTCP).
    qz_net::RecordError(0);
    // A run that ends normally deletes the pool itself (the leak report is
    // written then); one that did not leaves its blocks here, and they are
    // reported and released the same way before the next request starts.
    if (QZ_MemPool *pool = qz_MemPool_DefaultIfAny(); pool != nullptr) {
        QZ_MemPool_delete(pool);
        QZ_SetDefaultPool(nullptr);
    }
}

}  // extern "C"
