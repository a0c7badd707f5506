// The connection functions of the data-access layer: data stores by name,
// connections by 16-bit handle, and the error records that the error reports
// read back. The engines themselves live behind qz::db::Backend.
#include "driver/qzdata_backend.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "qz/qzdb.h"
#include "qz/qzserve.h"
#include "qz/qztrace.h"

namespace qz::db {
namespace {

// Longest data store name and configuration text the layer accepts: the
// configuration file cannot hold longer values anyway.
constexpr size_t kTextMax = 512;
constexpr size_t kMaxConnections = 256;

struct Store {
    StoreSettings settings;
    int16_t handle = 0;  // connection slot in use by this store, 0 for none
};

// A handle stays readable after its connection is gone, so that the error
// check after a disconnect finds "no error"; closed slots are taken again.
enum class SlotState { Free, Open, Failed, Closed };

struct Slot {
    SlotState state = SlotState::Free;
    std::unique_ptr<Connection> connection;  // set while Open
    Diagnostics diags;                       // errors of the last failed call
    size_t nextDiag = 0;                     // next record for QZ_DB_GetNextConnError
    int16_t dbmsKind = 0;
    std::string store;    // owning data store
    std::string keepKey;  // what chose the connection, when it is kept between requests
};

struct Layer {
    std::map<std::string, Store, std::less<>> stores;
    std::vector<Slot> slots;  // handle h is slots[h - 1]
};

Layer *g_layer = nullptr;

Store *FindStore(const char *name) {
    if (g_layer == nullptr || name == nullptr) return nullptr;
    auto it = g_layer->stores.find(std::string_view(name));
    return it == g_layer->stores.end() ? nullptr : &it->second;
}

Slot *FindSlot(int16_t handle) {
    if (g_layer == nullptr || handle <= 0 || static_cast<size_t>(handle) > g_layer->slots.size())
        return nullptr;
    Slot &slot = g_layer->slots[static_cast<size_t>(handle) - 1];
    return slot.state != SlotState::Free ? &slot : nullptr;
}

bool TextFits(const char *text) { return text != nullptr && std::strlen(text) <= kTextMax; }

// A slot for a connect attempt: the store's own (a failed earlier attempt) or a free one.
int16_t TakeSlot(Store &store) {
    if (store.handle != 0) return store.handle;
    auto &slots = g_layer->slots;
    auto free = std::find_if(slots.begin(), slots.end(), [](const Slot &s) {
        return s.state == SlotState::Free || s.state == SlotState::Closed;
    });
    if (free == slots.end()) {
        if (slots.size() >= kMaxConnections) return 0;
        slots.emplace_back();
        free = slots.end() - 1;
    }
    *free = Slot{};
    free->state = SlotState::Failed;  // until the connect succeeds
    free->store = store.settings.name;
    store.handle = static_cast<int16_t>(free - slots.begin() + 1);
    return store.handle;
}

// A process that serves many requests keeps its connections between them.
bool Persistent() { return QZ_ServePersistent() != 0; }

void KeepSlotConnection(Slot &slot) {
    if (slot.state == SlotState::Open && slot.connection != nullptr)
        KeepConnection(slot.keepKey, std::move(slot.connection), slot.dbmsKind);
}

// The connection is gone; the handle reads as "no error" until it is reused.
void CloseSlot(int16_t handle) {
    Slot *slot = FindSlot(handle);
    if (slot == nullptr) return;
    if (Store *store = FindStore(slot->store.c_str()); store != nullptr && store->handle == handle)
        store->handle = 0;
    *slot = Slot{};
    slot->state = SlotState::Closed;
}

void LayerError(Diagnostics &diags, std::string message, const char *state = "HY000") {
    diags.push_back(Diagnostic{"[qzdata]" + std::move(message), state, 0});
}

// Copies at most max characters and a terminator; a negative max or a null buffer receives nothing.
void Deliver(const std::string &text, int32_t max, char *buffer) {
    if (buffer == nullptr || max < 0) return;
    size_t n = std::min(text.size(), static_cast<size_t>(max));
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

template <typename Apply>
int16_t Configure(const char *dataStore, Apply apply) {
    Store *store = FindStore(dataStore);
    if (g_layer == nullptr) return QZ_DB_ERR_STATE;
    if (store == nullptr) return QZ_DB_ERR_NOSTORE;
    return apply(store->settings);
}

}  // namespace
}  // namespace qz::db

using namespace qz::db;

extern "C" {

void QZ_DB_Init(int32_t /*reserved*/) {
    if (g_layer == nullptr) g_layer = new Layer();
    // Data stores and handles belong to one request, even when the program
    // does not end the library itself; the connections are kept.
    if (Persistent()) QZ_AtRequestEnd(QZ_DB_End);
    QZ_Trace(2, "QZ_DB_Init");
}

int16_t QZ_DB_Declare_Conn(const char *dataStore, int32_t /*kind*/) {
    if (g_layer == nullptr) return QZ_DB_ERR_STATE;
    if (!TextFits(dataStore) || *dataStore == '\0') return QZ_DB_ERR_ARGUMENT;
    auto [it, added] = g_layer->stores.try_emplace(dataStore);
    if (!added && it->second.handle != 0 && FindSlot(it->second.handle)->state == SlotState::Open)
        return QZ_DB_ERR_STATE;  // a connected store cannot be declared anew
    if (!added) CloseSlot(it->second.handle);
    it->second = Store{};
    it->second.settings.name = dataStore;
    return QZ_DB_OK;
}

int16_t QZ_DB_ConnSetDSName(const char *dataStore, const char *dataSourceName) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        if (!TextFits(dataSourceName)) return QZ_DB_ERR_ARGUMENT;
        s.dataSource = dataSourceName;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_ConnSetTrnInt(const char *dataStore, int32_t transactionMode) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        s.transactionMode = transactionMode;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_ConnSetPrompt(const char *dataStore, int32_t promptMode) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        s.promptMode = promptMode;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_ConnSetConnData(const char *dataStore, const char *connectionText) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        if (!TextFits(connectionText)) return QZ_DB_ERR_ARGUMENT;
        s.connectionText = connectionText;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_ConnSetUserId(const char *dataStore, const char *userId) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        if (!TextFits(userId)) return QZ_DB_ERR_ARGUMENT;
        s.userId = userId;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_ConnSetPassword(const char *dataStore, const char *password) {
    return Configure(dataStore, [&](StoreSettings &s) -> int16_t {
        if (!TextFits(password)) return QZ_DB_ERR_ARGUMENT;
        s.password = password;
        return QZ_DB_OK;
    });
}

int16_t QZ_DB_Connect(const char *dataStore, int16_t *handle) {
    if (handle == nullptr) return QZ_DB_ERR_ARGUMENT;
    *handle = 0;
    if (g_layer == nullptr) return QZ_DB_ERR_STATE;
    Store *store = FindStore(dataStore);
    if (store == nullptr) return QZ_DB_ERR_NOSTORE;
    int16_t h = TakeSlot(*store);
    if (h == 0) return QZ_DB_ERR_NOMEMORY;
    *handle = h;
    Slot &slot = *FindSlot(h);
    slot.diags.clear();
    slot.nextDiag = 0;
    if (slot.state == SlotState::Open) {
        LayerError(slot.diags, "Data store '" + store->settings.name + "' is already connected.");
        return QZ_DB_ERR_STATE;
    }

    std::string backendName;
    ReadStoreConfig(store->settings, backendName);
    Backend *backend = FindBackend(backendName);
    if (backend == nullptr) {
        LayerError(slot.diags, "Data store '" + store->settings.name + "': unknown backend '" +
                                   backendName + "'.", "IM002");
        return QZ_DB_ERR_BACKEND;
    }
    QZ_Trace(2, "QZ_DB_Connect data store '%s' through '%s'", store->settings.name.c_str(),
             backendName.c_str());
    ConnectResult result;
    if (Persistent()) {
        slot.keepKey = KeptConnectionKey(backendName, store->settings);
        if (TakeKeptConnection(slot.keepKey, result) && !result.connection->alive()) {
            // The database went away since the last request (restarted, or
            // the connection dropped): one new connect before the call fails.
            QZ_Trace(1, "Data store '%s': the kept connection is lost, connecting again",
                     store->settings.name.c_str());
            result = ConnectResult{};
        }
    }
    if (result.connection == nullptr) result = backend->connect(store->settings, slot.diags);
    slot.dbmsKind = result.dbmsKind;
    slot.connection = std::move(result.connection);
    if (slot.connection == nullptr) {
        if (slot.diags.empty()) LayerError(slot.diags, "The connection failed.", "08001");
        return QZ_DB_ERROR;
    }
    slot.state = SlotState::Open;
    slot.diags.clear();  // informational records of a successful connect are not errors
    return QZ_DB_OK;
}

int16_t QZ_DB_Disconnect(int16_t handle) {
    Slot *slot = FindSlot(handle);
    if (slot == nullptr) return QZ_DB_ERR_HANDLE;
    slot->diags.clear();
    slot->nextDiag = 0;
    if (slot->state == SlotState::Closed) {
        LayerError(slot->diags, "Connection " + std::to_string(handle) + " is not open.", "08003");
        return QZ_DB_ERR_HANDLE;
    }
    if (slot->state == SlotState::Open && Persistent()) {
        KeepSlotConnection(*slot);  // rolled back and kept for the next request
    } else if (slot->state == SlotState::Open && !slot->connection->disconnect(slot->diags)) {
        if (slot->diags.empty()) LayerError(slot->diags, "The disconnect failed.");
        return QZ_DB_ERROR;
    }
    CloseSlot(handle);  // a failed connect has nothing to close
    return QZ_DB_OK;
}

int16_t QZ_DB_GetFirstConnError(int16_t handle, int32_t messageMax, char *message,
                                int32_t stateMax, char *sqlState, int32_t *nativeCode) {
    Slot *slot = FindSlot(handle);
    Diagnostic none;
    const Diagnostic *first = &none;
    int16_t delivered = 0;
    if (slot == nullptr) {
        none.message = "[qzdata]Invalid connection handle " + std::to_string(handle) + ".";
        none.sqlState = "08003";
        delivered = 1;  // with native code 0: the error cannot be described
    } else if (!slot->diags.empty()) {
        first = &slot->diags.front();
        slot->nextDiag = 1;
        delivered = 1;
    }
    Deliver(first->message, messageMax, message);
    Deliver(first->sqlState, stateMax, sqlState);
    if (nativeCode != nullptr) *nativeCode = first->native;
    return delivered;
}

int16_t QZ_DB_GetNextConnError(int16_t handle, int32_t messageMax, char *message,
                               int32_t stateMax, char *sqlState, int32_t *nativeCode) {
    Slot *slot = FindSlot(handle);
    // When nothing more is delivered the buffers keep the last record.
    if (slot == nullptr || slot->nextDiag == 0 || slot->nextDiag >= slot->diags.size()) return 0;
    const Diagnostic &next = slot->diags[slot->nextDiag++];
    Deliver(next.message, messageMax, message);
    Deliver(next.sqlState, stateMax, sqlState);
    if (nativeCode != nullptr) *nativeCode = next.native;
    return 1;
}

int16_t QZ_DB_GetDBMS(int16_t handle, int16_t *kind) {
    Slot *slot = FindSlot(handle);
    if (slot == nullptr || slot->dbmsKind == 0 || kind == nullptr) return 0;
    *kind = slot->dbmsKind;
    return 1;
}

void QZ_DB_End(void) {
    if (g_layer == nullptr) return;
    QZ_Trace(2, "QZ_DB_End");
    const bool persistent = Persistent();
    if (persistent)
        for (Slot &slot : g_layer->slots) KeepSlotConnection(slot);
    delete g_layer;  // open connections close as their slots go
    g_layer = nullptr;
    if (!persistent) ShutdownBackends();
}

}  // extern "C"
