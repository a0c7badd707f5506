// Fatal signals: a short message through the context's message hook, then
// the end of the process with exit code -1 through its exit hook.
#include <signal.h>
#include <unistd.h>

#include "qz/qzglobal.h"
#include "runtime/qzsignal_internal.h"

namespace {

// The handler writes through stdio and the trace file, which a signal may
// have interrupted halfway; should that ever hang, the alarm ends the process.
constexpr unsigned kReportSeconds = 5;

constexpr int kSignals[] = {SIGINT, SIGILL, SIGFPE, SIGSEGV, SIGTERM, SIGABRT};

void (*g_terminationHandler)(int) = nullptr;

}  // namespace

extern "C" {

const char *QZ_SignalText(int signalNumber) {
    switch (signalNumber) {
    case SIGINT: return "interrupt (SIGINT).";
    case SIGILL: return "illegal instruction - invalid function image (SIGILL).";
    case SIGFPE: return "floating point exception (SIGFPE).";
    case SIGSEGV: return "segment violation (SIGSEGV).";
    case SIGTERM: return "Software termination signal from kill (SIGTERM).";
    case SIGABRT: return "abnormal termination triggered by abort call (SIGABRT).";
    default: return "Aplication process signaled";
    }
}

void QZ_SignalHandler(int signalNumber) {
    QZ_PgmContext *ctx = QZ_GetCurrentContext();
    if (ctx != nullptr) {
        alarm(kReportSeconds);
        if (ctx->messageHook != nullptr) {
            ctx->messageHook(QZ_SignalText(signalNumber));
            ctx->messageHook("Application aborted.");
            ctx->messageHook("Please check trace files for diagnostic information");
        }
        if (ctx->exitHook != nullptr) ctx->exitHook(-1);
    }
    // No context, or no exit hook: the handler was reset to the default action
    // on entry, so raising again ends the process the signal's own way
    // (returning from a fault would only repeat it).
    raise(signalNumber);
}

void QZ_InstallSignalHandlers(void) {
    struct sigaction action = {};
    action.sa_handler = QZ_SignalHandler;
    sigemptyset(&action.sa_mask);
    // One report per process: a second fault inside the report takes the
    // default action instead of entering the handler again.
    action.sa_flags = SA_RESETHAND;
    for (int signalNumber : kSignals) sigaction(signalNumber, &action, nullptr);
    if (g_terminationHandler != nullptr) {
        // Stays installed, and interrupts a blocking wait (no SA_RESTART).
        struct sigaction stop = {};
        stop.sa_handler = g_terminationHandler;
        sigemptyset(&stop.sa_mask);
        sigaction(SIGTERM, &stop, nullptr);
    }
}

void qz_SetTerminationHandler(void (*handler)(int)) { g_terminationHandler = handler; }

}  // extern "C"
