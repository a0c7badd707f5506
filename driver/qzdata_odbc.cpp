// The ODBC backend: any database with an ODBC driver, through unixODBC.
// libodbc is loaded on the first ODBC connect only, so that a run on the
// embedded SQLite default never maps the driver manager or its drivers.
#include <dlfcn.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qzdb.h"
#include "qz/qztrace.h"

namespace qz::db {
namespace {

// The driver manager's entry points, resolved by name.
struct OdbcApi {
    void *library = nullptr;
    decltype(&::SQLAllocHandle) allocHandle = nullptr;
    decltype(&::SQLFreeHandle) freeHandle = nullptr;
    decltype(&::SQLSetEnvAttr) setEnvAttr = nullptr;
    decltype(&::SQLSetConnectAttr) setConnectAttr = nullptr;
    decltype(&::SQLDriverConnect) driverConnect = nullptr;
    decltype(&::SQLDisconnect) disconnect = nullptr;
    decltype(&::SQLEndTran) endTran = nullptr;
    decltype(&::SQLGetDiagRec) getDiagRec = nullptr;
    decltype(&::SQLGetInfo) getInfo = nullptr;
    decltype(&::SQLGetConnectAttr) getConnectAttr = nullptr;
    decltype(&::SQLExecDirect) execDirect = nullptr;
};

template <typename Fn>
bool Resolve(void *library, const char *name, Fn &fn) {
    fn = reinterpret_cast<Fn>(dlsym(library, name));
    return fn != nullptr;
}

// Every diagnostic record of a handle, in the driver's order.
void CollectDiagnostics(const OdbcApi &api, SQLSMALLINT type, SQLHANDLE handle, Diagnostics &diags) {
    for (SQLSMALLINT record = 1;; ++record) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLCHAR text[2048] = {};
        SQLINTEGER native = 0;
        SQLSMALLINT length = 0;
        SQLRETURN rc = api.getDiagRec(type, handle, record, state, &native, text,
                                      static_cast<SQLSMALLINT>(sizeof text), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        diags.push_back(Diagnostic{reinterpret_cast<const char *>(text),
                                   reinterpret_cast<const char *>(state), static_cast<int32_t>(native)});
    }
}

// ODBC connection-string values holding ';', '{', '}' or blanks at the ends go in braces.
std::string Attribute(const char *key, const std::string &value) {
    bool brace = value.find_first_of(";{}=") != std::string::npos ||
                 (!value.empty() && (value.front() == ' ' || value.back() == ' '));
    std::string out = std::string(key) + "=";
    if (!brace) return out + value + ";";
    out += '{';
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "};";
}

// The smallest statement each DBMS kind answers without touching a table:
// a kept connection is asked it before the next request uses it.
const char *ProbeStatement(int16_t kind) {
    switch (kind) {
    case QZ_DBMS_ORACLE: return "SELECT 1 FROM DUAL";
    case QZ_DBMS_DB2:
    case QZ_DBMS_DB2_400: return "VALUES 1";
    case QZ_DBMS_INFORMIX: return "SELECT 1 FROM systables WHERE tabid = 1";
    default: return "SELECT 1";
    }
}

class OdbcConnection final : public Connection {
public:
    OdbcConnection(const OdbcApi &api, SQLHDBC dbc, int16_t kind) : api_(api), dbc_(dbc), kind_(kind) {}
    ~OdbcConnection() override {
        if (dbc_ == SQL_NULL_HDBC) return;
        api_.endTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
        api_.disconnect(dbc_);
        api_.freeHandle(SQL_HANDLE_DBC, dbc_);
    }
    OdbcConnection(const OdbcConnection &) = delete;
    OdbcConnection &operator=(const OdbcConnection &) = delete;

    bool disconnect(Diagnostics &diags) override {
        SQLRETURN rc = api_.disconnect(dbc_);
        if (!SQL_SUCCEEDED(rc)) {
            CollectDiagnostics(api_, SQL_HANDLE_DBC, dbc_, diags);
            return false;
        }
        api_.freeHandle(SQL_HANDLE_DBC, dbc_);
        dbc_ = SQL_NULL_HDBC;
        return true;
    }

