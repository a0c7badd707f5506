// Document encodings: the "ANSI" encoding, forced encodings, UTF-16.

#include <gtest/gtest.h>

#include <string>

#include "test_xmlreader_support.h"

using xrtest::Reader;

TEST(XmlReaderEncodings, AnsiDocuments) {
    // Windows-1252: 80 is the euro sign, E9 e-acute, 9F Y-diaeresis.
    const char *doc = "<?xml version='1.0' encoding='ANSI'?><r a='\x9F'>\x80\xE9</r>";
    Reader utf8;
    QZ_XMLReaderSetNodeEncoding(utf8.get(), "UTF-8");
    QZ_XMLReaderOpenFromString(utf8.get(), doc);
    ASSERT_TRUE(QZ_XMLReaderRead(utf8.get()));
    EXPECT_STREQ(XMLReaderGetValue(utf8.get()), "\xE2\x82\xAC\xC3\xA9");
    EXPECT_STREQ(XMLReaderGetAttributeValue(utf8.get(), 1), "\xC5\xB8");

    Reader ansi;
    QZ_XMLReaderOpenFromString(ansi.get(), doc);
    ASSERT_TRUE(QZ_XMLReaderRead(ansi.get()));
    EXPECT_EQ(xrtest::Value(ansi.get()), "\x80\xE9");
    char buffer[8];
    EXPECT_STREQ(QZ_XMLReaderGetAttributeValue(ansi.get(), buffer, 1, 7), "\x9F");

    // The name is exact: any other unknown encoding is refused by the parser.
    Reader other;
    QZ_XMLReaderOpenFromString(other.get(), "<?xml version='1.0' encoding='ansi'?><r/>");
    EXPECT_FALSE(QZ_XMLReaderRead(other.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(other.get()), 18); // XML_ERROR_UNKNOWN_ENCODING
    EXPECT_EQ(xrtest::ErrorText(other.get()), "unknown encoding");
}

TEST(XmlReaderEncodings, ForcedDocumentEncoding) {
    // Set before opening: the parser reads the bytes in that encoding.
    Reader forced;
    QZ_XMLReaderSetDocumentEncoding(forced.get(), "ANSI");
    QZ_XMLReaderSetNodeEncoding(forced.get(), "UTF-8");
    QZ_XMLReaderOpenFromString(forced.get(), "<r>\x80</r>");
    ASSERT_TRUE(QZ_XMLReaderRead(forced.get()));
    EXPECT_STREQ(XMLReaderGetValue(forced.get()), "\xE2\x82\xAC");

    // Just after opening it still applies; once reading it is ignored.
    Reader opened;
    QZ_XMLReaderSetNodeEncoding(opened.get(), "UTF-8");
    QZ_XMLReaderOpenFromString(opened.get(), "<r>\xE9</r>");
    QZ_XMLReaderSetDocumentEncoding(opened.get(), "ISO-8859-1");
    ASSERT_TRUE(QZ_XMLReaderRead(opened.get()));
    EXPECT_STREQ(XMLReaderGetValue(opened.get()), "\xC3\xA9");
    QZ_XMLReaderSetDocumentEncoding(opened.get(), "UTF-16");
    EXPECT_STREQ(opened->documentEncoding, "ISO-8859-1");
    // At most ten characters are kept.
    Reader longName;
    QZ_XMLReaderSetDocumentEncoding(longName.get(), "ABCDEFGHIJKLMN");
    EXPECT_STREQ(longName->documentEncoding, "ABCDEFGHIJ");
}

TEST(XmlReaderEncodings, Utf16AndLatin1) {
    const std::string ascii = "<r k='v'>x</r>";
    std::string le = "\xFF\xFE";
    for (char c : ascii) {
        le += c;
        le += '\0';
    }
    Reader reader;
    QZ_XMLReaderOpenBuffer(reader.get(), le.data(), static_cast<uint32_t>(le.size()));
    EXPECT_EQ(xrtest::Stream(reader.get()), "E:r@k=v=x");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);

    Reader latin;
    QZ_XMLReaderOpenFromString(latin.get(), "<?xml version='1.0' encoding='ISO-8859-1'?><r>\xE9\x80</r>");
    QZ_XMLReaderSetNodeEncoding(latin.get(), "UTF-8");
    ASSERT_TRUE(QZ_XMLReaderRead(latin.get()));
    EXPECT_STREQ(XMLReaderGetValue(latin.get()), "\xC3\xA9\xC2\x80");
}
