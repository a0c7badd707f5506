// The generated module of hwendle.exe: start-up, the data store "Default"
// and the run of one request from the CGI environment to the exit code.
#include <cstdlib>
#include <ctime>

#include "driver/hwendle.h"
#include "driver/qzmdl.h"
#include "driver/qzmdl_random.h"
#include "qz/qzdb.h"
#include "qz/qzpgmmem.h"
#include "qz/qzserve.h"
#include "qz/qzstatic.h"

namespace {

constexpr const char *kSource = "qzmdl";
constexpr const char *kDataStore = "Default";

char g_parameter[QZMDL_PARAMETER_MAX + 1];
int16_t g_exitFlag;
// A process that serves many requests keeps the handlers of its first one:
// they stay installed until a signal, and a signal ends the process.
bool g_handlersInstalled = false;

// The module's globals live for one request.
void ResetModule() {
    g_parameter[0] = '\0';
    g_exitFlag = 0;
}

int32_t NumericParameter(QZ_HTTP_SrvReq *request) {
    return QZ_ParameterToLong(QZ_HTTP_SrvReq_GetParameter(request, g_parameter, QZMDL_PARAMETER_MAX));
}

}  // namespace

extern "C" {

void QZ_ModuleStart(int argc, char **argv, int pageParameters) {
    QzmdlSeedRandom(static_cast<unsigned>(std::time(nullptr)), QZ_ServePersistent() != 0);
    QZ_StaticWeb_ParseOptions(argc, argv, pageParameters);
}

void QZ_ModuleEnd(void) { QZ_StaticWeb_Free(); }

void QZ_SetupDataStores(QZ_PgmContext *ctx) {
    QZ_DB_CheckCall(ctx, QZ_DB_Declare_Conn(kDataStore, 1), kSource, 7);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetDSName(kDataStore, "valdlocal"), kSource, 8);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetTrnInt(kDataStore, 1), kSource, 9);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetPrompt(kDataStore, 2), kSource, 10);
    QZ_DB_CheckCall(ctx, QZ_DB_ConnSetConnData(kDataStore, ";DATABASE=valdrun;"), kSource, 11);
}

int QZ_RunProgram(int argc, char **argv) {
    QZ_GetDefaultPool();  // created here when it does not exist yet
    QZ_AtRequestEnd(ResetModule);
    QZ_SetCurrentContext(nullptr);
    if (!g_handlersInstalled || QZ_ServePersistent() == 0) QZ_InstallSignalHandlers();
    g_handlersInstalled = true;
    QZ_PgmContext *ctx = QZ_PgmContext_New();
    if (ctx == nullptr) {
        // Nothing can be answered without a context; the server reports the failure.
        QZ_PrintMessage("Status: 500 Internal Server Error\n\nNot enough memory.");
        return -1;
    }
    QZ_PgmContext_Init(ctx);
    QZ_HTTP_Response_Init(&ctx->response, "text/html");
    QZ_HTTP_Response_SetCtrlBlock(&ctx->response, nullptr);
    QZ_HTTP_SrvReq_Init(&ctx->request);
    QZ_HTTP_SrvReq_Read(&ctx->request, 0);
    QZ_HTTP_SrvReq_SetLeadingWord(&ctx->request, 0);

    Hwendle_Data *data = Hwendle_New();
    if (data == nullptr) QZ_RuntimeAbort(ctx, kSource, 0, -1, "Not enough memory for the page.");
    g_parameter[0] = '\0';
    g_exitFlag = 0;
    QZ_DB_Init(0);
    QZ_ModuleStart(argc, argv, 4);

    int32_t n1 = NumericParameter(&ctx->request);
    int32_t n2 = NumericParameter(&ctx->request);
    int32_t n3 = NumericParameter(&ctx->request);
    char text[QZMDL_TEXT_PARAMETER_MAX + 1];
    QZ_HTTP_SrvReq_GetParameter(&ctx->request, text, QZMDL_TEXT_PARAMETER_MAX);

    QZ_SetupDataStores(ctx);
    Hwendle_Connect(ctx, data, &n1, &n2, &n3, text);
    if (g_exitFlag == 0) {
        Hwendle_Before(ctx, data, &n1, &n2, &n3, text);
        Hwendle_Execute(ctx, data, &n1, &n2, &n3, text);
        Hwendle_After(ctx, data, &n1, &n2, &n3, text);
    }
    Hwendle_Disconnect(ctx, data, &n1, &n2, &n3, text);
    QZ_ModuleEnd();
    QZ_DB_End();
    Hwendle_Delete(data);
    QZ_HTTP_Response_End(&ctx->response);
    QZ_HTTP_SrvReq_Free(&ctx->request);
    QZ_PgmContext_Free(ctx);
    QZ_PgmContext_Delete();
    QZ_MemPool_delete(QZ_GetDefaultPool());
    QZ_SetDefaultPool(nullptr);
    return 0;
}

}  // extern "C"
