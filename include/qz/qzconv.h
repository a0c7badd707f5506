/* Conversions between the runtime's 8-bit "ANSI" text (always Windows-1252,
   from one fixed table: the system's locale is never consulted), UTF-8 and
   UTF-16.

   Buffer conventions:
   - Encoders into UTF-8 (ansiToUTF8, UnicodeToUTF8) take an input length and an
     in-out capacity: on entry the room of the output in bytes, on return the
     number of input units consumed. They return the bytes written and write no
     terminator. A character is written only when all of its bytes fit.
   - Decoders and copies read a zero-terminated input and take a maximum output
     length in characters (bytes for 8-bit output, 16-bit units for UTF-16
     output). They stop at the input's terminator or when the output holds the
     maximum, and always store a terminator after the last character written:
     the caller's buffer holds maximum + 1 characters. A negative maximum
     writes nothing at all; a null input counts as the empty text.
   - Replacing variants write every occurrence of the replacement character as
     the whole replacement string; when the string does not fit in the room
     left before the maximum, the conversion stops there. A null replacement
     string means no replacement.

   UTF-8 decoding: one, two and three byte sequences are decoded without
   checking the top bits of the continuation bytes; lead bytes F0-FF give one
   "?" and skip their announced length. A continuation byte where a sequence
   should start gives one "?" and decoding goes on with the next byte; a
   sequence cut short by the terminator gives one "?" and ends there. No
   sequence ever reaches past the terminator. For 8-bit output a code point of the 80-9F table
   becomes its byte, another code point above FF becomes "?". */
#ifndef QZ_QZCONV_H
#define QZ_QZCONV_H

#include "qzdefs.h"

QZ_BEGIN_DECLS

/* Code point of every byte under the fixed Windows-1252 table (the five
   unassigned bytes 81, 8D, 8F, 90, 9D map to the code points of the same value). */
QZ_EXPORT extern const uint16_t QZ_AnsiCodePoints[256];

/* Byte for a code point under the same table (first match of the 80-9F
   entries, then 00-FF as themselves), or -1 when the code point has none. */
QZ_EXPORT int QZ_AnsiFromCodePoint(uint32_t codePoint);

/* ANSI -> UTF-8. A zero byte inside the input is converted like any other. */
QZ_EXPORT int32_t ansiToUTF8(char *out, const char *in, int32_t inLength, int32_t *capacity);

/* UTF-16 -> UTF-8; every unit is one code point (surrogates become three-byte
   sequences one by one, pairs are not combined). */
QZ_EXPORT int32_t UnicodeToUTF8(char *out, const uint16_t *in, int32_t inLength, int32_t *capacity);

/* UTF-8 -> ANSI; note the argument order. */
QZ_EXPORT void Utf8ToAnsiReplace(char *out, const char *in, char replaceChar, const char *replacement,
                                 int32_t max);
QZ_EXPORT void Utf8ToAnsi(char *out, const char *in, int32_t max);

/* UTF-8 -> UTF-16; note the argument order. The decoded unit is compared with
   the replacement character's Windows-1252 code point (so an ASCII character
   compares as itself and the byte 80 stands for U+20AC). */
QZ_EXPORT void Utf8ToUnicodeReplace(uint16_t *out, const char *in, int32_t max, char replaceChar,
                                    const uint16_t *replacement);
QZ_EXPORT void Utf8ToUnicode(uint16_t *out, const char *in, int32_t max);

/* ANSI -> UTF-16; returns the number of units written (without the terminator). */
QZ_EXPORT int32_t AnsiToUnicodeReplace(uint16_t *out, const char *in, char replaceChar,
                                       const uint16_t *replacement, int32_t max);

/* Byte copy writing every occurrence of c as the replacement string; returns out. */
QZ_EXPORT char *QZ_CharReplace(char *out, const char *in, char c, const char *replacement, int32_t max);

QZ_END_DECLS

#endif
