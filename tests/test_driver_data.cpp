// The data-access layer over real databases: the embedded SQLite default and
// ODBC (through the SQLite ODBC driver, so no server is needed here).
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <fstream>
#include <sstream>
#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qzdb.h"
#include "qz/qztrace.h"
#include "runtime/qzserve_internal.h"
#include "test_driver_child.h"

namespace {

struct Error {
    int16_t result = 0;
    std::string message, state;
    int32_t native = -12345;
};

Error FirstError(int16_t handle, int32_t max = QZ_DB_MESSAGE_MAX) {
    Error e;
    char message[QZ_DB_MESSAGE_MAX + 1] = "?", state[QZ_DB_SQLSTATE_MAX + 1] = "?";
    e.result = QZ_DB_GetFirstConnError(handle, max, message, max, state, &e.native);
    e.message = message;
    e.state = state;
    return e;
}

void DeclareDefault() {
    ASSERT_EQ(QZ_DB_Declare_Conn("Default", 1), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetDSName("Default", "valdlocal"), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetTrnInt("Default", 1), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetPrompt("Default", 2), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetConnData("Default", ";DATABASE=valdrun;"), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetUserId("Default", "valdlocal"), QZ_DB_OK);
    ASSERT_EQ(QZ_DB_ConnSetPassword("Default", "mervoslan"), QZ_DB_OK);
}

bool Mapped(const char *library) {
    std::ifstream maps("/proc/self/maps");
    std::stringstream all;
    all << maps.rdbuf();
    return all.str().find(library) != std::string::npos;
}

class DriverData : public ::testing::Test {
protected:
    void SetUp() override { QZ_TraceReset(); }
    void TearDown() override { QZ_DB_End(); }
};

TEST_F(DriverData, SqliteDefaultCreatesTheDatabaseNamedByTheConnectionText) {
    qztest::ScratchDir dir;  // no qzcfg.ini: every default applies
    QZ_DB_Init(0);
    DeclareDefault();
    int16_t handle = -1;
    ASSERT_EQ(QZ_DB_Connect("Default", &handle), QZ_DB_OK);
    EXPECT_EQ(handle, 1);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "valdrun.db"));
    Error none = FirstError(handle);
    EXPECT_EQ(none.result, 0);
    EXPECT_EQ(none.native, 0);
    EXPECT_EQ(none.message, "");
    int16_t kind = 0;
    EXPECT_EQ(QZ_DB_GetDBMS(handle, &kind), 1);
    EXPECT_EQ(kind, QZ_DBMS_OTHER);
    // A second connect of the same store is refused; the connection stays usable.
    int16_t again = 0;
    EXPECT_EQ(QZ_DB_Connect("Default", &again), QZ_DB_ERR_STATE);
    EXPECT_EQ(again, handle);
    EXPECT_EQ(QZ_DB_Disconnect(handle), QZ_DB_OK);
    EXPECT_EQ(FirstError(handle).result, 0);
    EXPECT_EQ(QZ_DB_Disconnect(handle), QZ_DB_ERR_HANDLE);
    EXPECT_EQ(FirstError(handle).message, "[qzdata]Connection 1 is not open.");
    // The default backend never maps the ODBC driver manager.
    EXPECT_FALSE(Mapped("libodbc.so"));
}

TEST_F(DriverData, DatabaseThatCannotBeOpenedKeepsItsErrorsOnTheHandle) {
    qztest::ScratchDir dir("[DataStore.Default]\nDatabase=/nonexistent-dir/x.db\n");
    QZ_DB_Init(0);
    DeclareDefault();
    int16_t handle = 0;
    EXPECT_EQ(QZ_DB_Connect("Default", &handle), QZ_DB_ERROR);
    ASSERT_EQ(handle, 1);
    Error e = FirstError(handle);
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.native, 14);  // SQLITE_CANTOPEN
    EXPECT_EQ(e.state, "08001");
    EXPECT_EQ(e.message, "[SQLite]unable to open database file (/nonexistent-dir/x.db)");
    int16_t kind = 0;
    EXPECT_EQ(QZ_DB_GetDBMS(handle, &kind), 1);
    EXPECT_EQ(kind, QZ_DBMS_OTHER);
    // Only one record: the next reader delivers nothing and leaves the buffers alone.
    char message[8] = "keep", state[8] = "keep";
    int32_t native = 77;
    EXPECT_EQ(QZ_DB_GetNextConnError(handle, 7, message, 7, state, &native), 0);
    EXPECT_STREQ(message, "keep");
    EXPECT_EQ(native, 77);
    // The buffers receive at most the size asked for, and a terminator.
    Error cut = FirstError(handle, 8);
    EXPECT_EQ(cut.message, "[SQLite]");
    EXPECT_EQ(cut.state, "08001");
    // A retry reuses the store's handle; a disconnect of the failed one releases it.
    int16_t retry = 0;
    EXPECT_EQ(QZ_DB_Connect("Default", &retry), QZ_DB_ERROR);
    EXPECT_EQ(retry, handle);
    EXPECT_EQ(QZ_DB_Disconnect(handle), QZ_DB_OK);
    EXPECT_EQ(FirstError(handle).result, 0);  // the check after the disconnect finds no error
    EXPECT_EQ(FirstError(handle).native, 0);
    Error unknown = FirstError(9);  // a handle never given out: no description, native code 0
    EXPECT_EQ(unknown.result, 1);
    EXPECT_EQ(unknown.native, 0);
    EXPECT_EQ(unknown.message, "[qzdata]Invalid connection handle 9.");
}

