// The database error checks and their reports, byte for byte, with the
// database's answers forced through a scripted backend.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qzdb.h"
#include "qz/qzglobal.h"
#include "qz/qztrace.h"
#include "test_driver_child.h"

namespace {

using qz::db::Diagnostic;
using qz::db::Diagnostics;

// What the next connect meets.
struct Script {
    int16_t kind = QZ_DBMS_ORACLE;
    Diagnostics errors;  // empty: the connect succeeds
} g_script;

class ScriptedConnection final : public qz::db::Connection {
public:
    bool disconnect(Diagnostics &) override { return true; }
};

class Scripted final : public qz::db::Backend {
public:
    qz::db::ConnectResult connect(const qz::db::StoreSettings &, Diagnostics &diags) override {
        if (!g_script.errors.empty()) {
            diags = g_script.errors;
            return {nullptr, g_script.kind};
        }
        return {std::make_unique<ScriptedConnection>(), g_script.kind};
    }
} g_scripted;

struct Outcome {
    int16_t result, status, severity;
    int32_t native;
};

// A context with only what the checks use: the line break and the exit hook.
std::unique_ptr<QZ_PgmContext> Context() {
    auto ctx = std::make_unique<QZ_PgmContext>();
    std::strcpy(ctx->lineBreak, "<BR>");
    return ctx;
}

// Connects "Default" through the script and checks the outcome like the page does.
Outcome ConnectAndCheck(int16_t kind, Diagnostics errors, int32_t mask = 0, int16_t retryAllowed = 1) {
    g_script.kind = kind;
    g_script.errors = std::move(errors);
    QZ_DB_Init(0);
    QZ_DB_Declare_Conn("Default", 1);
    int16_t handle = 0;
    int16_t status = QZ_DB_Connect("Default", &handle);
    auto ctx = Context();
    Outcome o{};
    o.result = QZ_DB_CheckError(ctx.get(), handle, mask, status, &o.status, &o.native, &o.severity,
                                retryAllowed, "hwendle", 176);
    QZ_DB_End();
    return o;
}

class DriverReports : public ::testing::Test {
protected:
    void SetUp() override {
        qz::db::RegisterBackend("scripted", &g_scripted);
        QZ_TraceReset();
    }
    qztest::ScratchDir dir_{"[DataStore.Default]\nBackend=scripted\n"};
};

// Runs the check in a child and returns what it printed and its exit code.
qztest::ChildResult ReportOf(int16_t kind, Diagnostics errors, int32_t mask = 0) {
    return qztest::RunChild([&] {
        Outcome o = ConnectAndCheck(kind, errors, mask);
        std::printf("|result %d status %d severity %d native %d", o.result, o.status, o.severity,
                    static_cast<int>(o.native));
        return 0;
    });
}

const std::string kAbortHead = "\n\n<BR>---- Runtime program error report.<BR>";
const std::string kAbortTail =
    "<BR><BR>Program ''hwendle'' aborted at line 176. Exit code: -1.<BR>---- End error report.";

TEST_F(DriverReports, SetupCallFailureIsFatalWithFileAndLine) {
    auto r = qztest::RunChild([] {
        auto ctx = Context();
        QZ_DB_CheckCall(ctx.get(), 0, "qzmdl", 7);  // success returns
        std::printf("ok");
        QZ_DB_CheckCall(ctx.get(), QZ_DB_ERR_NOSTORE, "qzmdl", 8);
        return 0;
    });
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, "ok\n\n<BR>---- Runtime program error report.<BR>Fatal Error in ODBC/OLEDB File "
                     "'qzmdl', Line 8<BR><BR><BR>Program ''qzmdl'' aborted at line 8. Exit code: "
                     "-1.<BR>---- End error report.");
}

TEST_F(DriverReports, NoErrorAndHandledErrorsReportNothing) {
    auto r = ReportOf(QZ_DBMS_ORACLE, {});
    EXPECT_EQ(r.out, "|result 0 status 0 severity 0 native 0");
    // Oracle duplicate key with mask 0: status 1, nothing reported.
    r = ReportOf(QZ_DBMS_ORACLE, {{"ORA-00001: unique constraint violated", "23000", 1}});
    EXPECT_EQ(r.out, "|result 1 status 1 severity 0 native 1");
    // Oracle "no data found" counts as end of data.
    r = ReportOf(QZ_DBMS_ORACLE, {{"ORA-01403: no data found", "02000", 1403}});
    EXPECT_EQ(r.out, "|result 101 status 101 severity 0 native 1403");
    // A missing object the caller handles (mask bit 2) is not reported.
    r = ReportOf(QZ_DBMS_SQLSERVER, {{"Cannot drop the table", "42S02", 3701}}, QZ_HANDLE_MISSING);
    EXPECT_EQ(r.out, "|result 105 status 105 severity 0 native 3701");
}

TEST_F(DriverReports, CallerHandledDuplicateKeepsTheCallStatusAndIsReported) {
    // Mask bit 4: the status stays the call's own (-1), which is not 1 or 101,
    // so the non-fatal report lists every record of the call.
    auto r = ReportOf(QZ_DBMS_ORACLE, {{"ORA-00001: unique constraint violated\n", "23000", 1},
                                       {"ORA-02063: preceding line from LINK", "HY000", 2063}},
                      QZ_HANDLE_DUPLICATE);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "\n---- Runtime program error report.\n"
              "SQLCODE 1 in source hwendle line 176.\nSQLSTATE 23000.\nError text follows:\n"
              "ORA-00001: unique constraint violated\n"
              "SQLCODE 2063 in source hwendle line 176.\nSQLSTATE HY000.\nError text follows:\n"
              "ORA-02063: preceding line from LINK"
              "\n---- End error report. Error Ignored.\n"
              "|result -1 status -1 severity 0 native 2063");
}

