// Backends of the data-access layer: what a database engine must offer so
// that a data store can be connected through it. The connection functions of
// qz/qzdb.h keep the data stores, the handles and the error records; a backend
// only opens and closes real connections and says what it met.
#ifndef QZ_DRIVER_QZDATA_BACKEND_H
#define QZ_DRIVER_QZDATA_BACKEND_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qz::db {

// One error record of a failed call, as the error readers hand it out.
struct Diagnostic {
    std::string message;
    std::string sqlState;
    int32_t native = 0;  // 0: the layer itself failed (no database code)
};
using Diagnostics = std::vector<Diagnostic>;

// Everything the program configured for a data store, plus the keys of its
// qzcfg.ini section ("DataStore.<name>").
struct StoreSettings {
    std::string name;            // data store name
    std::string dataSource;      // QZ_DB_ConnSetDSName
    std::string connectionText;  // QZ_DB_ConnSetConnData, e.g. ";DATABASE=valdrun;"
    std::string userId;
    std::string password;
    int32_t transactionMode = 1;  // 1: every statement commits on its own
    int32_t promptMode = 0;       // recorded; a CGI program never prompts
    // From the configuration file (empty when the key is absent).
    std::string database;          // SQLite: path of the database file
    std::string dsn;               // ODBC: data source name overriding dataSource
    std::string connectionString;  // ODBC: attributes overriding connectionText
    std::string busyTimeout;       // SQLite: milliseconds to wait for a lock
};

class Connection {
public:
    virtual ~Connection() = default;
    // Closes the connection; false with diagnostics when the database refused.
    // Destroying a connection that is still open closes it without a report.
    virtual bool disconnect(Diagnostics &diags) = 0;
    // Kept from one request to the next (persistent mode): whether the
    // database still answers, and the roll-back of whatever transaction the
    // request left open.
    virtual bool alive() { return true; }
    virtual void rollback() noexcept {}
};

struct ConnectResult {
    std::unique_ptr<Connection> connection;  // null when the connect failed
    int16_t dbmsKind = 0;                    // 0: the kind cannot be told
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual ConnectResult connect(const StoreSettings &settings, Diagnostics &diags) = 0;
    // Called by QZ_DB_End after every connection is gone.
    virtual void shutdown() noexcept {}
};

// Backends are found by name (compared without regard to case). "sqlite" and
// "odbc" are built in; another module may add its own before connecting.
void RegisterBackend(std::string_view name, Backend *backend);
Backend *FindBackend(std::string_view name);
// Lets every backend release its process-wide resources (QZ_DB_End).
void ShutdownBackends() noexcept;

Backend &SqliteBackend();
Backend &OdbcBackend();

// The DBMS kind of the error reports for a DBMS product name (as ODBC's
// SQL_DBMS_NAME tells it).
int16_t DbmsKindFromName(std::string_view dbmsName);

// Keys of the data store's section of qzcfg.ini (environment variable QZCFG).
// A process that serves many requests reads each section once.
void ReadStoreConfig(StoreSettings &settings, std::string &backendName);

// Connections a process that serves many requests keeps between them, by
// everything that chose them (backend, data source, login, configuration).
std::string KeptConnectionKey(std::string_view backendName, const StoreSettings &settings);
void KeepConnection(const std::string &key, std::unique_ptr<Connection> connection, int16_t dbmsKind);
// The kept connection for the key, taken out of the keep; false when none.
bool TakeKeptConnection(const std::string &key, ConnectResult &result);

// The value of one attribute ("DATABASE") of a connection text such as
// ";DATABASE=valdrun;", compared without regard to case; empty when absent.
std::string ConnectionAttribute(std::string_view text, std::string_view key);

}  // namespace qz::db

#endif
