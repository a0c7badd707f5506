// The web object and the driver end to end: whole runs of the program as the
// web server starts it, and the page's rendering, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/hwendle.h"
#include "driver/qzdata_backend.h"
#include "driver/qzmdl.h"
#include "qz/qzdb.h"
#include "qz/qzglobal.h"
#include "qz/qzpgmmem.h"
#include "qz/qztrace.h"
#include "test_driver_child.h"

namespace {

const std::string kSite = "https://www.example.com/main/";

// One CGI run of the program in a child: environment, body, and the result.
qztest::ChildResult RunCgi(const std::string &method, const std::string &query,
                           const std::string &body = "", const std::string &contentType = "") {
    return qztest::RunChild(
        [&] {
            setenv("GATEWAY_INTERFACE", "CGI/1.1", 1);
            setenv("REQUEST_METHOD", method.c_str(), 1);
            setenv("QUERY_STRING", query.c_str(), 1);
            setenv("SCRIPT_NAME", "/cgi-bin/hwendle.exe", 1);
            if (!body.empty()) setenv("CONTENT_LENGTH", std::to_string(body.size()).c_str(), 1);
            if (!contentType.empty()) setenv("CONTENT_TYPE", contentType.c_str(), 1);
            char name[] = "hwendle.exe";
            char *argv[] = {name, nullptr};
            return QZ_RunProgram(1, argv);
        },
        body);
}

class DriverRun : public ::testing::Test {
protected:
    void SetUp() override { QZ_TraceReset(); }
    qztest::ScratchDir dir_;
};

TEST_F(DriverRun, GetIsAnsweredWithTheRedirectToTheSite) {
    auto r = RunCgi("GET", "5,6,7,abc");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Location: " + kSite + "Hwendle.aspx?5,6,7,abc\n\n");
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "valdrun.db"));  // the connect was real
}

TEST_F(DriverRun, ParametersAreConvertedAndPassedOn) {
    EXPECT_EQ(RunCgi("GET", "").out, "Location: " + kSite + "Hwendle.aspx?0,0,0,\n\n");
    EXPECT_EQ(RunCgi("GET", "12,x,3.9,abc").out, "Location: " + kSite + "Hwendle.aspx?12,0,3,abc\n\n");
    EXPECT_EQ(RunCgi("GET", "-2.7,1e10,nan,a").out,
              "Location: " + kSite + "Hwendle.aspx?-2,2147483647,0,a\n\n");
    // The text is form-encoded on its way out: a blank and a (decoded) comma.
    EXPECT_EQ(RunCgi("GET", "1,2,3,a%20b%2Cc").out, "Location: " + kSite + "Hwendle.aspx?1,2,3,a+b%2Cc\n\n");
}

TEST_F(DriverRun, PostIsRedirectedAsWell) {
    auto r = RunCgi("POST", "5,6,7,abc", "sCallerURL=http%3A%2F%2Fcaller%2Fx&a=1",
                    "application/x-www-form-urlencoded");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Location: " + kSite + "Hwendle.aspx?5,6,7,abc\n\n");
}

TEST_F(DriverRun, SitePrefixComesFromTheConfiguration) {
    std::ofstream("qzcfg.ini") << "[Web]\nSitePrefix=http://127.0.0.1:8081/main/\n";
    EXPECT_EQ(RunCgi("GET", "1,2,3,x").out, "Location: http://127.0.0.1:8081/main/Hwendle.aspx?1,2,3,x\n\n");
}

TEST_F(DriverRun, DatabaseThatCannotBeOpenedEndsTheRunWithTheReport) {
    std::ofstream("qzcfg.ini") << "[DataStore.Default]\nDatabase=/nonexistent-dir/valdrun.db\n";
    auto r = RunCgi("GET", "5,6,7,abc");
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out,
              "\n\n<BR>---- Runtime program error report.<BR>DBMS error code 14. SqlState "
              "08001<BR>[SQLite]unable to open database file (/nonexistent-dir/valdrun.db)."
              "<BR><BR>Program ''hwendle'' aborted at line 176. Exit code: -1.<BR>---- End error report.");
}