TEST_F(DriverReports, LockAsksForRetryOnlyWhenAllowed) {
    auto r = qztest::RunChild([] {
        Outcome allowed = ConnectAndCheck(QZ_DBMS_DB2, {{"SQL0911N deadlock", "40001", -911}}, 0, 1);
        Outcome last = ConnectAndCheck(QZ_DBMS_DB2, {{"SQL0911N deadlock", "40001", -911}}, 0, 0);
        Outcome masked = ConnectAndCheck(QZ_DBMS_DB2, {{"SQL0911N deadlock", "40001", -911}}, QZ_HANDLE_LOCKED, 1);
        std::printf("%d %d|%d %d|%d %d", allowed.result, allowed.severity, last.result, last.severity,
                    masked.result, masked.severity);
        return 0;
    });
    // Masked: the status stays the call's -1 and is reported as an ignored error.
    EXPECT_EQ(r.out, "\n---- Runtime program error report.\nSQLCODE -911 in source hwendle line 176.\n"
                     "SQLSTATE 40001.\nError text follows:\nSQL0911N deadlock"
                     "\n---- End error report. Error Ignored.\n103 1|103 0|-1 0");
}

TEST_F(DriverReports, IntegrityViolationAborts) {
    auto r = ReportOf(QZ_DBMS_INFORMIX, {{"Missing key in referenced table", "23000", -691}});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kAbortHead + "DBMS error code -691. SqlState 23000<BR>Missing key in referenced table." + kAbortTail);
}

TEST_F(DriverReports, UnclassifiedCodeAborts) {
    auto r = ReportOf(QZ_DBMS_SQLSERVER, {{"Login failed for user 'valdlocal'", "28000", 18456}});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kAbortHead + "DBMS error code 18456. SqlState 28000<BR>Login failed for user 'valdlocal'." + kAbortTail);
}

TEST_F(DriverReports, KindsWithoutTableAbort) {
    auto r = ReportOf(QZ_DBMS_MYSQL, {{"Access denied", "28000", 1045}});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kAbortHead + "Last Error: Access denied<BR> Fatal Error: DBMS 6 is unknown <BR>." + kAbortTail);
    r = ReportOf(0, {{"could not connect", "08001", 101}});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kAbortHead + "Last Error: could not connect<BR> Fatal Error: DBMS for connection 1 is unknown <BR>." + kAbortTail);
}

TEST_F(DriverReports, ErrorWithoutNativeCodeIsAnApiFailure) {
    auto r = ReportOf(QZ_DBMS_OTHER, {{"[unixODBC][Driver Manager]Data source name not found", "IM002", 0}});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.out, kAbortHead + "Fatal Error in ODBC/OLEDB Api<BR>Error text follows: [unixODBC][Driver Manager]Data source name not found<BR>" + kAbortTail);
}

TEST_F(DriverReports, OtherKindTellsMissingObjectsFromTheMessage) {
    auto r = ReportOf(QZ_DBMS_OTHER, {{"no such table: orders", "HY000", -1}});
    EXPECT_EQ(r.out, "\n---- Runtime program error report.\nSQLCODE -1 in source hwendle line 176.\n"
                     "SQLSTATE HY000.\nError text follows:\nno such table: orders"
                     "\n---- End error report. Error Ignored.\n|result 105 status 105 severity 0 native -1");
    r = ReportOf(QZ_DBMS_OTHER, {{"ERROR: relation \"x\" does not exist", "42P01", 110}});
    EXPECT_EQ(r.exitCode, 255);  // "relation" is not "Relation": case as written
}

TEST(DriverReportTables, NativeCodesByKind) {
    struct Case {
        int16_t kind;
        int32_t native;
        const char *message;
        int32_t mask;
        int16_t status, severity;  // severity 3: left for the check to resolve
    };
    const Case cases[] = {
        {1, 2627, "", 0, 1, 3},     {1, 1222, "", 0, 103, 3},   {1, 4902, "", 0, 105, 3},
        {1, 503, "", 0, 500, 2},    {1, 100, "", 0, 101, 3},    {1, 1403, "", 0, 999, 2},
        {2, 54, "", 0, 103, 3},     {2, 54, "", 1, -7, 3},      {2, 2443, "", 0, 105, 3},
        {2, 955, "", 0, 106, 3},    {2, 955, "", 8, 106, 0},    {2, 2291, "", 0, 500, 2},
        {3, -803, "", 0, 1, 3},     {3, -601, "", 0, 999, 2},   {3, -530, "", 0, 500, 2},
        {4, -913, "", 0, 103, 3},   {4, -911, "", 0, 999, 2},   {4, -601, "", 0, 107, 3},
        {4, -204, "", 2, 105, 0},   {5, -268, "", 4, -7, 3},    {5, -245, "", 0, 103, 3},
        {5, -623, "", 0, 105, 3},   {7, 110, "index i does not exist", 0, 105, 3},
        {7, -1, "Relation t does not exist", 2, 105, 0},       {7, -1, "index i is nonexistent", 0, 105, 3},
        {7, -1, "syntax error", 0, 999, 2},                     {7, 42, "no such table", 0, 999, 2},
        {7, 100, "", 0, 101, 3},
    };
    for (const Case &c : cases) {
        int16_t status = -7, severity = 3;
        QZ_DB_MapNativeError(c.kind, c.native, c.message, c.mask, &status, &severity);
        EXPECT_EQ(status, c.status) << "kind " << c.kind << " code " << c.native;
        EXPECT_EQ(severity, c.severity) << "kind " << c.kind << " code " << c.native;
    }
}

}  // namespace