TEST_F(DriverData, FileThatIsNoDatabaseIsRefusedAtConnect) {
    qztest::ScratchDir dir("[DataStore.Default]\nBackend = SQLite\nDatabase=junk.db\n");
    std::ofstream("junk.db") << std::string(4096, 'x');
    QZ_DB_Init(0);
    DeclareDefault();
    int16_t handle = 0;
    EXPECT_EQ(QZ_DB_Connect("Default", &handle), QZ_DB_ERROR);
    Error e = FirstError(handle);
    EXPECT_EQ(e.native, 26);  // SQLITE_NOTADB
    EXPECT_EQ(e.message, "[SQLite]file is not a database (junk.db)");
}

TEST_F(DriverData, CallsOutOfOrderOrWithBadArgumentsFail) {
    qztest::ScratchDir dir;
    int16_t handle = 5;
    EXPECT_EQ(QZ_DB_Declare_Conn("Default", 1), QZ_DB_ERR_STATE);  // before QZ_DB_Init
    EXPECT_EQ(QZ_DB_Connect("Default", &handle), QZ_DB_ERR_STATE);
    EXPECT_EQ(handle, 0);
    QZ_DB_Init(0);
    EXPECT_EQ(QZ_DB_ConnSetDSName("Other", "x"), QZ_DB_ERR_NOSTORE);
    EXPECT_EQ(QZ_DB_Connect("Other", &handle), QZ_DB_ERR_NOSTORE);
    EXPECT_EQ(QZ_DB_Declare_Conn("", 1), QZ_DB_ERR_ARGUMENT);
    EXPECT_EQ(QZ_DB_Declare_Conn(nullptr, 1), QZ_DB_ERR_ARGUMENT);
    EXPECT_EQ(QZ_DB_Connect("Default", nullptr), QZ_DB_ERR_ARGUMENT);
    DeclareDefault();
    EXPECT_EQ(QZ_DB_ConnSetPassword("Default", nullptr), QZ_DB_ERR_ARGUMENT);
    EXPECT_EQ(QZ_DB_ConnSetUserId("Default", std::string(600, 'u').c_str()), QZ_DB_ERR_ARGUMENT);
    EXPECT_EQ(QZ_DB_Disconnect(0), QZ_DB_ERR_HANDLE);
    int16_t kind = 99;
    EXPECT_EQ(QZ_DB_GetDBMS(0, &kind), 0);
}

TEST_F(DriverData, UnknownBackendIsReportedOnTheHandle) {
    qztest::ScratchDir dir("[DataStore.Default]\nBackend=oracle-native\n");
    QZ_DB_Init(0);
    DeclareDefault();
    int16_t handle = 0;
    EXPECT_EQ(QZ_DB_Connect("Default", &handle), QZ_DB_ERR_BACKEND);
    Error e = FirstError(handle);
    EXPECT_EQ(e.result, 1);
    EXPECT_EQ(e.native, 0);
    EXPECT_EQ(e.state, "IM002");
    EXPECT_EQ(e.message, "[qzdata]Data store 'Default': unknown backend 'oracle-native'.");
}

// ODBC through the SQLite ODBC driver, configured in the scratch folder.
// Each case runs in a child: the driver manager stays mapped once loaded.
void WriteOdbcConfig(const qztest::ScratchDir &dir) {
    std::ofstream(dir.path() / "odbcinst.ini")
        << "[SQLite3]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so\n";
    std::ofstream(dir.path() / "odbc.ini")
        << "[valdlocal]\nDriver=SQLite3\nDatabase=" << (dir.path() / "odbc.db").string() << "\n";
    setenv("ODBCSYSINI", dir.path().c_str(), 1);
    setenv("ODBCINI", (dir.path() / "odbc.ini").c_str(), 1);
}