TEST_F(DriverRun, ParametersAreTraced) {
    std::ofstream("qzcfg.ini") << "[Trace]\nTrace=1\nTraceLevel=0\nTraceFile=trace.log\n";
    RunCgi("GET", "5,6");
    std::ifstream in("trace.log");
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(all.find(" Program parameter: 5\n"), std::string::npos) << all;
    EXPECT_NE(all.find(" Program parameter: 6\n"), std::string::npos) << all;
}

// A context as the driver builds it, with the request filled by hand and the
// response written into a string.
class DriverPage : public ::testing::Test {
protected:
    void SetUp() override {
        QZ_TraceReset();
        ctx_ = QZ_PgmContext_New();
        QZ_PgmContext_Init(ctx_);
        QZ_HTTP_SrvReq_Init(&ctx_->request);
        QZ_CStr_Init(&out_);
        QZ_HTTP_Response_Init(&ctx_->response, "text/html");
        QZ_HTTP_Response_SetOutputBuffer(&ctx_->response, &out_);
        data_ = Hwendle_New();
        Hwendle_InitData(data_);
    }
    void TearDown() override {
        Hwendle_Delete(data_);
        QZ_HTTP_Response_End(&ctx_->response);
        QZ_CStr_Free(&out_);
        QZ_HTTP_SrvReq_Free(&ctx_->request);
        QZ_PgmContext_Free(ctx_);
        QZ_PgmContext_Delete();
    }
    void SetMethod(const char *method) { QZ_CStr_SetText(&ctx_->request.requestMethod, method); }
    std::string Out() const { return out_.data; }

    QZ_PgmContext *ctx_ = nullptr;
    Hwendle_Data *data_ = nullptr;
    QZ_CStr out_;
    int32_t n1_ = 5, n2_ = 6, n3_ = 7;
    char text_[HWENDLE_TEXT_MAX + 1] = "a b";
};

const std::string kHead =
    "<html>\n<head>\n<meta name=\"Generator\" content=\"Quazen C/SQL\">\n"
    "<meta name=\"Version\" content=\"7_5_RC.035\">\n<meta name=\"DESCRIPTION\" content=\"wendle\">\n"
    "<title>\nwendle</title>\n</head>\n<body bgcolor=#FFFFFF>\n";
const std::string kScript =
    "<script language=\"JavaScript\" type=\"text/javascript\">\nvar QZPARAMETERS = new Array();\n"
    "function QZ_js_close()\n{\nif (document.forms[0].sCallerURL.value != \"\")\n{\n"
    "location.assign(document.forms[0].sCallerURL.value);\n}\nelse\n{\nself.close();\n}\n}\n"
    "</script>\n";

TEST_F(DriverPage, HeadFormAndScriptAreWrittenOnce) {
    Hwendle_RenderHead(ctx_, data_, &n1_, &n2_, &n3_, text_);
    Hwendle_RenderHead(ctx_, data_, &n1_, &n2_, &n3_, text_);  // head written: nothing more
    Hwendle_RenderScript(ctx_, data_);
    EXPECT_EQ(Out(), kHead +
                         "<form id=\"MAINFORM\" name=\"MAINFORM\" method=\"POST\" "
                         "ACTION=\"hwendle.exe?5,6,7,a+b\">\n<P>&nbsp;</P>" + kScript);
    EXPECT_EQ(data_->headWritten, 1);
    // In a string nothing is sent: the headers wait in the response.
    EXPECT_STREQ(ctx_->response.headers.data, "pragma: no-cache\nContent-type: text/html\r\n");
}

