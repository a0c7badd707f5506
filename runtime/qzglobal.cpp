// Fixed-buffer text operations used by generated code. Each destination has room
// for n + 1 bytes (bound + 1 for QZ_StrConcat); nothing is written beyond that.

#include "qz/qzstrings.h"
#include "runtime/qztext_internal.h"

#include <cctype>
#include <cstdarg>
#include <cstring>

namespace {

int32_t position(size_t i, bool greater) {
    const auto p = static_cast<int32_t>(i + 1);
    return greater ? p : -p;
}

size_t skipBlanks(const char *text, size_t i) {
    while (text[i] == ' ') ++i;
    return i;
}

int upper(char c) { return std::toupper(static_cast<unsigned char>(c)); }

} // namespace

extern "C" {

char *QZ_RTrimCopy(char *dest, const char *src, size_t n) {
    if (dest == nullptr) return dest;
    src = qz::OrEmpty(src);
    size_t end = 0;
    for (size_t i = 0; i < n && src[i] != '\0'; ++i) {
        dest[i] = src[i]; // left to right, so dest may be src itself
        if (src[i] != ' ') end = i + 1;
    }
    dest[end] = '\0';
    return dest;
}

char *QZ_Trim(char *dest, const char *src, size_t n) {
    QZ_RTrimCopy(dest, src, n);
    if (dest == nullptr) return dest;
    const size_t start = skipBlanks(dest, 0);
    if (start != 0) std::memmove(dest, dest + start, std::strlen(dest + start) + 1);
    return dest;
}

char *QZ_StrConcat(char *dest, size_t bound, int count, ...) {
    if (dest == nullptr) return dest;
    size_t used = 0;
    va_list args;
    va_start(args, count);
    for (int k = 0; k < count; ++k) {
        const char *text = va_arg(args, const char *);
        if (text == nullptr) continue;
        while (used < bound && *text != '\0') dest[used++] = *text++;
    }
    va_end(args);
    dest[used] = '\0';
    return dest;
}

int32_t QZ_StrCmpTrim(const char *a, const char *b, int16_t mode) {
    a = qz::OrEmpty(a);
    b = qz::OrEmpty(b);
    size_t i = 0;
    while (b[i] != '\0' && a[i] == b[i]) ++i;
    // Characters are compared as signed bytes.
    auto sc = [](char c) { return static_cast<signed char>(c); };
    if (mode == 1) {
        if (a[i] == '\0' || b[i] == '\0') {
            const signed char ca = sc(a[skipBlanks(a, i)]);
            const signed char cb = sc(b[skipBlanks(b, i)]);
            if (ca == cb) return 0;
            return position(i, ca > cb);
        }
        return position(i, sc(a[i]) > sc(b[i]));
    }
    if (b[i] == '\0') return 0; // b is a prefix of a
    return position(i, sc(a[i]) > sc(b[i]));
}

int32_t QZ_StrICmp(const char *a, const char *b) {
    a = qz::OrEmpty(a);
    b = qz::OrEmpty(b);
    size_t i = 0;
    while (b[i] != '\0' && upper(a[i]) == upper(b[i])) ++i;
    if (upper(a[i]) == upper(b[i])) return 0;
    return position(i, upper(a[i]) > upper(b[i]));
}

} // extern "C"
