// Shell execution's record of the children it did not wait for: internal to
// the library, C++ only, never installed with the public headers.
#ifndef QZ_RUNTIME_QZSHELL_INTERNAL_H
#define QZ_RUNTIME_QZSHELL_INTERNAL_H

#include <sys/types.h>

#include <cstddef>

namespace qz::shell {

// Records a child started without waiting, so that a later runtime call waits
// for it once it has ended (qz_Shell_ReapChildren).
void RecordChild(pid_t pid);

// Children recorded and not yet waited for (for tests).
size_t RecordedChildren();

} // namespace qz::shell

#endif
