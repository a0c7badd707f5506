// Where a data store's backend and database come from: its own section of
// qzcfg.ini, "DataStore.<name>", read when the store connects (once per
// process when the process serves many requests).
#include <strings.h>

#include <cctype>
#include <map>
#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qzserve.h"
#include "qz/qztrace.h"

namespace qz::db {
namespace {

std::string ReadKey(const std::string &section, const char *key) {
    char value[QZ_INI_VALUE_MAX + 1] = "";
    if (QZ_ReadIniValue("QZCFG", section.c_str(), key, "qzcfg.ini", value) == 0) return {};
    return value;
}

// What a data store's section says.
struct StoreConfig {
    std::string backend, dsn, connectionString, database, busyTimeout;
};

StoreConfig ReadSection(const std::string &name) {
    const std::string section = "DataStore." + name;
    StoreConfig config;
    config.backend = ReadKey(section, "Backend");
    if (config.backend.empty()) config.backend = "sqlite";
    // Only the keys of the chosen backend are read: each look-up opens the file.
    if (strcasecmp(config.backend.c_str(), "odbc") == 0) {
        config.dsn = ReadKey(section, "DSN");
        config.connectionString = ReadKey(section, "ConnectionString");
    } else {
        config.database = ReadKey(section, "Database");
        config.busyTimeout = ReadKey(section, "BusyTimeout");
    }
    return config;
}

}  // namespace

void ReadStoreConfig(StoreSettings &settings, std::string &backendName) {
    StoreConfig config;
    if (QZ_ServePersistent() != 0) {
        static std::map<std::string, StoreConfig, std::less<>> once;
        auto [it, added] = once.try_emplace(settings.name);
        if (added) it->second = ReadSection(settings.name);
        config = it->second;
    } else {
        config = ReadSection(settings.name);
    }
    backendName = config.backend;
    settings.dsn = config.dsn;
    settings.connectionString = config.connectionString;
    settings.database = config.database;
    settings.busyTimeout = config.busyTimeout;
}

std::string ConnectionAttribute(std::string_view text, std::string_view key) {
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(';', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view item = text.substr(pos, end - pos);
        size_t eq = item.find('=');
        if (eq != std::string_view::npos && eq == key.size()) {
            bool same = true;
            for (size_t i = 0; i < eq && same; ++i)
                same = std::toupper(static_cast<unsigned char>(item[i])) ==
                       std::toupper(static_cast<unsigned char>(key[i]));
            if (same) return std::string(item.substr(eq + 1));
        }
        pos = end + 1;
    }
    return {};
}

}  // namespace qz::db
