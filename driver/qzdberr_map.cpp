// From a DBMS's native error code to the program status and severity of the
// generated code, one code table per DBMS kind.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "qz/qzdb.h"

namespace {

using Codes = std::initializer_list<int32_t>;

struct KindTable {
    Codes duplicate, locked, missing, exists, integrity, alsoNotFound;
    int16_t existsStatus;  // 106 or 107: the two dialects that know "exists" differ
};

const KindTable &TableOf(int16_t kind) {
    static const KindTable kTables[] = {
        // 1: SQL Server message numbers
        {{2601, 2627}, {903, 1222}, {3701, 3703, 3704, 3727, 3728, 4902}, {}, {503}, {}, 0},
        // 2: Oracle error numbers
        {{1}, {54}, {942, 950, 1418, 1432, 2443}, {955}, {2291}, {1403}, QZ_STATUS_EXISTS},
        // 3: DB2 SQLCODE
        {{-803}, {-911}, {-204}, {}, {-530}, {}, 0},
        // 4: DB2 SQLCODE, second dialect
        {{-803}, {-913}, {-204}, {-601}, {-530}, {}, QZ_STATUS_NAME_IN_USE},
        // 5: Informix error numbers
        {{-239, -268}, {-243, -244, -245}, {-206, -319, -623}, {}, {-691}, {}, 0},
    };
    return kTables[kind - 1];
}

bool In(Codes codes, int32_t code) { return std::find(codes.begin(), codes.end(), code) != codes.end(); }

bool Has(const char *text, const char *part) { return std::strstr(text, part) != nullptr; }

// Kind 7 knows only "missing", and only from the message text (case as written).
bool MessageTellsMissing(const char *m) {
    return Has(m, "table") || (Has(m, "Relation") && Has(m, "does not exist")) ||
           (Has(m, "index") && (Has(m, "nonexistent") || Has(m, "does not exist")));
}

}  // namespace

extern "C" void QZ_DB_MapNativeError(int16_t kind, int32_t native, const char *message,
                                     int32_t mask, int16_t *status, int16_t *severity) {
    if (native == 0) {
        *status = QZ_STATUS_OK;
        *severity = QZ_SEVERITY_HANDLED;
        return;
    }
    if (native == 100) {
        *status = QZ_STATUS_NOT_FOUND;
        return;
    }
    auto missing = [&] {
        *status = QZ_STATUS_MISSING;
        if (mask & QZ_HANDLE_MISSING) *severity = QZ_SEVERITY_HANDLED;
    };
    auto other = [&] {
        *status = QZ_STATUS_OTHER;
        *severity = QZ_SEVERITY_FATAL;
    };
    if (kind == QZ_DBMS_OTHER) {
        if ((native == 110 || native == -1) && message != nullptr && MessageTellsMissing(message))
            missing();
        else
            other();
        return;
    }
    if (kind < 1 || kind > 5) {
        other();
        return;
    }
    const KindTable &t = TableOf(kind);
    if (In(t.duplicate, native)) {
        if (!(mask & QZ_HANDLE_DUPLICATE)) *status = QZ_STATUS_DUPLICATE;
    } else if (In(t.locked, native)) {
        if (!(mask & QZ_HANDLE_LOCKED)) *status = QZ_STATUS_LOCKED;
    } else if (In(t.missing, native)) {
        missing();
    } else if (In(t.exists, native)) {
        *status = t.existsStatus;
        if (mask & QZ_HANDLE_EXISTS) *severity = QZ_SEVERITY_HANDLED;
    } else if (In(t.integrity, native)) {
        *status = QZ_STATUS_INTEGRITY;
        *severity = QZ_SEVERITY_FATAL;
    } else if (In(t.alsoNotFound, native)) {
        *status = QZ_STATUS_NOT_FOUND;
    } else {
        other();
    }
}
