// Shared pieces of the character-set conversions: the Windows-1252 table and
// the UTF-8 encoding of one code point of the Basic Multilingual Plane.
#ifndef QZ_XML_QZCONV_INTERNAL_H
#define QZ_XML_QZCONV_INTERNAL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "qz/qzconv.h"

namespace qz::conv {

// The 32 code points of the bytes 80-9F, in byte order.
inline const uint16_t *highControls() { return QZ_AnsiCodePoints + 0x80; }

inline uint16_t ansiCodePoint(unsigned char byte) { return QZ_AnsiCodePoints[byte]; }

// The byte 80-9F whose table entry is the code point (first match in byte
// order), or -1 when it is none of the 32 entries.
inline int highControlByte(uint32_t codePoint) {
    const uint16_t *high = highControls();
    for (int i = 0; i < 32; ++i)
        if (high[i] == codePoint) return 0x80 + i;
    return -1;
}

// Bytes that the UTF-8 form of a code point below 10000 takes.
constexpr int utf8Length(uint32_t cp) { return cp < 0x80 ? 1 : (cp < 0x800 ? 2 : 3); }

// Writes the UTF-8 form of cp (below 10000) at out; returns the bytes written.
inline int putUtf8(char *out, uint32_t cp) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
}

template <typename Unit>
size_t unitLength(const Unit *s) {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

// The output side shared by every decoder and copy: at most max characters,
// then the terminator.
template <typename Unit>
class Output {
public:
    Output(Unit *out, int32_t max) : out_(out), max_(max) {}
    bool full() const { return written_ >= max_; }
    void put(Unit u) { out_[written_++] = u; }
    // Writes the whole replacement string; false (nothing written) when it
    // does not fit in the room left, which ends the conversion.
    bool putString(const Unit *s) {
        const size_t len = unitLength(s);
        if (len > static_cast<size_t>(max_ - written_)) return false;
        std::memcpy(out_ + written_, s, len * sizeof(Unit));
        written_ += static_cast<int32_t>(len);
        return true;
    }
    int32_t finish() {
        out_[written_] = 0;
        return written_;
    }

private:
    Unit *out_;
    int32_t max_;
    int32_t written_ = 0;
};

} // namespace qz::conv

#endif
