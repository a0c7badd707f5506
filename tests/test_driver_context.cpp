// The program context and the fatal-signal handler.
#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "qz/qzxml.h"
#include "test_driver_child.h"

namespace {

TEST(DriverContext, NewInitFreeDelete) {
    QZ_SetCurrentContext(nullptr);
    QZ_MemPool *pool = QZ_GetDefaultPool();
    uint32_t blocksBefore = pool->count;
    QZ_PgmContext *ctx = QZ_PgmContext_New();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(QZ_GetCurrentContext(), ctx);
    EXPECT_EQ(ctx->messageHook, &QZ_PrintMessage);
    EXPECT_EQ(ctx->exitHook, &QZ_ExitProcess);
    std::memset(ctx->linkUrl, 'x', 10);
    ctx->retry = 7;
    QZ_PgmContext_Init(ctx);
    EXPECT_STREQ(ctx->lineBreak, "");
    EXPECT_STREQ(ctx->linkUrl, "");
    EXPECT_STREQ(ctx->callerUrl, "");
    EXPECT_EQ(ctx->retry, 0);
    EXPECT_EQ(ctx->lastDbmsError, 0);
    EXPECT_EQ(ctx->closeWindow, 0);
    EXPECT_EQ(ctx->responseHandle, &ctx->response);
    ASSERT_NE(ctx->xmlWriter, nullptr);
    EXPECT_GT(pool->count, blocksBefore + 1);  // the context, its XML writer and the writer's storage
    QZ_MsgList_Add(&ctx->messages, "one");
    QZ_PgmContext_Free(ctx);
    EXPECT_EQ(ctx->xmlWriter, nullptr);
    EXPECT_EQ(ctx->responseHandle, nullptr);
    QZ_PgmContext_Delete();
    EXPECT_EQ(QZ_GetCurrentContext(), nullptr);
    EXPECT_EQ(pool->count, blocksBefore);  // the messages went with the context
    QZ_PgmContext_Delete();                // no current context: nothing to free
}

TEST(DriverContext, PrintMessageWritesALineAndTracesIt) {
    qztest::ScratchDir dir("[Trace]\nTrace=1\nTraceLevel=0\nTraceFile=trace.log\n");
    auto r = qztest::RunChild([] {
        QZ_TraceReset();
        QZ_PrintMessage("hello there");
        return 0;
    });
    EXPECT_EQ(r.out, "hello there\n");
    std::ifstream in("trace.log");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "hello there\n");
}

// A signal ends the run with exit code -1 after three message lines.
qztest::ChildResult Signalled(int signalNumber, bool withContext = true) {
    return qztest::RunChild([=] {
        QZ_SetCurrentContext(nullptr);
        if (withContext) QZ_PgmContext_New();
        QZ_InstallSignalHandlers();
        raise(signalNumber);
        return 0;  // not reached
    });
}

TEST(DriverSignals, FatalSignalsReportAndExitWithMinusOne) {
    const std::pair<int, const char *> cases[] = {
        {SIGINT, "interrupt (SIGINT)."},
        {SIGILL, "illegal instruction - invalid function image (SIGILL)."},
        {SIGFPE, "floating point exception (SIGFPE)."},
        {SIGSEGV, "segment violation (SIGSEGV)."},
        {SIGTERM, "Software termination signal from kill (SIGTERM)."},
        {SIGABRT, "abnormal termination triggered by abort call (SIGABRT)."},
    };
    for (auto [signalNumber, text] : cases) {
        auto r = Signalled(signalNumber);
        EXPECT_EQ(r.exitCode, 255) << text;
        EXPECT_EQ(r.out, std::string(text) +
                             "\nApplication aborted.\nPlease check trace files for diagnostic information\n");
    }
    EXPECT_STREQ(QZ_SignalText(SIGHUP), "Aplication process signaled");
}

TEST(DriverSignals, RealFaultIsReported) {
    auto r = qztest::RunChild([] {
        QZ_SetCurrentContext(nullptr);
        QZ_PgmContext_New();
        QZ_InstallSignalHandlers();
        std::abort();
        return 0;
    });
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out.substr(0, 55), "abnormal termination triggered by abort call (SIGABRT).");
}

TEST(DriverSignals, WithoutContextTheSignalTakesItsDefaultCourse) {
    auto r = Signalled(SIGTERM, false);
    EXPECT_EQ(r.signal, SIGTERM);
    EXPECT_EQ(r.out, "");
}

}  // namespace
