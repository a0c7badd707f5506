// Form variables of a POST body: the decoder, the parser and the fixed table.
//
// The table keeps its fixed slots and its sentinel search semantics (an absent
// name ends up in the slot one past the last, with the empty value), but finds
// names through a case-folded hash index beside the slots, so that a body with
// thousands of variables is parsed in time proportional to its length.

#include "qz/qzhttprequest.h"

#include "http/qzhttp_internal.h"
#include "qz/qzpgmmem.h"
#include "qz/qzstrings.h"
#include "qz/qztrace.h"
#include "runtime/qztext_internal.h"

#include <cctype>
#include <cstring>

namespace {

constexpr uint32_t kIndexMask = QZ_HTTP_VAR_INDEX_SIZE - 1;
static_assert((QZ_HTTP_VAR_INDEX_SIZE & kIndexMask) == 0, "the index size is a power of two");
static_assert(QZ_HTTP_VAR_INDEX_SIZE >= 2 * QZ_HTTP_VAR_MAX, "the index stays at most half full");

// FNV-1a over the upper-case forms, the same folding QZ_StrICmp compares by.
uint32_t nameHash(const char *name) {
    uint32_t h = 2166136261u;
    for (const char *p = name; *p != '\0'; ++p) {
        h ^= static_cast<uint32_t>(std::toupper(static_cast<unsigned char>(*p)));
        h *= 16777619u;
    }
    return h;
}

void indexInsert(QZ_HTTP_VarTable *t, uint32_t slot) {
    if (t->indexReady == 0) {
        std::memset(t->index, 0, sizeof t->index);
        t->indexReady = 1;
    }
    uint32_t h = nameHash(t->names[slot]) & kIndexMask;
    while (t->index[h] != 0) h = (h + 1) & kIndexMask;
    t->index[h] = static_cast<uint16_t>(slot + 1);
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

char asChar(int value) { return static_cast<char>(static_cast<unsigned char>(value)); }

// Copies a value into a new block of four times its length plus four bytes;
// the shared empty string when the block cannot be had.
char *storeValue(const char *value, int32_t line) {
    const size_t length = std::strlen(value);
    auto *block = static_cast<char *>(QZ_malloc(nullptr, 4 * length + 4, "qzhttprequest", line));
    if (block == nullptr) return QZ_EmptyString;
    std::memcpy(block, value, length + 1);
    return block;
}

bool isEmpty(const char *text) { return text == nullptr || *text == '\0'; }

} // namespace

namespace qz::http {

void releaseVariables(QZ_HTTP_VarTable *t) {
    for (uint32_t i = t->count > QZ_HTTP_VAR_MAX ? QZ_HTTP_VAR_MAX : t->count; i > 0; --i) {
        char *value = t->values[i - 1];
        if (value != nullptr && value != QZ_EmptyString) QZ_free(nullptr, value);
        t->values[i - 1] = QZ_EmptyString;
    }
    QZ_HTTP_VarTable_Init(t);
}

} // namespace qz::http

extern "C" {

void QZ_HTTP_VarTable_Init(QZ_HTTP_VarTable *t) {
    if (t == nullptr) return;
    t->count = 0;
    t->parsePosition = 0;
    t->names[0][0] = '\0';
    t->values[0] = QZ_EmptyString;
    t->indexReady = 0;
}

uint32_t QZ_HTTP_VarTable_Find(QZ_HTTP_VarTable *t, const char *name) {
    char *key = t->names[t->count];
    qz::CopyToBuffer(key, QZ_HTTP_VAR_NAME_MAX, qz::OrEmpty(name));
    t->values[t->count] = QZ_EmptyString;
    if (t->indexReady == 0) return t->count;  // no variable yet
    for (uint32_t h = nameHash(key) & kIndexMask; t->index[h] != 0; h = (h + 1) & kIndexMask) {
        const uint32_t slot = t->index[h] - 1u;
        if (slot < t->count && QZ_StrICmp(t->names[slot], key) == 0) return slot;
    }
    return t->count;
}

void QZ_HTTP_VarTable_Add(QZ_HTTP_VarTable *t, const char *name, const char *value) {
    if (t == nullptr || isEmpty(name) || isEmpty(value)) return;
    const uint32_t slot = QZ_HTTP_VarTable_Find(t, name);
    if (slot < t->count) {
        const size_t length = std::strlen(value);
        char *old = t->values[slot];
        void *block = old == QZ_EmptyString
                          ? QZ_malloc(nullptr, length + 1, "qzhttprequest", __LINE__)
                          : QZ_realloc(nullptr, old, length + 1);
        if (block == nullptr) return; // the old value stays
        std::memcpy(block, value, length + 1);
        t->values[slot] = static_cast<char *>(block);
        QZ_Trace(0, "%d DUPLICATED ->%s=%s", static_cast<int>(slot + 1), name, value);
        return;
    }
    if (t->count >= QZ_HTTP_VAR_MAX) return; // the surplus is dropped without a message
    t->values[slot] = storeValue(value, __LINE__);
    QZ_Trace(4, "%d NEW->%s=%s", static_cast<int>(slot + 1), t->names[slot], value);
    indexInsert(t, slot);
    ++t->count;
}

} // extern "C"

namespace {

// A pair whose value could not be built for lack of memory, treated as a value
// whose storage could not be had: a new name is kept with the empty value, a
// duplicate keeps the value it had.
void addWithoutValue(QZ_HTTP_VarTable *t, const char *name) {
    if (isEmpty(name)) return;
    const uint32_t slot = QZ_HTTP_VarTable_Find(t, name);
    if (slot < t->count || t->count >= QZ_HTTP_VAR_MAX) return;
    t->values[slot] = QZ_EmptyString;
    QZ_Trace(4, "%d NEW->%s=%s", static_cast<int>(slot + 1), t->names[slot], "");
    indexInsert(t, slot);
    ++t->count;
}

} // namespace

extern "C" {

char QZ_HTTP_DecodeFormChar(QZ_HTTP_VarTable *t, const char *text, char ch) {
    if (ch == '+') return ' ';
    if (ch != '%') return ch;
    const uint32_t percent = t->parsePosition;
    const char first = text[percent + 1];
    const char second = first != '\0' ? text[percent + 2] : '\0';
    if (second == '\0') {
        // A "%" with fewer than two characters after it stands for itself, and
        // what follows it is read as ordinary text ("%4" at the end of a body
        // keeps both characters), so the position stays on the "%".
        return '%';
    }
    t->parsePosition = percent + 2;
    const int high = hexDigit(first);
    const int low = hexDigit(second);
    // Two characters that do not start with a hexadecimal digit decode to a
    // blank; a single leading digit is read alone ("%4g" is the byte 4).
    if (high < 0) return ' ';
    const int v = low < 0 ? high : high * 16 + low;
    if (v == 127) return '\0';
    if (v == 160) return ' ';
    if ((v >= 32 && v < 127) || v > 160) return asChar(v);
    if (v == 10) return '\n';
    if (v == 13) {
        const uint32_t next = t->parsePosition + 1;
        if (text[next] == '%' && text[next + 1] == '0' && (text[next + 2] == 'A' || text[next + 2] == 'a')) {
            t->parsePosition += 3; // an encoded CR LF becomes one line feed
            return '\n';
        }
        return '\r';
    }
    return ' ';
}

void ParseVariables(QZ_HTTP_VarTable *t, const char *text, const char *method, int32_t length) {
    if (t == nullptr) return;
    // A table parsed twice releases what it held, so nothing leaks.
    qz::http::releaseVariables(t);
    if (length <= 0 || text == nullptr || QZ_StrICmp(qz::OrEmpty(method), "POST") != 0) return;
    QZ_Trace(4, "ParseVariables");
    QZ_Trace(4, "Number of bytes to parsed %ld.", static_cast<long>(length));
    QZ_Trace(4, ">>Variables in form");
    QZ_Trace(5, "Content = '%s'", text);

    char name[QZ_HTTP_VAR_NAME_MAX + 1] = {};
    size_t nameLength = 0;
    QZ_CStr value;
    QZ_CStr_Init(&value);
    bool inValue = false;
    bool valueLost = false; // a character of the value could not be stored
    auto addPair = [&] {
        name[nameLength] = '\0';
        if (valueLost)
            addWithoutValue(t, name);
        else
            QZ_HTTP_VarTable_Add(t, name, value.data);
        QZ_CStr_Free(&value);
        nameLength = 0;
        inValue = false;
        valueLost = false;
    };
    for (t->parsePosition = 0; text[t->parsePosition] != '\0'; ++t->parsePosition) {
        const char ch = text[t->parsePosition];
        if (ch == '&' && inValue) {
            addPair();
        } else if (ch == '=' && !inValue) {
            inValue = true;
        } else {
            const char decoded = QZ_HTTP_DecodeFormChar(t, text, ch);
            if (inValue)
                valueLost = valueLost || !qz::http::appendFast(&value, std::string_view(&decoded, 1));
            else if (nameLength < QZ_HTTP_VAR_NAME_MAX)
                name[nameLength++] = decoded;
        }
    }
    addPair();
    QZ_Trace(4, "<<End of variables in form.");
}

const char *QZ_HTTP_SrvReq_GetVariable(QZ_HTTP_SrvReq *r, const char *name) {
    if (r == nullptr) return QZ_EmptyString;
    return r->variables.values[QZ_HTTP_VarTable_Find(&r->variables, name)];
}

void QZ_HTTP_SrvReq_UpdateVariable(QZ_HTTP_SrvReq *r, const char *name, const char *value) {
    if (r == nullptr || isEmpty(name) || isEmpty(value)) return;
    QZ_HTTP_VarTable *t = &r->variables;
    const uint32_t slot = QZ_HTTP_VarTable_Find(t, name);
    if (slot >= t->count) {
        QZ_HTTP_VarTable_Add(t, name, value);
        return;
    }
    if (t->values[slot] != QZ_EmptyString) QZ_free(nullptr, t->values[slot]);
    t->values[slot] = storeValue(value, __LINE__);
    QZ_Trace(4, "%d UPD->%s=%s", static_cast<int>(slot + 1), name, value);
}

} // extern "C"