    // A server restarted since the last request has closed the connection;
    // the driver finds out only when it sends something.
    bool alive() override {
        SQLUINTEGER dead = SQL_CD_FALSE;
        if (SQL_SUCCEEDED(api_.getConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
            dead == SQL_CD_TRUE)
            return false;
        SQLHSTMT stmt = SQL_NULL_HSTMT;
        if (!SQL_SUCCEEDED(api_.allocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return false;
        const SQLRETURN rc =
            api_.execDirect(stmt, reinterpret_cast<SQLCHAR *>(const_cast<char *>(ProbeStatement(kind_))), SQL_NTS);
        api_.freeHandle(SQL_HANDLE_STMT, stmt);
        if (SQL_SUCCEEDED(rc)) rollback();  // the probe opens no transaction of its own
        return SQL_SUCCEEDED(rc);
    }

    void rollback() noexcept override {
        if (dbc_ != SQL_NULL_HDBC) api_.endTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
    }

private:
    const OdbcApi &api_;
    SQLHDBC dbc_;
    int16_t kind_;
};

class Odbc final : public Backend {
public:
    ConnectResult connect(const StoreSettings &s, Diagnostics &diags) override {
        if (!Load(diags)) return {};
        SQLHDBC dbc = SQL_NULL_HDBC;
        if (!SQL_SUCCEEDED(api_.allocHandle(SQL_HANDLE_DBC, env_, &dbc))) {
            CollectDiagnostics(api_, SQL_HANDLE_ENV, env_, diags);
            return {};
        }
        api_.setConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(s.transactionMode == 1 ? SQL_AUTOCOMMIT_ON
                                                                                : SQL_AUTOCOMMIT_OFF),
                            SQL_IS_UINTEGER);
        std::string text = Attribute("DSN", s.dsn.empty() ? s.dataSource : s.dsn);
        if (!s.userId.empty()) text += Attribute("UID", s.userId);
        if (!s.password.empty()) text += Attribute("PWD", s.password);
        text += s.connectionString.empty() ? s.connectionText : s.connectionString;
        while (!text.empty() && text.front() == ';') text.erase(0, 1);

        SQLSMALLINT outLength = 0;
        // A CGI program has no one to ask: never prompt, whatever the prompt mode.
        SQLRETURN rc = api_.driverConnect(dbc, nullptr,
                                          reinterpret_cast<SQLCHAR *>(text.data()),
                                          static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                                          &outLength, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) {
            CollectDiagnostics(api_, SQL_HANDLE_DBC, dbc, diags);
            api_.freeHandle(SQL_HANDLE_DBC, dbc);
            return {};
        }
        SQLCHAR name[256] = {};
        SQLSMALLINT nameLength = 0;
        int16_t kind = 0;
        if (SQL_SUCCEEDED(api_.getInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &nameLength)))
            kind = DbmsKindFromName(reinterpret_cast<const char *>(name));
        QZ_Trace(2, "ODBC data source '%s' connected, DBMS '%s' (kind %d)",
                 s.dsn.empty() ? s.dataSource.c_str() : s.dsn.c_str(),
                 reinterpret_cast<const char *>(name), kind);
        return ConnectResult{std::make_unique<OdbcConnection>(api_, dbc, kind), kind};
    }

    void shutdown() noexcept override {
        // The driver manager stays mapped: drivers may keep threads or
        // handlers that outlive their handles.
        if (env_ != SQL_NULL_HENV) api_.freeHandle(SQL_HANDLE_ENV, env_);
        env_ = SQL_NULL_HENV;
    }

private:
    bool Load(Diagnostics &diags) {
        if (env_ != SQL_NULL_HENV) return true;
        if (api_.library == nullptr) {
            void *library = dlopen("libodbc.so.2", RTLD_NOW | RTLD_LOCAL);
            if (library == nullptr) {
                const char *why = dlerror();
                diags.push_back(Diagnostic{std::string("[qzdata]") + (why ? why : "libodbc.so.2 not found"),
                                           "IM003", 0});
                return false;
            }
            OdbcApi api;
            api.library = library;
            if (!Resolve(library, "SQLAllocHandle", api.allocHandle) ||
                !Resolve(library, "SQLFreeHandle", api.freeHandle) ||
                !Resolve(library, "SQLSetEnvAttr", api.setEnvAttr) ||
                !Resolve(library, "SQLSetConnectAttr", api.setConnectAttr) ||
                !Resolve(library, "SQLDriverConnect", api.driverConnect) ||
                !Resolve(library, "SQLDisconnect", api.disconnect) ||
                !Resolve(library, "SQLEndTran", api.endTran) ||
                !Resolve(library, "SQLGetDiagRec", api.getDiagRec) ||
                !Resolve(library, "SQLGetInfo", api.getInfo) ||
                !Resolve(library, "SQLGetConnectAttr", api.getConnectAttr) ||
                !Resolve(library, "SQLExecDirect", api.execDirect)) {
                diags.push_back(Diagnostic{"[qzdata]libodbc.so.2 lacks an ODBC 3 entry point", "IM003", 0});
                dlclose(library);
                return false;
            }
            api_ = api;
        }
        if (!SQL_SUCCEEDED(api_.allocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
            env_ = SQL_NULL_HENV;
            diags.push_back(Diagnostic{"[qzdata]The ODBC environment cannot be allocated.", "HY001", 0});
            return false;
        }
        api_.setEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return true;
    }

    OdbcApi api_;
    SQLHENV env_ = SQL_NULL_HENV;
};

}  // namespace

Backend &OdbcBackend() {
    static Odbc backend;
    return backend;
}

}  // namespace qz::db
