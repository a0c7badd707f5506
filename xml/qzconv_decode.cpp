// UTF-8 decoders into ANSI and UTF-16. One, two and three byte sequences are
// decoded as they come (the top bits of continuation bytes are not checked, as
// the exported interface has always done); four-byte and longer lead bytes give
// "?". Every step looks at a byte only after the bytes before it turned out not
// to be the terminator, so no input is ever read past its end.
#include <bit>

#include "xml/qzconv_internal.h"

namespace {

// One decoded character: a code point, or a character written as it is, never
// compared with the replacement character (the mark "?", a byte found in the
// 80-9F table).
struct Decoded {
    uint32_t codePoint;
    bool mark;
};

// Decodes the character at *p and advances *p past it, never past the terminator.
Decoded decodeOne(const unsigned char *&p) {
    const unsigned char lead = p[0];
    const int n = std::countl_one(lead);
    if (n == 0) {
        ++p;
        return {lead, false};
    }
    if (n == 1) { // a continuation byte where a sequence should start
        ++p;
        return {'?', true};
    }
    // Skip what the lead byte announces, stopping at the terminator: a
    // sequence cut short gives one mark and ends at the terminator.
    int have = 1;
    while (have < n && p[have] != 0) ++have;
    if (n > 3 || have < n) {
        p += have;
        return {'?', true};
    }
    uint32_t cp;
    if (n == 2)
        cp = (lead & 0x1Fu) * 64u + (p[1] & 0x3Fu);
    else
        cp = (lead & 0x0Fu) * 4096u + (p[1] & 0x3Fu) * 64u + (p[2] & 0x3Fu);
    p += n;
    return {cp, false};
}

// ANSI byte for a decoded code point: a code point of the 80-9F table becomes
// its byte (first match in byte order), written as it is; one above FF becomes
// the mark "?"; any other is the byte of the same value, and only such a
// character is compared with the replacement character.
Decoded toAnsi(Decoded d) {
    if (d.mark || d.codePoint < 0x80) return d;
    if (const int byte = qz::conv::highControlByte(d.codePoint); byte >= 0) return {static_cast<uint32_t>(byte), true};
    if (d.codePoint > 0xFF) return {'?', true};
    return d;
}

} // namespace

extern "C" {

void Utf8ToAnsiReplace(char *out, const char *in, char replaceChar, const char *replacement, int32_t max) {
    if (out == nullptr || max < 0) return;
    qz::conv::Output<char> o(out, max);
    const auto *p = reinterpret_cast<const unsigned char *>(in != nullptr ? in : "");
    while (!o.full() && *p != 0) {
        const Decoded d = toAnsi(decodeOne(p));
        const char c = static_cast<char>(d.codePoint);
        if (!d.mark && replacement != nullptr && c == replaceChar) {
            if (!o.putString(replacement)) break;
        } else {
            o.put(c);
        }
    }
    o.finish();
}

void Utf8ToAnsi(char *out, const char *in, int32_t max) { Utf8ToAnsiReplace(out, in, 0, nullptr, max); }

void Utf8ToUnicodeReplace(uint16_t *out, const char *in, int32_t max, char replaceChar,
                          const uint16_t *replacement) {
    if (out == nullptr || max < 0) return;
    qz::conv::Output<uint16_t> o(out, max);
    // The replacement character is compared by its meaning in the ANSI table,
    // so a character outside ASCII (such as the euro sign, byte 80) matches the
    // code point it stands for rather than its sign-extended byte value.
    const uint32_t wanted = qz::conv::ansiCodePoint(static_cast<unsigned char>(replaceChar));
    const auto *p = reinterpret_cast<const unsigned char *>(in != nullptr ? in : "");
    while (!o.full() && *p != 0) {
        const Decoded d = decodeOne(p);
        if (!d.mark && replacement != nullptr && d.codePoint == wanted) {
            if (!o.putString(replacement)) break;
        } else {
            o.put(static_cast<uint16_t>(d.codePoint));
        }
    }
    o.finish();
}

void Utf8ToUnicode(uint16_t *out, const char *in, int32_t max) { Utf8ToUnicodeReplace(out, in, max, 0, nullptr); }

} // extern "C"
