// The embedded default backend: a SQLite database file, so that the program
// serves on a machine where no database server runs. SQLite has no logins:
// the user id and the password of the data store are not used.
#include <sqlite3.h>

#include <charconv>
#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qzdb.h"
#include "qz/qztrace.h"

namespace qz::db {
namespace {

constexpr int kDefaultBusyTimeoutMs = 5000;

void AddError(Diagnostics &diags, sqlite3 *db, int code, const char *state, const std::string &what) {
    const char *text = db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    int native = db != nullptr ? sqlite3_extended_errcode(db) : code;
    diags.push_back(Diagnostic{"[SQLite]" + std::string(text) + " (" + what + ")", state, native});
}

class SqliteConnection final : public Connection {
public:
    explicit SqliteConnection(sqlite3 *db) : db_(db) {}
    ~SqliteConnection() override {
        if (db_ != nullptr) sqlite3_close_v2(db_);
    }
    SqliteConnection(const SqliteConnection &) = delete;
    SqliteConnection &operator=(const SqliteConnection &) = delete;

    bool disconnect(Diagnostics &diags) override {
        int rc = sqlite3_close(db_);
        if (rc != SQLITE_OK) {
            AddError(diags, db_, rc, "HY000", "close");
            return false;  // still open: statements of the page are not finished
        }
        db_ = nullptr;
        return true;
    }

    // The file is local: a kept connection stays usable.
    void rollback() noexcept override {
        if (db_ != nullptr && sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

private:
    sqlite3 *db_;
};

// The database file: the key "Database" of the store's section, else the
// DATABASE attribute of the connection text, else the data source name,
// with ".db" added to a bare name. Relative paths start in the current directory.
std::string DatabasePath(const StoreSettings &s) {
    if (!s.database.empty()) return s.database;
    std::string name = ConnectionAttribute(s.connectionText, "DATABASE");
    if (name.empty()) name = s.dataSource;
    if (name.empty()) name = s.name;
    return name + ".db";
}

int BusyTimeout(const StoreSettings &s) {
    int ms = kDefaultBusyTimeoutMs;
    if (!s.busyTimeout.empty()) {
        auto [end, ec] = std::from_chars(s.busyTimeout.data(), s.busyTimeout.data() + s.busyTimeout.size(), ms);
        if (ec != std::errc() || ms < 0) ms = kDefaultBusyTimeoutMs;
    }
    return ms;
}

class Sqlite final : public Backend {
public:
    ConnectResult connect(const StoreSettings &settings, Diagnostics &diags) override {
        const std::string path = DatabasePath(settings);
        sqlite3 *db = nullptr;
        int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
        if (rc == SQLITE_OK) {
            sqlite3_extended_result_codes(db, 1);
            sqlite3_busy_timeout(db, BusyTimeout(settings));
            // Opening is lazy: reading the schema proves that the file is a
            // database this process may read, before the page relies on it.
            rc = sqlite3_exec(db, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr);
        }
        if (rc != SQLITE_OK) {
            AddError(diags, db, rc, "08001", path);
            sqlite3_close_v2(db);
            return ConnectResult{nullptr, QZ_DBMS_OTHER};
        }
        QZ_Trace(2, "SQLite database '%s' opened", path.c_str());
        return ConnectResult{std::make_unique<SqliteConnection>(db), QZ_DBMS_OTHER};
    }
};

}  // namespace

Backend &SqliteBackend() {
    static Sqlite backend;
    return backend;
}

}  // namespace qz::db
