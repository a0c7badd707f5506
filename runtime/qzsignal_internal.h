// Signal handling hooks of the serving loop (internal to the runtime).
#ifndef QZ_RUNTIME_QZSIGNAL_INTERNAL_H
#define QZ_RUNTIME_QZSIGNAL_INTERNAL_H

extern "C" {

// While set, QZ_InstallSignalHandlers gives SIGTERM to this handler instead
// of the fatal report: a process serving many requests ends after the
// request in flight. Null restores the report.
void qz_SetTerminationHandler(void (*handler)(int));

}  // extern "C"

#endif
