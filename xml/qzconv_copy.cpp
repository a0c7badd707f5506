// Byte-wise conversions that need no decoding: ANSI to UTF-16 and the plain
// character-replacement copy (the reader's line-feed expansion).
#include "xml/qzconv_internal.h"

extern "C" {

int32_t AnsiToUnicodeReplace(uint16_t *out, const char *in, char replaceChar, const uint16_t *replacement,
                             int32_t max) {
    if (out == nullptr || max < 0) return 0;
    qz::conv::Output<uint16_t> o(out, max);
    for (const char *p = in != nullptr ? in : ""; !o.full() && *p != 0; ++p) {
        if (replacement != nullptr && *p == replaceChar) {
            if (!o.putString(replacement)) break;
        } else {
            o.put(qz::conv::ansiCodePoint(static_cast<unsigned char>(*p)));
        }
    }
    return o.finish();
}

char *QZ_CharReplace(char *out, const char *in, char c, const char *replacement, int32_t max) {
    if (out == nullptr || max < 0) return out;
    qz::conv::Output<char> o(out, max);
    for (const char *p = in != nullptr ? in : ""; !o.full() && *p != 0; ++p) {
        if (replacement != nullptr && *p == c) {
            if (!o.putString(replacement)) break;
        } else {
            o.put(*p);
        }
    }
    o.finish();
    return out;
}

} // extern "C"
