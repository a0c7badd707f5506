// Where a data store's backend and database come from: its own section of
// qzcfg.ini, "DataStore.<name>", read when the store connects.
#include <strings.h>

#include <cctype>
#include <string>

#include "driver/qzdata_backend.h"
#include "qz/qztrace.h"

namespace qz::db {
namespace {

std::string ReadKey(const std::string &section, const char *key) {
    char value[QZ_INI_VALUE_MAX + 1] = "";
    if (QZ_ReadIniValue("QZCFG", section.c_str(), key, "qzcfg.ini", value) == 0) return {};
    return value;
}

}  // namespace

void ReadStoreConfig(StoreSettings &settings, std::string &backendName) {
    const std::string section = "DataStore." + settings.name;
    backendName = ReadKey(section, "Backend");
    if (backendName.empty()) backendName = "sqlite";
    // Only the keys of the chosen backend are read: each look-up opens the file.
    if (strcasecmp(backendName.c_str(), "odbc") == 0) {
        settings.dsn = ReadKey(section, "DSN");
        settings.connectionString = ReadKey(section, "ConnectionString");
    } else {
        settings.database = ReadKey(section, "Database");
        settings.busyTimeout = ReadKey(section, "BusyTimeout");
    }
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
