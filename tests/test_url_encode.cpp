// URL encoders and the "%XX" decoder, with the budgets of the static results.

#include <gtest/gtest.h>

#include <string>

#include "qz/qzcstr.h"
#include "qz/qzurl.h"

namespace {

TEST(UrlEncodeForm, EscapesEverythingButTheSafeSet) {
    EXPECT_STREQ(QZ_UrlEncodeForm("a b&c=d/\xE9"), "a+b%26c%3Dd%2F%E9");
    EXPECT_STREQ(QZ_UrlEncodeForm("AZaz09_-.*"), "AZaz09_-.*");
    EXPECT_STREQ(QZ_UrlEncodeForm("~!'()+%\x01\x7F\xFF"), "%7E%21%27%28%29%2B%25%01%7F%FF");
    EXPECT_STREQ(QZ_UrlEncodeForm(""), "");
    EXPECT_STREQ(QZ_UrlEncodeForm(nullptr), "");
}

TEST(UrlEncodeForm, BudgetDropsEscapesThatNoLongerFit) {
    // 2046 letters leave 2 characters: the "&" is dropped, the letter after it fits.
    std::string text(2046, 'a');
    text += "&b";
    std::string expected(2046, 'a');
    expected += "b";
    EXPECT_EQ(std::string(QZ_UrlEncodeForm(text.c_str())), expected);

    // With 4 left an escape still fits; with 3 it does not.
    std::string four(2044, 'a');
    EXPECT_EQ(std::string(QZ_UrlEncodeForm((four + "&").c_str())), four + "%26");
    std::string three(2045, 'a');
    EXPECT_EQ(std::string(QZ_UrlEncodeForm((three + "&x").c_str())), three + "x");

    // The walk ends when the budget is spent.
    const std::string huge(5000, ' ');
    EXPECT_EQ(std::string(QZ_UrlEncodeForm(huge.c_str())), std::string(2048, '+'));
    const std::string escapes(5000, '/');
    const std::string encoded = QZ_UrlEncodeForm(escapes.c_str());
    EXPECT_EQ(encoded.size(), 2046u);  // 682 escapes; a 683rd would leave fewer than 4
}

// Both encoders at every room from 0 to 4 before a byte that needs an escape:
// the escape costs 3 and is written only while 4 or more remain, a dropped byte
// does not stop the walk, and with no room left nothing more is written.
struct RoomCase {
    size_t room;
    const char *tail;  // what follows the 2048 - room letters
};
constexpr RoomCase kRoomCases[] = {
    {0, ""}, {1, "x"}, {2, "x"}, {3, "x"}, {4, "%26x"},
};

TEST(UrlEncodeForm, EscapeAtEveryRemainingRoom) {
    for (const RoomCase &t : kRoomCases) {
        const std::string letters(2048 - t.room, 'a');
        EXPECT_EQ(std::string(QZ_UrlEncodeForm((letters + "&x").c_str())), letters + t.tail) << t.room;
    }
    // A blank costs 1 like a letter, so it still fits in the last place.
    EXPECT_EQ(std::string(QZ_UrlEncodeForm((std::string(2047, 'a') + " x").c_str())), std::string(2047, 'a') + "+");
}

TEST(UrlEncodePath, EscapeAtEveryRemainingRoom) {
    for (const RoomCase &t : kRoomCases) {
        const std::string letters(2048 - t.room, 'a');
        EXPECT_EQ(std::string(QZ_UrlEncodePath((letters + "&x").c_str())), letters + t.tail) << t.room;
    }
}

TEST(UrlEncodeForm, StringVariantHasNoLimitAndReplacesTheText) {
    QZ_CStr s;
    QZ_CStr_Init(&s);
    QZ_CStr_SetText(&s, "old text");
    EXPECT_STREQ(QZ_HTTP_EncodeFormValue(&s, "a b&c=d/\xE9"), "a+b%26c%3Dd%2F%E9");
    EXPECT_EQ(s.length, 17u);

    const std::string big(3000, '&');
    const std::string encoded = QZ_HTTP_EncodeFormValue(&s, big.c_str());
    EXPECT_EQ(encoded.size(), 9000u);
    EXPECT_EQ(encoded.substr(0, 6), "%26%26");
    EXPECT_EQ(s.length, 9000u);

    EXPECT_STREQ(QZ_HTTP_EncodeFormValue(&s, ""), "");
    EXPECT_STREQ(QZ_HTTP_EncodeFormValue(&s, nullptr), "");
    QZ_CStr_Free(&s);
}

TEST(UrlEncodePath, EncodesBeforeTheQueryAndCopiesTheQuery) {
    EXPECT_STREQ(QZ_UrlEncodePath("dir/my file.htm "), "dir/my%20file.htm");
    EXPECT_STREQ(QZ_UrlEncodePath("a b?x=1 2"), "a%20b?x=1 2");
    EXPECT_STREQ(QZ_UrlEncodePath("caf\xE9"), "caf%E9");
    EXPECT_STREQ(QZ_UrlEncodePath("http://srv:8080/a\\b/Hwendle.aspx?5,6,7,abc"),
                 "http://srv:8080/a\\b/Hwendle.aspx?5,6,7,abc");
    EXPECT_STREQ(QZ_UrlEncodePath("a&b#c"), "a%26b%23c");
}

TEST(UrlEncodePath, TrailingBlanksVanishBeforeTheQuery) {
    EXPECT_STREQ(QZ_UrlEncodePath("a b   ?q= 1 "), "a%20b?q= 1 ");
    EXPECT_STREQ(QZ_UrlEncodePath("   "), "");
    EXPECT_STREQ(QZ_UrlEncodePath(" x"), "%20x");
}

TEST(UrlEncodePath, BudgetHoldsForBothParts) {
    std::string text(2047, 'a');
    text += "\xE9z";  // one character left: the escape is dropped, z still fits
    std::string expected(2047, 'a');
    expected += "z";
    EXPECT_EQ(std::string(QZ_UrlEncodePath(text.c_str())), expected);

    const std::string withQuery = std::string(2040, 'a') + "?" + std::string(100, 'q');
    const std::string result = QZ_UrlEncodePath(withQuery.c_str());
    EXPECT_EQ(result.size(), 2048u);
    EXPECT_EQ(result.substr(2040, 2), "?q");
}

TEST(UrlDecodeHex, DecodesEscapesAndCopiesTheRest) {
    EXPECT_STREQ(QZ_UrlDecodeHex("a%20b+c%2f%2F"), "a b+c//");
    EXPECT_STREQ(QZ_UrlDecodeHex("%41%4a%4B"), "AJK");
    EXPECT_STREQ(QZ_UrlDecodeHex("100%"), "100%");
    EXPECT_STREQ(QZ_UrlDecodeHex("%zz"), "%zz");
    // One digit gives its byte, and the character after it is consumed too.
    EXPECT_STREQ(QZ_UrlDecodeHex("%4zA"), "\x04" "A");
    // A single digit at the very end: nothing past the terminator is read.
    EXPECT_STREQ(QZ_UrlDecodeHex("x%4"), "x\x04");
    EXPECT_STREQ(QZ_UrlDecodeHex(nullptr), "");

    const std::string huge(3000, 'x');
    EXPECT_EQ(std::string(QZ_UrlDecodeHex(huge.c_str())).size(), 2048u);
}

}  // namespace
