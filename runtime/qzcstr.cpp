// Dynamic strings.
//
// Capacity grows in steps of 128 bytes, to the next multiple of 128 strictly
// above what is needed. A longer string does not allocate a new block and copy
// the text over: the block is resized through the pool, which leaves the system
// allocator free to grow it in place, so that appending a long text in small
// pieces costs time in proportion to its length.

#include "qz/qzcstr.h"
#include "qz/qzpgmmem.h"

#include <cstdio>
#include <cstring>
#include <functional>

extern "C" {
char QZ_EmptyString[1] = {'\0'};
}

namespace {

constexpr uint32_t kStep = 128;
constexpr int32_t kReserveLine = 17;

bool hasBlock(const QZ_CStr *s) { return s->data != nullptr && s->data != QZ_EmptyString; }

// Writes the terminator, unless the string has no block of its own (the shared
// empty string is never written).
void terminate(QZ_CStr *s) {
    if (hasBlock(s)) s->data[s->length] = '\0';
}

// Where `bytes` lies inside the string's own block, its offset there: the block
// may move while it grows, so self-referring sources are followed by offset.
bool offsetInside(const QZ_CStr *s, const char *bytes, size_t &offset) {
    if (!hasBlock(s)) return false;
    const std::less_equal<const char *> le;
    if (le(s->data, bytes) && le(bytes, s->data + s->capacity)) {
        offset = static_cast<size_t>(bytes - s->data);
        return true;
    }
    return false;
}

uint32_t clampedLength(const char *text) {
    const size_t n = std::strlen(text);
    return n > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(n);
}

} // namespace

extern "C" {

void QZ_CStr_Init(QZ_CStr *s) {
    if (s == nullptr) return;
    s->capacity = 0;
    s->length = 0;
    s->data = QZ_EmptyString;
}

void QZ_CStr_Free(QZ_CStr *s) {
    if (s == nullptr) return;
    if (hasBlock(s)) QZ_free(nullptr, s->data);
    QZ_CStr_Init(s);
}

QZ_Flag QZ_CStr_Reserve(QZ_CStr *s, uint32_t needed) {
    if (s == nullptr) return 0;
    // The capacity always stays strictly above the need: a string of 127 bytes
    // sits in a 128-byte block, and the 128th byte moves it to a 256-byte one
    // (a plain "need <= capacity" test would keep the 128-byte block there).
    if (needed == 0 || needed < s->capacity) return 1;
    const uint64_t capacity = (static_cast<uint64_t>(needed) / kStep + 1) * kStep;
    if (capacity >= UINT32_MAX) return 0;
    void *block = hasBlock(s) ? QZ_realloc(nullptr, s->data, capacity + 1)
                              : QZ_malloc(nullptr, capacity + 1, "qzcstr", kReserveLine);
    if (block == nullptr) return 0;
    if (!hasBlock(s)) s->length = 0;
    s->data = static_cast<char *>(block);
    s->capacity = static_cast<uint32_t>(capacity);
    return 1;
}

void QZ_CStr_Set(QZ_CStr *s, const char *bytes, uint32_t length) {
    if (s == nullptr || bytes == nullptr) return;
    size_t offset = 0;
    const bool inside = offsetInside(s, bytes, offset);
    if (length == 0 || QZ_CStr_Reserve(s, length) == 0) {
        QZ_CStr_Free(s);
        return;
    }
    if (inside) bytes = s->data + offset;
    std::memmove(s->data, bytes, length);
    s->length = length;
    terminate(s);
}

void QZ_CStr_SetText(QZ_CStr *s, const char *text) {
    if (text == nullptr) return;
    QZ_CStr_Set(s, text, clampedLength(text));
}

QZ_CStr *QZ_CStr_Assign(QZ_CStr *s, const QZ_CStr *source) {
    if (s == nullptr || source == nullptr || s == source) return s;
    QZ_CStr_Set(s, source->data, source->length);
    return s;
}

QZ_CStr *QZ_CStr_Concat(QZ_CStr *s, const QZ_CStr *a, const QZ_CStr *b) {
    if (s == nullptr) return s;
    if (b == s && a != s) {
        // Assigning a first would overwrite b: keep b's text aside.
        QZ_CStr tail;
        QZ_CStr_Init(&tail);
        QZ_CStr_Assign(&tail, b);
        QZ_CStr_Assign(s, a);
        QZ_CStr_Append(s, tail.data, tail.length);
        QZ_CStr_Free(&tail);
        return s;
    }
    QZ_CStr_Assign(s, a);
    if (b != nullptr) QZ_CStr_Append(s, b->data, b->length);
    return s;
}

QZ_CStr *QZ_CStr_Append(QZ_CStr *s, const char *bytes, uint32_t length) {
    if (s == nullptr || bytes == nullptr || length == 0) return s;
    if (length > UINT32_MAX - s->length) return s;
    size_t offset = 0;
    const bool inside = offsetInside(s, bytes, offset);
    if (QZ_CStr_Reserve(s, s->length + length) == 0) return s;
    if (inside) bytes = s->data + offset;
    std::memmove(s->data + s->length, bytes, length);
    s->length += length;
    terminate(s);
    return s;
}

void QZ_CStr_AppendText(QZ_CStr *s, const char *text) {
    if (text == nullptr) return;
    QZ_CStr_Append(s, text, clampedLength(text));
}

void QZ_CStr_AppendChar(QZ_CStr *s, char c) {
    if (s == nullptr || s->length == UINT32_MAX) return;
    if (QZ_CStr_Reserve(s, s->length + 1) == 0) return;
    s->data[s->length] = c;
    s->length += 1;
    terminate(s);
}

void QZ_CStr_PadRight(QZ_CStr *s, uint32_t newLength, const char *fill) {
    if (s == nullptr || fill == nullptr) return;
    if (newLength == 0 || newLength <= s->length) return;
    // The reserve asks for the old length plus the new one (more than the
    // padding needs); the capacities that follow are part of the string's contract.
    const uint64_t needed = static_cast<uint64_t>(s->length) + newLength;
    if (needed > UINT32_MAX) return;
    if (QZ_CStr_Reserve(s, static_cast<uint32_t>(needed)) == 0) return;
    std::memset(s->data + s->length, *fill, newLength - s->length);
    s->length = newLength;
    terminate(s);
}

QZ_Flag QZ_CStr_Resize(QZ_CStr *s, uint32_t newLength) {
    if (s == nullptr) return 0;
    if (QZ_CStr_Reserve(s, newLength) == 0) return 0;
    if (s->length < newLength) {
        std::memset(s->data + s->length, 0, newLength - s->length);
        s->length = newLength;
        terminate(s);
    }
    return 1;
}

QZ_CStr *QZ_CStr_AssignTrimRight(QZ_CStr *s, const QZ_CStr *source) {
    if (s == nullptr || source == nullptr) return s;
    const uint32_t n = source->length;
    size_t offset = 0;
    const char *bytes = source->data;
    const bool inside = offsetInside(s, bytes, offset);
    if (QZ_CStr_Reserve(s, n) == 0) return s;
    if (inside) bytes = s->data + offset;
    if (n != 0) std::memmove(s->data, bytes, n);
    uint32_t length = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (s->data[i] != ' ') length = i + 1;
    }
    s->length = length;
    terminate(s);
    return s;
}

