// Namespace dictionary: bindings appended to one text pool and one entry
// table, searched from the newest entry backwards so that the latest binding
// of a key wins. Removal only empties a key, so text never moves except when
// the pool grows.
#include <cstring>

#include "qz/qzpgmmem.h"
#include "qz/qzxmldict.h"
#include "runtime/qztext_internal.h"

namespace {

constexpr const char *kSource = "xmlstackdicc";

bool isRemoved(const QZ_XmlNsDict *d, const QZ_XmlNsEntry &e) { return d->text[e.keyPos] == '\0'; }

// Whether the stored key is exactly the first length bytes of key. Stops at
// the stored key's end, so a shorter stored key is never read past.
bool keyMatches(const char *stored, const char *key, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i)
        if (stored[i] == '\0' || stored[i] != key[i]) return false;
    return stored[length] == '\0';
}

} // namespace

extern "C" {

QZ_Flag QZ_XmlNsDict_Init(QZ_XmlNsDict *d, uint32_t entryCapacity, uint32_t textCapacity, uint32_t entryGrowth,
                          uint32_t textGrowth) {
    if (d == nullptr) return 0;
    *d = QZ_XmlNsDict{};
    if (entryCapacity > 0) {
        d->entries = static_cast<QZ_XmlNsEntry *>(
            QZ_malloc(nullptr, static_cast<size_t>(entryCapacity) * sizeof(QZ_XmlNsEntry), kSource, __LINE__));
        if (d->entries == nullptr) return 0;
    }
    if (textCapacity > 0) {
        d->text = static_cast<char *>(QZ_malloc(nullptr, textCapacity, kSource, __LINE__));
        if (d->text == nullptr) {
            if (d->entries != nullptr) QZ_free(nullptr, d->entries);
            d->entries = nullptr;
            return 0;
        }
    }
    d->entryCapacity = entryCapacity;
    d->textCapacity = textCapacity;
    d->entryGrowth = entryGrowth;
    d->textGrowth = textGrowth;
    return 1;
}

QZ_Flag QZ_XmlNsDict_InitStandard(QZ_XmlNsDict *d) {
    return QZ_XmlNsDict_Init(d, QZ_XMLNSDICT_STD_ENTRIES, QZ_XMLNSDICT_STD_TEXT, QZ_XMLNSDICT_STD_ENTRY_GROWTH,
                             QZ_XMLNSDICT_STD_TEXT_GROWTH);
}

void QZ_XmlNsDict_Free(QZ_XmlNsDict *d) {
    if (d == nullptr) return;
    if (d->entries != nullptr) QZ_free(nullptr, d->entries);
    if (d->text != nullptr) QZ_free(nullptr, d->text);
    *d = QZ_XmlNsDict{};
}

QZ_Flag QZ_XmlNsDict_Add(QZ_XmlNsDict *d, const char *key, const char *value, int16_t depth) {
    if (d == nullptr) return 0;
    key = qz::OrEmpty(key);
    value = qz::OrEmpty(value);
    const size_t keyLength = std::strlen(key);
    if (keyLength == 0) return 1;
    const size_t valueLength = std::strlen(value);
    const size_t needed = keyLength + valueLength + 2;

    // Both new blocks are made before anything changes, so that a failure
    // leaves the dictionary as it was. The key and value may point into the
    // old pool (a text returned by a look-up): they are copied before it goes.
    char *newText = nullptr;
    uint32_t newTextCapacity = d->textCapacity;
    if (static_cast<size_t>(d->textCapacity - d->textUsed) < needed) {
        const size_t growBy = needed > d->textGrowth ? needed : d->textGrowth;
        if (static_cast<size_t>(d->textCapacity) + growBy > UINT32_MAX) return 0;
        newTextCapacity = static_cast<uint32_t>(d->textCapacity + growBy);
        newText = static_cast<char *>(QZ_malloc(nullptr, newTextCapacity, kSource, __LINE__));
        if (newText == nullptr) return 0;
    }
    QZ_XmlNsEntry *newEntries = nullptr;
    uint32_t newEntryCapacity = d->entryCapacity;
    if (d->entryCount == d->entryCapacity) {
        // A growth of 0 would make the table full for good; grow by one then.
        const uint32_t growBy = d->entryGrowth > 0 ? d->entryGrowth : 1;
        if (static_cast<uint64_t>(d->entryCapacity) + growBy > UINT32_MAX / sizeof(QZ_XmlNsEntry)) {
            if (newText != nullptr) QZ_free(nullptr, newText);
            return 0;
        }
        newEntryCapacity = d->entryCapacity + growBy;
        newEntries = static_cast<QZ_XmlNsEntry *>(
            QZ_malloc(nullptr, static_cast<size_t>(newEntryCapacity) * sizeof(QZ_XmlNsEntry), kSource, __LINE__));
        if (newEntries == nullptr) {
            if (newText != nullptr) QZ_free(nullptr, newText);
            return 0;
        }
    }

    char *oldText = nullptr;
    if (newText != nullptr) {
        if (d->textUsed > 0) std::memcpy(newText, d->text, d->textUsed);
        oldText = d->text;
        d->text = newText;
        d->textCapacity = newTextCapacity;
    }
    if (newEntries != nullptr) {
        if (d->entryCount > 0) std::memcpy(newEntries, d->entries, d->entryCount * sizeof(QZ_XmlNsEntry));
        if (d->entries != nullptr) QZ_free(nullptr, d->entries);
        d->entries = newEntries;
        d->entryCapacity = newEntryCapacity;
    }

    QZ_XmlNsEntry &e = d->entries[d->entryCount];
    e.valuePos = d->textUsed;
    std::memcpy(d->text + d->textUsed, value, valueLength + 1);
    d->textUsed += static_cast<uint32_t>(valueLength + 1);
    e.keyPos = d->textUsed;
    std::memcpy(d->text + d->textUsed, key, keyLength + 1);
    d->textUsed += static_cast<uint32_t>(keyLength + 1);
    e.depth = depth;
    ++d->entryCount;
    if (oldText != nullptr) QZ_free(nullptr, oldText);
    return 1;
}

QZ_Flag QZ_XmlNsDict_AddUntied(QZ_XmlNsDict *d, const char *key, const char *value) {
    return QZ_XmlNsDict_Add(d, key, value, QZ_XMLNSDICT_UNTIED);
}

const char *QZ_XmlNsDict_Lookup(const QZ_XmlNsDict *d, const char *key, uint32_t keyLength) {
    if (d == nullptr || key == nullptr) return nullptr;
    for (uint32_t i = d->entryCount; i-- > 0;) {
        const QZ_XmlNsEntry &e = d->entries[i];
        // A removed entry has an empty key, which no look-up may find again.
        if (!isRemoved(d, e) && keyMatches(d->text + e.keyPos, key, keyLength)) return d->text + e.valuePos;
    }
    return nullptr;
}

const char *QZ_XmlNsDict_FindKeyByValue(const QZ_XmlNsDict *d, const char *value) {
    if (d == nullptr) return nullptr;
    value = qz::OrEmpty(value);
    for (uint32_t i = d->entryCount; i-- > 0;) {
        const QZ_XmlNsEntry &e = d->entries[i];
        if (!isRemoved(d, e) && std::strcmp(d->text + e.valuePos, value) == 0) return d->text + e.keyPos;
    }
    return nullptr;
}

QZ_Flag QZ_XmlNsDict_RemoveByValue(QZ_XmlNsDict *d, const char *value) {
    if (d == nullptr) return 0;
    value = qz::OrEmpty(value);
    QZ_Flag removed = 0;
    for (uint32_t i = d->entryCount; i-- > 0;) {
        const QZ_XmlNsEntry &e = d->entries[i];
        if (!isRemoved(d, e) && std::strcmp(d->text + e.valuePos, value) == 0) {
            d->text[e.keyPos] = '\0';
            removed = 1;
            break;
        }
    }
    while (d->entryCount > 0 && isRemoved(d, d->entries[d->entryCount - 1])) --d->entryCount;
    return removed;
}

void QZ_XmlNsDict_PopDepth(QZ_XmlNsDict *d, int16_t depth) {
    if (d == nullptr) return;
    while (d->entryCount > 0 && d->entries[d->entryCount - 1].depth == depth) --d->entryCount;
}

void QZ_XmlNsDict_Reset(QZ_XmlNsDict *d) {
    if (d == nullptr) return;
    d->entryCount = 0;
    d->textUsed = 0;
}

} // extern "C"