TEST(DriverOdbc, ConnectsThroughTheDriverManagerAndTellsTheDbmsKind) {
    if (!std::filesystem::exists("/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"))
        FAIL() << "libsqliteodbc is not installed (scripts/install-deps.sh installs it)";
    auto result = qztest::RunChild([] {
        qztest::ScratchDir dir("[DataStore.Default]\nBackend=odbc\n");
        WriteOdbcConfig(dir);
        QZ_DB_Init(0);
        DeclareDefault();
        int16_t handle = 0;
        if (QZ_DB_Connect("Default", &handle) != QZ_DB_OK) return 1;
        if (!Mapped("libodbc.so")) return 2;
        int16_t kind = 0;
        if (QZ_DB_GetDBMS(handle, &kind) != 1 || kind != QZ_DBMS_OTHER) return 3;
        if (FirstError(handle).result != 0) return 4;
        if (QZ_DB_Disconnect(handle) != QZ_DB_OK) return 5;
        QZ_DB_End();
        // The connection text ";DATABASE=valdrun;" wins over the data source's own file.
        return std::filesystem::exists(dir.path() / "valdrun") ? 0 : 6;
    });
    EXPECT_EQ(result.exitCode, 0);
}

TEST(DriverOdbc, MissingDataSourceIsAnErrorWithoutNativeCode) {
    auto result = qztest::RunChild([] {
        qztest::ScratchDir dir("[DataStore.Default]\nBackend=ODBC\nDSN=nosuchdsn\n");
        WriteOdbcConfig(dir);
        QZ_DB_Init(0);
        DeclareDefault();
        int16_t handle = 0;
        if (QZ_DB_Connect("Default", &handle) != QZ_DB_ERROR) return 1;
        Error e = FirstError(handle);
        std::printf("%d|%d|%s|%s", e.result, static_cast<int>(e.native), e.state.c_str(), e.message.c_str());
        int16_t kind = 0;
        return QZ_DB_GetDBMS(handle, &kind) == 0 ? 0 : 2;  // never connected: kind unknown
    });
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.out, "1|0|IM002|[unixODBC][Driver Manager]Data source name not found and no default driver specified");
}

TEST(DriverDataNames, DbmsKindsFromProductNames) {
    using qz::db::DbmsKindFromName;
    EXPECT_EQ(DbmsKindFromName("Microsoft SQL Server"), QZ_DBMS_SQLSERVER);
    EXPECT_EQ(DbmsKindFromName("Adaptive Server Enterprise"), QZ_DBMS_SQLSERVER);
    EXPECT_EQ(DbmsKindFromName("Oracle"), QZ_DBMS_ORACLE);
    EXPECT_EQ(DbmsKindFromName("DB2/LINUXX8664"), QZ_DBMS_DB2);
    EXPECT_EQ(DbmsKindFromName("DB2/400 SQL"), QZ_DBMS_DB2_400);
    EXPECT_EQ(DbmsKindFromName("IBM Informix Dynamic Server"), QZ_DBMS_INFORMIX);
    EXPECT_EQ(DbmsKindFromName("MySQL"), QZ_DBMS_MYSQL);
    EXPECT_EQ(DbmsKindFromName("MariaDB"), QZ_DBMS_MYSQL);
    EXPECT_EQ(DbmsKindFromName("PostgreSQL"), QZ_DBMS_OTHER);
    EXPECT_EQ(DbmsKindFromName("SQLite"), QZ_DBMS_OTHER);
    EXPECT_EQ(DbmsKindFromName(""), 0);
}

TEST(DriverDataNames, ConnectionTextAttributes) {
    using qz::db::ConnectionAttribute;
    EXPECT_EQ(ConnectionAttribute(";DATABASE=valdrun;", "DATABASE"), "valdrun");
    EXPECT_EQ(ConnectionAttribute("a=1;database=x", "DATABASE"), "x");
    EXPECT_EQ(ConnectionAttribute("DATABASEX=1;", "DATABASE"), "");
    EXPECT_EQ(ConnectionAttribute("", "DATABASE"), "");
}

}  // namespace