uint32_t QZ_CStr_Length(const QZ_CStr *s) { return s != nullptr ? s->length : 0; }

char *QZ_CStr_Data(const QZ_CStr *s) {
    return s != nullptr && s->data != nullptr ? s->data : QZ_EmptyString;
}

QZ_Flag QZ_CStr_IsEmpty(const QZ_CStr *s) { return s == nullptr || s->length == 0 ? 1 : 0; }

void QZ_CStr_Print(const QZ_CStr *s) {
    if (s == nullptr || s->data == nullptr) return;
    for (uint32_t i = 0; i < s->length; ++i) std::printf("%c", s->data[i]);
}

char *QZ_StrCopyTrimLeft(char *dest, const char *src, size_t n) {
    if (dest == nullptr) return dest;
    if (src == nullptr) src = QZ_EmptyString;
    while (*src == ' ') ++src;
    // Left to right, one byte at a time: the source may lie further right in
    // the same buffer (QZ_StrCopyTrim moves a text onto itself).
    size_t i = 0;
    for (; i < n && src[i] != '\0'; ++i) dest[i] = src[i];
    for (; i < n; ++i) dest[i] = '\0';
    dest[n] = '\0';
    return dest;
}

char *QZ_StrCopyTrim(char *dest, const char *src, size_t n) {
    if (dest == nullptr) return dest;
    if (src == nullptr) src = QZ_EmptyString;
    size_t end = 0;
    for (size_t i = 0; i < n && src[i] != '\0'; ++i) {
        dest[i] = src[i];
        if (src[i] != ' ') end = i + 1;
    }
    dest[end] = '\0';
    return QZ_StrCopyTrimLeft(dest, dest, n);
}

} // extern "C"
