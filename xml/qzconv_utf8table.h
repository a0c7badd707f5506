// ANSI (Windows-1252) to UTF-8 through a table of ready UTF-8 sequences, one per byte.
#ifndef QZ_XML_QZCONV_UTF8TABLE_H
#define QZ_XML_QZCONV_UTF8TABLE_H

#include <cstdint>

namespace qz::conv {

// The UTF-8 form of one byte: one to three bytes, then their count. Four bytes in all, so
// that an entry can be copied with one move.
struct AnsiUtf8 {
    unsigned char bytes[3];
    unsigned char length;
};
static_assert(sizeof(AnsiUtf8) == 4);

extern const AnsiUtf8 kAnsiUtf8[256];

// Converts length bytes of ANSI text into at most room bytes of UTF-8, character by character
// while whole characters fit (a zero byte is converted like any other). Returns the bytes
// written and stores the input bytes consumed.
int32_t ansiToUtf8Fit(char *out, int32_t room, const char *in, int32_t length, int32_t *consumed);

} // namespace qz::conv

#endif
