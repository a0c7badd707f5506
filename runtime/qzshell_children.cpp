// Children that a shell run started without waiting for them. Nobody else
// knows their process ids, so nobody else would wait for them: left alone they
// would stay zombies for the life of the process. The runtime records them and
// waits for those that have ended at its later calls (every shell run, the end
// of every program context, qz_Shell_ReapChildren), each time without blocking.
//
// Only the recorded children are waited for, never any other: the caller's own
// children and its own waitpid calls are left as they were, and no SIGCHLD
// disposition is touched. A child is held through a pidfd where the kernel
// offers one, so that a process id reused after someone else waited for the
// child can never make the runtime wait for a stranger.

#include "qz/qzshell.h"
#include "runtime/qzshell_internal.h"

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

struct Child {
    pid_t pid;
    int pidfd; // -1: waited for by process id
};

std::vector<Child> g_children;

// Through the system call itself: the C library's wrapper is younger than some
// of the systems this runs on. -1 where the kernel has no pidfds.
int openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Whether the child is done with: it was waited for now, or it cannot be (it
// was waited for elsewhere, or it is no child of this process, as after a fork).
bool reaped(const Child &child) {
    for (;;) {
        if (child.pidfd >= 0) {
            siginfo_t info{};
            if (waitid(P_PIDFD, static_cast<id_t>(child.pidfd), &info, WEXITED | WNOHANG) == 0)
                return info.si_pid != 0;
        } else {
            int status = 0;
            const pid_t got = waitpid(child.pid, &status, WNOHANG);
            if (got >= 0) return got != 0;
        }
        if (errno != EINTR) return true;
    }
}

} // namespace

namespace qz::shell {

void RecordChild(pid_t pid) {
    const int saved = errno;
    const int pidfd = openPidfd(pid);
    errno = saved;
    try {
        g_children.push_back(Child{pid, pidfd});
    } catch (...) {
        // Without room to record it, the child is waited for by a later call
        // of nobody: better a zombie than a wait that blocks the caller.
        if (pidfd >= 0) close(pidfd);
    }
}

size_t RecordedChildren() { return g_children.size(); }

} // namespace qz::shell

extern "C" void qz_Shell_ReapChildren(void) {
    if (g_children.empty()) return;
    const int saved = errno;
    size_t kept = 0;
    for (const Child &child : g_children) {
        if (reaped(child)) {
            if (child.pidfd >= 0) close(child.pidfd);
        } else {
            g_children[kept++] = child;
        }
    }
    g_children.resize(kept);
    errno = saved;
}
