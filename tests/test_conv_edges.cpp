// Buffer conventions, replacements and malformed UTF-8 of the conversions.
// Inputs live in heap blocks of their exact size, so that a read past the
// terminator shows up under AddressSanitizer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "qz/qzconv.h"

namespace {

// A zero-terminated copy in a block of exactly its size.
struct Exact {
    explicit Exact(const std::string &s) : data(new char[s.size() + 1]) { std::memcpy(data.get(), s.c_str(), s.size() + 1); }
    const char *get() const { return data.get(); }
    std::unique_ptr<char[]> data;
};

std::string toAnsi(const std::string &in, int32_t max = 64) {
    Exact src(in);
    std::string out(static_cast<size_t>(max) + 1, '#');
    Utf8ToAnsi(out.data(), src.get(), max);
    return out.substr(0, std::strlen(out.c_str()));
}

std::u16string toUnicode(const std::string &in, int32_t max = 64) {
    Exact src(in);
    std::u16string out(static_cast<size_t>(max) + 1, u'#');
    Utf8ToUnicode(reinterpret_cast<uint16_t *>(out.data()), src.get(), max);
    return out.substr(0, std::char_traits<char16_t>::length(out.c_str()));
}

TEST(ConvEncode, CapacityCountsWholeCharactersOnly) {
    char out[8] = {};
    int32_t cap = 2;
    EXPECT_EQ(ansiToUTF8(out, "\xE9\x80", 2, &cap), 2); // é fits, € (3 bytes) does not
    EXPECT_EQ(cap, 1);
    EXPECT_EQ(std::string(out, 2), "\xC3\xA9");

    cap = 8;
    EXPECT_EQ(ansiToUTF8(out, "a\0b", 3, &cap), 3); // a zero byte converts like any other
    EXPECT_EQ(cap, 3);
    EXPECT_EQ(std::string(out, 3), std::string("a\0b", 3));

    cap = 2;
    const uint16_t units[] = {0xD83D, 0x41};
    EXPECT_EQ(UnicodeToUTF8(out, units, 2, &cap), 0); // a surrogate is three bytes on its own
    EXPECT_EQ(cap, 0);
    cap = 8;
    EXPECT_EQ(UnicodeToUTF8(out, units, 2, &cap), 4);
    EXPECT_EQ(std::string(out, 4), "\xED\xA0\xBD" "A");
    EXPECT_EQ(cap, 2);

    cap = 0;
    EXPECT_EQ(ansiToUTF8(out, "a", 1, &cap), 0);
    EXPECT_EQ(cap, 0);
    // Without a capacity nothing is written or counted.
    EXPECT_EQ(ansiToUTF8(out, "a", 1, nullptr), 0);
    EXPECT_EQ(UnicodeToUTF8(out, units, 2, nullptr), 0);
}

TEST(ConvDecode, TableAndFallbacks) {
    EXPECT_EQ(toAnsi("\xE2\x82\xAC"), "\x80");
    EXPECT_EQ(toAnsi("\xC3\xA9"), "\xE9");
    EXPECT_EQ(toAnsi("\xC2\x81"), "\x81");
    EXPECT_EQ(toAnsi("\xE2\x98\x83"), "?");
    EXPECT_EQ(toAnsi("\xF0\x9F\x98\x80z"), "?z"); // four bytes: one "?" and on after them
    EXPECT_EQ(toUnicode("\xF0\x9F\x98\x80z"), u"?z");
    EXPECT_EQ(toUnicode("\xED\xA0\xBD"), std::u16string(1, char16_t(0xD83D)));
}

TEST(ConvDecode, MalformedSequencesNeverReachPastTheTerminator) {
    // A continuation byte where a sequence should start: "?" and on.
    EXPECT_EQ(toAnsi("a\x80" "b"), "a?b");
    EXPECT_EQ(toUnicode("\xBF\xBF"), u"??");
    // Sequences cut short by the terminator: one "?" each, then the end.
    EXPECT_EQ(toAnsi("a\xC3"), "a?");
    EXPECT_EQ(toAnsi("a\xE2\x82"), "a?");
    EXPECT_EQ(toAnsi("\xE2"), "?");
    EXPECT_EQ(toUnicode("x\xE2\x82"), u"x?");
    EXPECT_EQ(toAnsi("\xF0\x9F"), "?");
    EXPECT_EQ(toAnsi("\xFF"), "?"); // eight announced bytes, one present
    EXPECT_EQ(toAnsi("\xFE\x80\x80"), "?");
    // Continuation bytes are not checked: E2 41 41 is one (odd) character.
    EXPECT_EQ(toUnicode("\xE2\x41\x41"), std::u16string(1, char16_t(0x2041)));
}

TEST(ConvDecode, MaximumAndTerminator) {
    EXPECT_EQ(toAnsi("abc", 0), "");
    EXPECT_EQ(toAnsi("abc", 2), "ab");
    EXPECT_EQ(toUnicode("\xC3\xA9\xC3\xA9\xC3\xA9", 2), u"\u00E9\u00E9");

    char out[4] = {'#', '#', '#', '#'};
    Utf8ToAnsi(out, "abc", 3);
    EXPECT_EQ(std::string(out, 4), std::string("abc\0", 4));
    Utf8ToAnsi(out, "zz", -1); // no room at all: nothing written
    EXPECT_EQ(out[0], 'a');
    Utf8ToAnsi(out, nullptr, 3);
    EXPECT_EQ(out[0], '\0');
}

TEST(ConvReplace, LineFeedsExpandUntilTheStringNoLongerFits) {
    char out[8];
    std::memset(out, '#', sizeof out);
    Utf8ToAnsiReplace(out, "\n\n\n", '\n', "\r\n", 3);
    EXPECT_EQ(std::string(out, 3), std::string("\r\n\0", 3)); // the second pair needs 2, 1 is left

    Utf8ToAnsiReplace(out, "a\nb", '\n', "\r\n", 7);
    EXPECT_STREQ(out, "a\r\nb");
    // The replacement compares the converted character: U+00E9 becomes E9 first.
    Utf8ToAnsiReplace(out, "x\xC3\xA9", '\xE9', "e", 7);
    EXPECT_STREQ(out, "xe");
    // The "?" standing for an unconvertible character is not replaced.
    Utf8ToAnsiReplace(out, "\xE2\x98\x83", '?', "Q", 7);
    EXPECT_STREQ(out, "?");
    // Nor is a byte found in the 80-9F table: U+20AC becomes the byte 80 and
    // stays, while U+0080 (no table entry) is the byte 80 compared and replaced.
    Utf8ToAnsiReplace(out, "\xE2\x82\xAC|\xC2\x80|\xC2\x81", '\x80', "EUR", 7);
    EXPECT_STREQ(out, "\x80|EUR|\x81");
    Utf8ToAnsiReplace(out, "\xC2\x81", '\x81', "X", 7); // U+0081 is a table entry of its own
    EXPECT_STREQ(out, "\x81");

    EXPECT_STREQ(QZ_CharReplace(out, "a\nb\n", '\n', "\r\n", 7), "a\r\nb\r\n");
    EXPECT_STREQ(QZ_CharReplace(out, "a\nb\n", '\n', "\r\n", 5), "a\r\nb");
    EXPECT_STREQ(QZ_CharReplace(out, "abc", 'b', "", 7), "ac");
    EXPECT_STREQ(QZ_CharReplace(out, "abcdefgh", 'x', "", 3), "abc");
    EXPECT_STREQ(QZ_CharReplace(out, "a\x01\x02" "b", 'x', "", 7), "a\x01\x02" "b"); // only the zero ends it
}

TEST(ConvReplace, Utf16ReplacementAndTheAnsiMeaningOfTheCharacter) {
    uint16_t out[8];
    Utf8ToUnicodeReplace(out, "a\nb", 7, '\n', reinterpret_cast<const uint16_t *>(u"\r\n"));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(out)), u"a\r\nb");
    Utf8ToUnicodeReplace(out, "\n\n\n", 3, '\n', reinterpret_cast<const uint16_t *>(u"\r\n"));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(out)), u"\r\n");
    // The byte 80 stands for the euro sign: U+20AC in the input matches it.
    Utf8ToUnicodeReplace(out, "1\xE2\x82\xAC", 7, '\x80', reinterpret_cast<const uint16_t *>(u"EUR"));
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(out)), u"1EUR");
    // ... and a decoded U+FF80 (the sign-extended byte) does not.
    Utf8ToUnicodeReplace(out, "\xEF\xBE\x80", 7, '\x80', reinterpret_cast<const uint16_t *>(u"EUR"));
    EXPECT_EQ(out[0], 0xFF80);

    EXPECT_EQ(AnsiToUnicodeReplace(out, "\xE9\x80", 0, reinterpret_cast<const uint16_t *>(u""), 7), 2);
    EXPECT_EQ(out[0], 0x00E9);
    EXPECT_EQ(out[1], 0x20AC);
    EXPECT_EQ(AnsiToUnicodeReplace(out, "a\nb", '\n', reinterpret_cast<const uint16_t *>(u"\r\n"), 3), 3);
    EXPECT_EQ(std::u16string(reinterpret_cast<char16_t *>(out)), u"a\r\n");
    EXPECT_EQ(AnsiToUnicodeReplace(out, "a\nb", '\n', reinterpret_cast<const uint16_t *>(u"\r\n"), 2), 1);
    // No room: only the terminator; no output or a negative room: nothing at all.
    out[0] = 0x23;
    EXPECT_EQ(AnsiToUnicodeReplace(out, "abc", 0, nullptr, 0), 0);
    EXPECT_EQ(out[0], 0);
    out[0] = 0x23;
    EXPECT_EQ(AnsiToUnicodeReplace(out, "abc", 0, nullptr, -1), 0);
    EXPECT_EQ(out[0], 0x23);
    EXPECT_EQ(AnsiToUnicodeReplace(nullptr, "abc", 0, nullptr, 7), 0);
    EXPECT_EQ(AnsiToUnicodeReplace(out, "a\x01" "b", 0, nullptr, 7), 3); // only the zero ends it
}

} // namespace
