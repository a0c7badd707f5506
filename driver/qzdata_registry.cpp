// The backends a data store can name, and the DBMS kinds of the products
// an ODBC connection may reach.
#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "driver/qzdata_backend.h"
#include "qz/qzdb.h"

namespace qz::db {
namespace {

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool Contains(std::string_view text, std::string_view part) {
    auto it = std::search(text.begin(), text.end(), part.begin(), part.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
    return it != text.end();
}

std::vector<std::pair<std::string, Backend *>> &Registry() {
    static std::vector<std::pair<std::string, Backend *>> registry;
    return registry;
}

}  // namespace

void RegisterBackend(std::string_view name, Backend *backend) {
    auto &registry = Registry();
    auto it = std::find_if(registry.begin(), registry.end(),
                           [&](const auto &entry) { return SameText(entry.first, name); });
    if (it != registry.end())
        it->second = backend;
    else
        registry.emplace_back(std::string(name), backend);
}

Backend *FindBackend(std::string_view name) {
    if (SameText(name, "sqlite")) return &SqliteBackend();
    if (SameText(name, "odbc")) return &OdbcBackend();
    for (const auto &[known, backend] : Registry())
        if (SameText(known, name)) return backend;
    return nullptr;
}

void ShutdownBackends() noexcept {
    SqliteBackend().shutdown();
    OdbcBackend().shutdown();
    for (const auto &entry : Registry())
        if (entry.second != nullptr) entry.second->shutdown();
}

int16_t DbmsKindFromName(std::string_view name) {
    // DB2 for i names itself "DB2/400 SQL" (older drivers "AS/400"); it has its
    // own SQLCODE dialect, so it is tested before the other DB2 products.
    if (Contains(name, "DB2/400") || Contains(name, "AS/400") || Contains(name, "DB2 for i") ||
        Contains(name, "DB2 UDB for AS"))
        return QZ_DBMS_DB2_400;
    if (Contains(name, "DB2")) return QZ_DBMS_DB2;
    if (Contains(name, "SQL Server") || Contains(name, "Sybase") || Contains(name, "Adaptive Server"))
        return QZ_DBMS_SQLSERVER;
    if (Contains(name, "Oracle")) return QZ_DBMS_ORACLE;
    if (Contains(name, "Informix") || SameText(name, "IDS")) return QZ_DBMS_INFORMIX;
    if (Contains(name, "MySQL") || Contains(name, "MariaDB")) return QZ_DBMS_MYSQL;
    return name.empty() ? 0 : QZ_DBMS_OTHER;
}

}  // namespace qz::db
