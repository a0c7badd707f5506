// Encoders into UTF-8. They never write a terminator: the writer feeds them
// chunks of a longer text and hands each chunk's bytes straight to its output.
#include "xml/qzconv_internal.h"

namespace {

// Encodes units while whole characters fit; *capacity comes in as the room of
// the output and goes out as the number of input units consumed.
template <typename Unit, typename CodePointOf>
int32_t encodeUtf8(char *out, const Unit *in, int32_t inLength, int32_t *capacity, CodePointOf codePointOf) {
    if (capacity == nullptr) return 0;
    const int32_t room = *capacity;
    if (out == nullptr || in == nullptr || inLength <= 0 || room <= 0) {
        *capacity = 0;
        return 0;
    }
    int32_t written = 0;
    int32_t consumed = 0;
    while (consumed < inLength) {
        const uint32_t cp = codePointOf(in[consumed]);
        if (qz::conv::utf8Length(cp) > room - written) break;
        written += qz::conv::putUtf8(out + written, cp);
        ++consumed;
    }
    *capacity = consumed;
    return written;
}

} // namespace

extern "C" {

int32_t ansiToUTF8(char *out, const char *in, int32_t inLength, int32_t *capacity) {
    return encodeUtf8(out, in, inLength, capacity,
                      [](char c) -> uint32_t { return qz::conv::ansiCodePoint(static_cast<unsigned char>(c)); });
}

int32_t UnicodeToUTF8(char *out, const uint16_t *in, int32_t inLength, int32_t *capacity) {
    return encodeUtf8(out, in, inLength, capacity, [](uint16_t u) -> uint32_t { return u; });
}

} // extern "C"
