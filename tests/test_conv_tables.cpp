// The conversions checked exhaustively against a Windows-1252 table built here
// from its published code points, and a UTF-8 encoder written independently.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "qz/qzconv.h"

namespace {

// Windows-1252: 00-7F and A0-FF are themselves; 80-9F as listed, with the five
// unassigned bytes standing for the code points of the same value.
std::array<uint32_t, 256> windows1252() {
    const std::map<int, uint32_t> high = {
        {0x80, 0x20AC}, {0x81, 0x0081}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
        {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160}, {0x8B, 0x2039},
        {0x8C, 0x0152}, {0x8D, 0x008D}, {0x8E, 0x017D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x91, 0x2018},
        {0x92, 0x2019}, {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014},
        {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153}, {0x9D, 0x009D},
        {0x9E, 0x017E}, {0x9F, 0x0178}};
    std::array<uint32_t, 256> t{};
    for (int b = 0; b < 256; ++b) t[b] = high.count(b) ? high.at(b) : static_cast<uint32_t>(b);
    return t;
}

std::string utf8(uint32_t cp) {
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// The byte a code point becomes in ANSI output: the table entry of 80-9F when
// there is one, the code point itself up to FF, "?" above.
char expectedAnsi(const std::array<uint32_t, 256> &t, uint32_t cp) {
    for (int b = 0x80; b < 0xA0; ++b)
        if (t[b] == cp) return static_cast<char>(b);
    return cp <= 0xFF ? static_cast<char>(cp) : '?';
}

TEST(ConvTables, EveryByteEncodesToItsWindows1252CodePoint) {
    const auto t = windows1252();
    for (int b = 0; b < 256; ++b) {
        const char in = static_cast<char>(b);
        char out[8] = {};
        int32_t cap = sizeof out;
        const int32_t n = ansiToUTF8(out, &in, 1, &cap);
        EXPECT_EQ(std::string(out, static_cast<size_t>(n)), utf8(t[b])) << "byte " << b;
        EXPECT_EQ(cap, 1);
        EXPECT_EQ(QZ_AnsiCodePoints[b], t[b]);

        const char text[2] = {in, 0};
        uint16_t units[4] = {0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF};
        const int32_t written = AnsiToUnicodeReplace(units, text, '\x01', nullptr, 3);
        if (b == 0) {
            EXPECT_EQ(written, 0);
            EXPECT_EQ(units[0], 0);
        } else {
            EXPECT_EQ(written, 1);
            EXPECT_EQ(units[0], t[b]);
            EXPECT_EQ(units[1], 0);
        }
    }
}

TEST(ConvTables, WholeTableInOneCallMatchesConcatenatedCharacters) {
    const auto t = windows1252();
    std::string all;
    std::string expected;
    for (int b = 0; b < 256; ++b) {
        all += static_cast<char>(b);
        expected += utf8(t[b]);
    }
    std::vector<char> out(expected.size());
    int32_t cap = static_cast<int32_t>(out.size());
    const int32_t n = ansiToUTF8(out.data(), all.data(), 256, &cap);
    EXPECT_EQ(cap, 256);
    EXPECT_EQ(std::string(out.data(), static_cast<size_t>(n)), expected);
}

TEST(ConvTables, EveryBmpCodePointDecodesToUnicodeAndAnsi) {
    const auto t = windows1252();
    for (uint32_t cp = 1; cp <= 0xFFFF; ++cp) {
        const std::string in = utf8(cp);
        uint16_t units[3] = {0xAAAA, 0xAAAA, 0xAAAA};
        Utf8ToUnicode(units, in.c_str(), 2);
        ASSERT_EQ(units[0], cp);
        ASSERT_EQ(units[1], 0);

        char ansi[3] = {'x', 'x', 'x'};
        Utf8ToAnsi(ansi, in.c_str(), 2);
        ASSERT_EQ(ansi[0], expectedAnsi(t, cp)) << std::hex << cp;
        ASSERT_EQ(ansi[1], 0);

        // The round trip through the reverse table.
        const int byte = QZ_AnsiFromCodePoint(cp);
        ASSERT_GE(byte, -1) << std::hex << cp; // a byte, or exactly -1
        ASSERT_EQ(byte < 0 ? '?' : static_cast<char>(byte), expectedAnsi(t, cp));

        const uint16_t unit = static_cast<uint16_t>(cp);
        char back[4];
        int32_t cap = sizeof back;
        const int32_t n = UnicodeToUTF8(back, &unit, 1, &cap);
        ASSERT_EQ(std::string(back, static_cast<size_t>(n)), in);
    }
}

TEST(ConvTables, AnsiRoundTripsThroughUtf8ForEveryAssignedByte) {
    for (int b = 1; b < 256; ++b) {
        const char in = static_cast<char>(b);
        char mid[4];
        int32_t cap = sizeof mid;
        const int32_t n = ansiToUTF8(mid, &in, 1, &cap);
        const std::string text(mid, static_cast<size_t>(n));
        char back[2];
        Utf8ToAnsi(back, text.c_str(), 1);
        EXPECT_EQ(back[0], in) << "byte " << b;
    }
}

} // namespace
