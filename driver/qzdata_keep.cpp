// Connections kept between the requests of one process (the persistent
// mode): a disconnect or the end of the data-access library hands the open
// connection here after rolling back what the request left open, and the
// next connect of the same data store with the same settings takes it back.
// They are closed when the process ends.
#include <utility>
#include <vector>

#include "driver/qzdata_backend.h"
#include "runtime/qztext_internal.h"

namespace qz::db {
namespace {

struct Kept {
    std::string key;
    std::unique_ptr<Connection> connection;
    int16_t dbmsKind = 0;
};

std::vector<Kept> &Keep() {
    static std::vector<Kept> keep;
    return keep;
}

// Each field as its length, a colon and its text, so that no two different
// settings give the same key. The key is built at every connect of a request,
// so it is written into one reserved string without temporary ones.
void AddField(std::string &key, std::string_view field) {
    qz::DecimalDigits digits;
    key += qz::DecimalText(digits, field.size());
    key += ':';
    key += field;
}

}  // namespace

std::string KeptConnectionKey(std::string_view backendName, const StoreSettings &s) {
    const std::string_view fields[] = {backendName,       std::string_view(s.name),
                                       std::string_view(s.dataSource), std::string_view(s.connectionText),
                                       std::string_view(s.userId),     std::string_view(s.password),
                                       std::string_view(s.database),   std::string_view(s.dsn),
                                       std::string_view(s.connectionString), std::string_view(s.busyTimeout)};
    size_t length = 32;  // the transaction mode and every field's length and colon
    for (std::string_view field : fields) length += field.size() + 24;
    std::string key;
    key.reserve(length);
    for (std::string_view field : fields) AddField(key, field);
    qz::DecimalDigits digits;
    AddField(key, qz::DecimalText(digits, s.transactionMode));
    return key;
}

void KeepConnection(const std::string &key, std::unique_ptr<Connection> connection, int16_t dbmsKind) {
    if (connection == nullptr) return;
    connection->rollback();
    Keep().push_back(Kept{key, std::move(connection), dbmsKind});
}

bool TakeKeptConnection(const std::string &key, ConnectResult &result) {
    auto &keep = Keep();
    for (auto it = keep.begin(); it != keep.end(); ++it) {
        if (it->key != key) continue;
        result.connection = std::move(it->connection);
        result.dbmsKind = it->dbmsKind;
        keep.erase(it);
        return true;
    }
    return false;
}

}  // namespace qz::db