// Connections kept between the requests of a process that serves many
// (the persistent mode), over a backend that counts what is done to it. Each
// case runs in a child process: the keep and the configuration read once are
// process-wide, as they are meant to be.
namespace keep {

struct Counts {
    int connects = 0, closes = 0, rollbacks = 0, probes = 0;
    bool dead = false, refuse = false;
};
Counts g_counts;

class CountedConnection final : public qz::db::Connection {
public:
    ~CountedConnection() override { ++g_counts.closes; }
    bool disconnect(qz::db::Diagnostics &) override { return true; }
    bool alive() override {
        ++g_counts.probes;
        return !g_counts.dead;
    }
    void rollback() noexcept override { ++g_counts.rollbacks; }
};

class CountedBackend final : public qz::db::Backend {
public:
    qz::db::ConnectResult connect(const qz::db::StoreSettings &, qz::db::Diagnostics &diags) override {
        ++g_counts.connects;
        g_counts.dead = false;
        if (g_counts.refuse) {
            diags.push_back(qz::db::Diagnostic{"server refused", "08001", 99});
            return {nullptr, QZ_DBMS_OTHER};
        }
        return {std::make_unique<CountedConnection>(), QZ_DBMS_OTHER};
    }
};
CountedBackend g_backend;

// One request's use of the data store, as the driver makes it; returns the
// connect's status. disconnect false: the program leaves the connection open.
int16_t Request(const char *user = "valdlocal", bool disconnect = true) {
    QZ_DB_Init(0);
    EXPECT_EQ(QZ_DB_Declare_Conn("Default", 1), QZ_DB_OK);
    EXPECT_EQ(QZ_DB_ConnSetUserId("Default", user), QZ_DB_OK);
    int16_t handle = 0;
    const int16_t status = QZ_DB_Connect("Default", &handle);
    if (status == QZ_DB_OK && disconnect) EXPECT_EQ(QZ_DB_Disconnect(handle), QZ_DB_OK);
    if (disconnect) QZ_DB_End();
    return status;
}

std::string Report(int16_t last) {
    std::ostringstream out;
    out << "connects=" << g_counts.connects << " closes=" << g_counts.closes
        << " rollbacks=" << g_counts.rollbacks << " probes=" << g_counts.probes << " last=" << last;
    return out.str();
}

// body runs in a child with the counted backend as the store's backend.
std::string InChild(bool persistent, const std::function<std::string()> &body) {
    qztest::ScratchDir dir("[DataStore.Default]\nBackend=counted\n");
    return qztest::RunChild([&] {
               qz::db::RegisterBackend("counted", &g_backend);
               qz_Serve_SetPersistent(persistent ? 1 : 0);
               std::string report = body();
               std::fwrite(report.data(), 1, report.size(), stdout);
               return 0;
           })
        .out;
}

TEST(DriverDataKept, OneConnectionServesEveryRequestAndIsRolledBackBetween) {
    EXPECT_EQ(InChild(true, [] {
                  Request();
                  Request();
                  return Report(Request());
              }),
              "connects=1 closes=0 rollbacks=3 probes=2 last=0");
}

TEST(DriverDataKept, UnderCgiEveryRunConnectsAndCloses) {
    EXPECT_EQ(InChild(false, [] {
                  Request();
                  Request();
                  return Report(Request());
              }),
              "connects=3 closes=3 rollbacks=0 probes=0 last=0");
}

TEST(DriverDataKept, ALostConnectionIsConnectedOnceMore) {
    EXPECT_EQ(InChild(true, [] {
                  Request();
                  g_counts.dead = true;  // the server restarted meanwhile
                  const std::string second = Report(Request());
                  return second + " then " + Report(Request());
              }),
              "connects=2 closes=1 rollbacks=2 probes=1 last=0 then connects=2 closes=1 rollbacks=3 probes=2 last=0");
}

TEST(DriverDataKept, AReconnectThatFailsFailsTheRequestWithTheServersError) {
    EXPECT_EQ(InChild(true, [] {
                  Request();
                  g_counts.dead = true;
                  g_counts.refuse = true;
                  QZ_DB_Init(0);
                  QZ_DB_Declare_Conn("Default", 1);
                  QZ_DB_ConnSetUserId("Default", "valdlocal");
                  int16_t handle = 0;
                  const int16_t status = QZ_DB_Connect("Default", &handle);
                  const Error e = FirstError(handle);
                  return Report(status) + " " + e.state + " " + std::to_string(e.native);
              }),
              "connects=2 closes=1 rollbacks=1 probes=1 last=-1 08001 99");
}

TEST(DriverDataKept, OtherSettingsGetAConnectionOfTheirOwn) {
    EXPECT_EQ(InChild(true, [] {
                  Request("valdlocal");
                  Request("other");
                  Request("valdlocal");
                  return Report(Request("other"));
              }),
              "connects=2 closes=0 rollbacks=4 probes=2 last=0");
}

TEST(DriverDataKept, ARequestThatNeverDisconnectsLeavesNothingForTheNext) {
    EXPECT_EQ(InChild(true, [] {
                  Request("valdlocal", false);  // neither disconnect nor end
                  qz_RequestScope_End();        // the serving loop ends the request
                  // The data store of the last request is gone with it ...
                  int16_t handle = 0;
                  const int16_t stale = QZ_DB_Connect("Default", &handle);
                  // ... and its connection serves the next one.
                  return std::to_string(stale) + " " + Report(Request());
              }),
              "-6 connects=1 closes=0 rollbacks=2 probes=1 last=0");
}

}  // namespace keep