TEST(DriverPageDirect, RenderedPageGoesOutWithItsHeadersFirst) {
    auto r = qztest::RunChild([] {
        QZ_PgmContext *ctx = QZ_PgmContext_New();
        QZ_PgmContext_Init(ctx);
        QZ_HTTP_Response_Init(&ctx->response, "text/html");
        QZ_HTTP_Response_SetCtrlBlock(&ctx->response, nullptr);
        QZ_HTTP_SrvReq_Init(&ctx->request);
        Hwendle_Data *data = Hwendle_New();
        int32_t n = 0;
        char text[] = "";
        Hwendle_RenderHead(ctx, data, &n, &n, &n, text);
        QZ_HTTP_Response_AddHeader(&ctx->response, "late", "never sent");
        QZ_HTTP_Response_End(&ctx->response);
        return 0;
    });
    EXPECT_EQ(r.out, "Status: 200 OK\npragma: no-cache\nContent-type: text/html\r\n\n" + kHead +
                         "<form id=\"MAINFORM\" name=\"MAINFORM\" method=\"POST\" "
                         "ACTION=\"hwendle.exe?0,0,0,\">\n<P>&nbsp;</P>");
}

TEST_F(DriverPage, BackgroundImageAndUrlPrefixGoIntoTheBodyAndTheForm) {
    std::strcpy(data_->backgroundImage, "bg image.gif");
    std::strcpy(data_->urlPrefix, "/cgi-bin/");
    Hwendle_RenderHead(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_NE(Out().find("<body background=\"bg%20image.gif\" bgcolor=#FFFFFF>\n<form id=\"MAINFORM\" "
                         "name=\"MAINFORM\" method=\"POST\" ACTION=\"/cgi-bin/hwendle.exe?5,6,7,a+b\">\n"),
              std::string::npos)
        << Out();
}

TEST_F(DriverPage, MessagesAreListedInOrderAndThenEmptied) {
    QZ_MsgList_Add(&ctx_->messages, "first");
    QZ_MsgList_Add(&ctx_->messages, "second <b>");
    Hwendle_RenderMessages(ctx_, data_);
    EXPECT_EQ(Out(), "<span><menu><li>first</li><li>second <b></li></menu></span>");
    EXPECT_EQ(QZ_MsgList_Count(&ctx_->messages), 0);
    Hwendle_RenderMessages(ctx_, data_);  // empty list: nothing
    EXPECT_EQ(Out(), "<span><menu><li>first</li><li>second <b></li></menu></span>");
}

TEST_F(DriverPage, ScriptOfTheCloseWindowCaseIsEmpty) {
    ctx_->closeWindow = 1;
    Hwendle_RenderScript(ctx_, data_);
    EXPECT_EQ(Out(), "<script language=\"JavaScript\" type=\"text/javascript\">\n</script>\n");
}

TEST_F(DriverPage, CallerUrlComesFromThePostOrTheReferer) {
    QZ_CStr_SetText(&ctx_->request.referer, "http://referer/page");
    QZ_HTTP_SrvReq_UpdateVariable(&ctx_->request, "sCallerURL", "http://caller/form");
    SetMethod("POST  ");  // trailing blanks do not matter
    Hwendle_WebStart(ctx_, data_);
    EXPECT_STREQ(ctx_->callerUrl, "http://caller/form");
    EXPECT_STREQ(data_->programName, "Hwendle");
    SetMethod("post");  // the comparison is exact otherwise
    Hwendle_WebStart(ctx_, data_);
    EXPECT_STREQ(ctx_->callerUrl, "http://referer/page");
    QZ_CStr_SetText(&ctx_->request.referer, std::string(3000, 'r').c_str());
    Hwendle_WebStart(ctx_, data_);
    EXPECT_EQ(std::strlen(ctx_->callerUrl), static_cast<size_t>(QZ_CTX_CALLERURL_MAX));
}

TEST_F(DriverPage, CloseWindowAnswersWithTheClosePageOrTheCaller) {
    ctx_->closeWindow = 1;
    std::strcpy(ctx_->callerUrl, "   ");
    Hwendle_WebProcess(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_EQ(Out(), "<html><head><title>Close window</title></head><body><script "
                     "language=\"JavaScript\" type=\"text/javascript\">self.close();</script></body></html>");
    QZ_CStr_SetText(&out_, "");
    std::strcpy(ctx_->callerUrl, "http://caller/x");
    Hwendle_WebProcess(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_EQ(Out(), "Location: http://caller/x\n\n");
}

TEST_F(DriverPage, ExecuteRedirectsToTheLinkOfTheStartEvent) {
    SetMethod("GET");
    Hwendle_Execute(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_EQ(Out(), "Location: " + kSite + "Hwendle.aspx?5,6,7,a+b\n\n");
    EXPECT_EQ(std::string(ctx_->linkUrl), kSite + "Hwendle.aspx?5,6,7,a+b");
    EXPECT_EQ(data_->initialised, 1);
}

TEST_F(DriverPage, ComponentRendersIntoTheCallersStringAndRestoresTheContext) {
    QZ_MsgList_Add(&ctx_->messages, "host message");
    SetMethod("POST");
    QZ_HTTP_Response *before = ctx_->responseHandle;
    QZ_ComponentDesc desc{};
    Hwendle_Component(&desc, ctx_);
    ASSERT_NE(desc.data, nullptr);
    int32_t a = 1, b = 2, c = 3;
    char text[] = "x y";
    void *parameters[] = {&a, &b, &c, text};
    desc.initialize(desc.data, parameters);
    QZ_CStr buffer;
    QZ_CStr_Init(&buffer);
    QZ_CStr_SetText(&buffer, "old text");
    // The page's Start event always asks for its link, so the embedded page
    // answers with the redirect text.
    EXPECT_STREQ(desc.render(ctx_, desc.data, &buffer, "/prefix/"),
                 ("Location: " + kSite + "Hwendle.aspx?1,2,3,x+y\n\n").c_str());
    desc.idle(desc.data);
    desc.release(desc.data);
    QZ_CStr_Free(&buffer);
    // The host's response, method and messages are back as they were.
    EXPECT_EQ(ctx_->responseHandle, before);
    EXPECT_EQ(ctx_->response.buffer, &out_);
    EXPECT_EQ(ctx_->response.outputStarted, 0);
    EXPECT_STREQ(QZ_HTTP_SrvReq_Get_Method(&ctx_->request), "POST");
    EXPECT_EQ(QZ_MsgList_Count(&ctx_->messages), 1);
    EXPECT_EQ(Out(), "");
}

// Locks: the connect is repeated, but not forever.
int g_lockedConnects = 0;

class AlwaysLocked final : public qz::db::Backend {
public:
    qz::db::ConnectResult connect(const qz::db::StoreSettings &, qz::db::Diagnostics &diags) override {
        ++g_lockedConnects;
        diags.push_back({"SQL0911N The current transaction has been rolled back", "40001", -911});
        return {nullptr, QZ_DBMS_DB2};
    }
} g_alwaysLocked;

TEST_F(DriverPage, ConnectRetriesALockABoundedNumberOfTimes) {
    qztest::ScratchDir dir("[DataStore.Default]\nBackend=locked\n");
    qz::db::RegisterBackend("locked", &g_alwaysLocked);
    QZ_DB_Init(0);
    QZ_SetupDataStores(ctx_);
    Hwendle_Connect(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_EQ(g_lockedConnects, HWENDLE_CONNECT_ATTEMPTS);
    EXPECT_EQ(data_->connectStatus, QZ_STATUS_LOCKED);
    EXPECT_EQ(ctx_->retry, 0);
    EXPECT_EQ(ctx_->lastDbmsError, -911);
    EXPECT_STREQ(ctx_->userId, "valdlocal");
    EXPECT_STREQ(data_->password, "mervoslan");
    EXPECT_EQ(Out(), "");  // a lock is not reported
    Hwendle_Disconnect(ctx_, data_, &n1_, &n2_, &n3_, text_);
    EXPECT_EQ(ctx_->connHandle, nullptr);
    QZ_DB_End();
}

}  // namespace
