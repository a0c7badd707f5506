// Names, attributes and values of the current node: pointer and buffer forms,
// trimming, node encodings and buffer bounds.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <memory>
#include <string>

#include "qz/qzconv.h"
#include "test_xmlreader_support.h"

using xrtest::Reader;
using xrtest::TempFile;

TEST(XmlReaderValues, TrimmingAndLineEnds) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a>  ab\n</a><b>1\n2</b>\t<c> </c></r>");
    QZ_XMLReaderRead(reader.get());
    QZ_XMLReaderRead(reader.get());
    EXPECT_EQ(xrtest::Value(reader.get()), "ab");
    QZ_XMLReaderSetRmWhite(reader.get(), 0);
    EXPECT_EQ(xrtest::Value(reader.get()), "  ab\n");
    QZ_XMLReaderSetRmWhite(reader.get(), 1);
    QZ_XMLReaderRead(reader.get());
    EXPECT_EQ(xrtest::Value(reader.get()), "1\n2");
    QZ_XMLReaderSetLinesNormalization(reader.get(), 2);
    EXPECT_EQ(xrtest::Value(reader.get()), "1\r\n2");
    QZ_XMLReaderRead(reader.get());
    EXPECT_EQ(XMLReaderGetValue(reader.get()), nullptr); // <c>: whitespace only, no Text
    EXPECT_EQ(xrtest::Value(reader.get()), "");

    // WhiteSpace nodes are not trimmed; end tags have no value.
    Reader ws;
    QZ_XMLReaderSetRmWNodes(ws.get(), 0);
    QZ_XMLReaderOpenFromString(ws.get(), "<r> \t<a/></r>");
    QZ_XMLReaderRead(ws.get());
    QZ_XMLReaderRead(ws.get());
    ASSERT_EQ(QZ_XMLReaderGetNodeType(ws.get()), QZ_XMLNODE_WHITESPACE);
    EXPECT_EQ(xrtest::Value(ws.get()), " \t");
    QZ_XMLReaderRead(ws.get());
    QZ_XMLReaderRead(ws.get());
    ASSERT_EQ(QZ_XMLReaderGetNodeType(ws.get()), QZ_XMLNODE_ENDTAG);
    EXPECT_EQ(XMLReaderGetValue(ws.get()), nullptr);

    int32_t first = -1;
    int32_t last = -1;
    EXPECT_EQ(GetStartEndWithoutWhites(" \tab c\r\n", &first, &last), 5);
    EXPECT_EQ(first, 2);
    EXPECT_EQ(last, 5);
    EXPECT_EQ(GetStartEndWithoutWhites("   ", &first, &last), 2);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(last, 0);
}

TEST(XmlReaderValues, NamespacedNames) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(),
                               "<p:item xmlns:p='urn:x' p:k='1' plain='2'><q:in xmlns:q='urn:x'/><p:in/></p:item>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    char buffer[64];
    EXPECT_STREQ(QZ_XMLReaderGetElementName(reader.get(), buffer, 63), "p:item");
    EXPECT_STREQ(QZ_XMLReaderGetElementLocalName(reader.get(), buffer, 63), "item");
    EXPECT_STREQ(QZ_XMLReaderGetElementPrefix(reader.get(), buffer, 63), "p");
    EXPECT_STREQ(XMLReaderGetElementURI(reader.get()), "urn:x");
    EXPECT_EQ(QZ_XMLReaderGetLengthName(reader.get()), 6);
    // Declarations are not attributes.
    ASSERT_EQ(QZ_XMLReaderGetAttributeCount(reader.get()), 2);
    EXPECT_STREQ(QZ_XMLReaderGetAttributeName(reader.get(), buffer, 1, 63), "p:k");
    EXPECT_STREQ(XMLReaderGetAttributeURI(reader.get(), 1), "urn:x");
    EXPECT_STREQ(XMLReaderGetAttributePrefix(reader.get(), 2), "");
    EXPECT_EQ(QZ_XMLReaderGetLengthAttName(reader.get(), 1), 3);
    EXPECT_EQ(QZ_XMLReaderGetAttIndex(reader.get(), "plain"), 2);
    EXPECT_EQ(QZ_XMLReaderGetAttIndex(reader.get(), "PLAIN"), 0);
    EXPECT_EQ(QZ_XMLReaderGetAttIndex(reader.get(), "k"), 0);
    EXPECT_TRUE(QZ_XMLReaderExistsAttribute(reader.get(), "p:k"));
    EXPECT_STREQ(QZ_XMLReaderGetAttributeValueByName(reader.get(), buffer, "plain", 63), "2");
    EXPECT_STREQ(QZ_XMLReaderGetAttributeValue(reader.get(), buffer, 0, 63), "");
    EXPECT_STREQ(QZ_XMLReaderGetAttributeValue(reader.get(), buffer, 3, 63), "");
    EXPECT_EQ(XMLReaderGetAttributeLocalName(reader.get(), 3), nullptr);
    EXPECT_EQ(QZ_XMLReaderGetLengthAttName(reader.get(), 0), 0);

    // The same URI bound twice: the prefix declared last, whatever the document used.
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(xrtest::Name(reader.get()), "q:in");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(xrtest::Name(reader.get()), "p:in"); // q's scope has ended
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    ASSERT_EQ(QZ_XMLReaderGetNodeType(reader.get()), QZ_XMLNODE_ENDTAG);
    EXPECT_EQ(xrtest::Name(reader.get()), "p:item");
    EXPECT_STREQ(XMLReaderGetElementURI(reader.get()), "urn:x");

    Reader twice;
    QZ_XMLReaderOpenFromString(twice.get(), "<a:r xmlns:a='u' xmlns:b='u'><a:x/></a:r>");
    QZ_XMLReaderRead(twice.get());
    EXPECT_EQ(xrtest::Name(twice.get()), "b:r");
}

TEST(XmlReaderValues, NodeEncodingAndBounds) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r \xC3\xA9='\xE2\x82\xAC'>\xC3\xA9t\xC3\xA9</r>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_TRUE(XMLReaderAnsiNodeEncoding(reader.get()));
    char buffer[16];
    EXPECT_STREQ(QZ_XMLReaderGetValue(reader.get(), buffer, 15), "\xE9t\xE9");
    EXPECT_STREQ(QZ_XMLReaderGetAttributeName(reader.get(), buffer, 1, 15), "\xE9");
    EXPECT_STREQ(QZ_XMLReaderGetAttributeValue(reader.get(), buffer, 1, 15), "\x80");
    EXPECT_EQ(QZ_XMLReaderGetAttIndex(reader.get(), "\xE9"), 1);
    std::memset(buffer, 'z', sizeof buffer);
    QZ_XMLReaderGetValue(reader.get(), buffer, 0);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], 'z');
    QZ_XMLReaderGetValue(reader.get(), buffer, 2);
    EXPECT_STREQ(buffer, "\xE9t");
    EXPECT_EQ(buffer[3], 'z');
    // A negative maximum writes nothing.
    QZ_XMLReaderGetElementName(reader.get(), buffer, -1);
    EXPECT_EQ(buffer[0], '\xE9');

    QZ_XMLReaderSetNodeEncoding(reader.get(), "utf-8"); // not exactly "UTF-8": ignored
    EXPECT_TRUE(XMLReaderAnsiNodeEncoding(reader.get()));
    QZ_XMLReaderSetNodeEncoding(reader.get(), "UTF-8");
    EXPECT_FALSE(XMLReaderAnsiNodeEncoding(reader.get()));
    EXPECT_STREQ(QZ_XMLReaderGetValue(reader.get(), buffer, 15), "\xC3\xA9t\xC3\xA9");
    EXPECT_STREQ(XMLReaderGetAttributeValue(reader.get(), 1), "\xE2\x82\xAC");

    // Qualified names stay within max.
    Reader names;
    QZ_XMLReaderOpenFromString(names.get(), "<pre:local xmlns:pre='u'/>");
    QZ_XMLReaderRead(names.get());
    EXPECT_STREQ(QZ_XMLReaderGetElementName(names.get(), buffer, 3), "pre");
    EXPECT_STREQ(QZ_XMLReaderGetElementName(names.get(), buffer, 4), "pre:");
    EXPECT_STREQ(QZ_XMLReaderGetElementName(names.get(), buffer, 6), "pre:lo");
}

TEST(XmlReaderValues, ProcessingInstructionsAndDocType) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<!DOCTYPE root><?tgt some data?><root/>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(QZ_XMLReaderGetNodeType(reader.get()), QZ_XMLNODE_DOCTYPE);
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "root");
    EXPECT_EQ(XMLReaderGetElementLocalName(reader.get()), nullptr);
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(xrtest::Name(reader.get()), "tgt");
    EXPECT_STREQ(XMLReaderGetElementLocalName(reader.get()), "tgt");
    EXPECT_EQ(XMLReaderGetElementPrefix(reader.get()), nullptr);
    EXPECT_EQ(QZ_XMLReaderGetLengthName(reader.get()), 4);
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "some data");
}

TEST(XmlReaderValues, UnparsedEntities) {
    char dir[] = "/tmp/qzxrdirXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/doc.xml";
    auto doc = std::make_unique<TempFile>("<!DOCTYPE r [<!NOTATION gif SYSTEM 'viewer'>"
                                          "<!ENTITY pic SYSTEM 'img/p.gif' NDATA gif>"
                                          "<!ENTITY abs SYSTEM 'http://h/x.gif' NDATA gif>"
                                          "<!ENTITY pic SYSTEM 'other.gif' NDATA gif>"
                                          "<!ATTLIST r src ENTITY #IMPLIED other ENTITY #IMPLIED>]>"
                                          "<r src='pic' other='abs' none='zzz'/>",
                                          path);
    {
        Reader reader;
        ASSERT_TRUE(QZ_XMLReaderOpen(reader.get(), path.c_str()));
        ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
        ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
        ASSERT_EQ(xrtest::Name(reader.get()), "r");
        char buffer[300];
        EXPECT_EQ(std::string(QZ_XMLReaderGetAttEntityValue(reader.get(), buffer, 1, 299)),
                  std::string(dir) + "/img/p.gif");
        EXPECT_STREQ(QZ_XMLReaderGetAttEntityNotation(reader.get(), buffer, 1, 299), "gif");
        EXPECT_EQ(QZ_XMLReaderGetAttEntityNotationLength(reader.get(), 1), 3);
        EXPECT_STREQ(QZ_XMLReaderGetAttEntityValueByName(reader.get(), buffer, "other", 299), "http://h/x.gif");
        EXPECT_STREQ(QZ_XMLReaderGetAttEntityNotationByName(reader.get(), buffer, "other", 2), "gi");
        EXPECT_EQ(XMLReaderGetAttEntityValue(reader.get(), 3), nullptr);
        EXPECT_EQ(QZ_XMLReaderGetAttEntityNotationLength(reader.get(), 3), 0);
        EXPECT_STREQ(QZ_XMLReaderGetAttEntityNotation(reader.get(), buffer, 3, 299), "");
    }
    doc.reset();
    rmdir(dir);
}

TEST(XmlReaderValues, NothingAfterAnErrorOrWhenClosed) {
    Reader reader;
    char buffer[32] = "x";
    EXPECT_STREQ(QZ_XMLReaderGetValue(reader.get(), buffer, 31), "");
    EXPECT_EQ(QZ_XMLReaderGetNodeType(reader.get()), 0);
    QZ_XMLReaderOpenFromString(reader.get(), "<r a='1'>x</r><");
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get()));
    EXPECT_NE(QZ_XMLReaderErrorCode(reader.get()), 0);
    EXPECT_EQ(QZ_XMLReaderGetAttributeCount(reader.get()), 0);
    EXPECT_EQ(XMLReaderGetValue(reader.get()), nullptr);
    EXPECT_STREQ(QZ_XMLReaderGetElementName(reader.get(), buffer, 31), "");
    EXPECT_EQ(QZ_XMLReaderGetNodeType(reader.get()), 0);
}

namespace {

// What the buffer forms must give: the library conversion of the text (its
// trimmed span for Text and Element values with RmWhite).
std::string Reference(QZ_XmlReader *r, const char *utf8, int32_t max, bool value) {
    std::string text = utf8 != nullptr ? utf8 : "";
    const int16_t type = QZ_XMLReaderGetNodeType(r);
    if (value && QZ_XMLReaderGetRmWhite(r) && (type == QZ_XMLNODE_TEXT || type == QZ_XMLNODE_ELEMENT)) {
        const size_t first = text.find_first_not_of(" \r\n\t");
        text = first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \r\n\t") - first + 1);
    }
    const char *crlf = value && QZ_XMLReaderGetLinesNormalization(r) == 2 ? "\r\n" : nullptr;
    std::string out(static_cast<size_t>(max) + 1, '\x7F');
    if (XMLReaderAnsiNodeEncoding(r))
        Utf8ToAnsiReplace(out.data(), text.c_str(), '\n', crlf, max);
    else
        QZ_CharReplace(out.data(), text.c_str(), '\n', crlf, max);
    return out.c_str();
}

} // namespace

// The buffer forms copy ASCII directly and leave the rest to the library
// conversions: for every mix of ASCII, other characters and line feeds, at
// every size of buffer, in both node encodings, the result is the
// conversion's own.
TEST(XmlReaderValues, BufferFormsEqualTheConversions) {
    const char *pieces[] = {"a", "bcdefghij", " ", "\n", "\r\n", "\t", "\xC3\xA9", "\xE2\x82\xAC", "\xE4\xB8\xAD",
                            "\xF0\x9F\x98\x80", "&amp;", "\xC2\x80", "\xC5\xB8", "0123456789abcdef"};
    std::mt19937 random(7);
    for (int round = 0; round < 80; ++round) {
        std::string text;
        const int count = static_cast<int>(random() % 12);
        for (int i = 0; i < count; ++i) text += pieces[random() % (sizeof pieces / sizeof pieces[0])];
        const std::string doc = "<r><p:e xmlns:p='urn:\xC3\xA9' p:a='" + text + "' b='" + text + "'>" + text +
                                "</p:e><m>" + text + "<x/>" + text + "</m><?pi " + text + "?><!--" + text + "--></r>";
        for (int mode = 0; mode < 8; ++mode) {
            Reader reader;
            QZ_XMLReaderSetNodeEncoding(reader.get(), (mode & 1) ? "UTF-8" : "ANSI");
            QZ_XMLReaderSetRmWhite(reader.get(), (mode >> 1) & 1);
            QZ_XMLReaderSetLinesNormalization(reader.get(), (mode & 4) ? 2 : 1);
            QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
            while (QZ_XMLReaderRead(reader.get())) {
                const char *value = XMLReaderGetValue(reader.get());
                const size_t longest = (value != nullptr ? std::strlen(value) : 0) * 2 + 3;
                for (int32_t max = 0; max <= static_cast<int32_t>(longest); ++max) {
                    std::string got(static_cast<size_t>(max) + 1, '\x7F');
                    QZ_XMLReaderGetValue(reader.get(), got.data(), max);
                    ASSERT_EQ(std::string(got.c_str()), Reference(reader.get(), value, max, true))
                        << "mode " << mode << " max " << max << " text [" << text << "]";
                    for (int16_t i = 1; i <= QZ_XMLReaderGetAttributeCount(reader.get()); ++i) {
                        QZ_XMLReaderGetAttributeValue(reader.get(), got.data(), i, max);
                        ASSERT_EQ(std::string(got.c_str()),
                                  Reference(reader.get(), XMLReaderGetAttributeValue(reader.get(), i), max, false));
                        QZ_XMLReaderGetAttributeLocalName(reader.get(), got.data(), i, max);
                        ASSERT_EQ(std::string(got.c_str()),
                                  Reference(reader.get(), XMLReaderGetAttributeLocalName(reader.get(), i), max, false));
                    }
                    QZ_XMLReaderGetElementURI(reader.get(), got.data(), max);
                    ASSERT_EQ(std::string(got.c_str()), Reference(reader.get(), XMLReaderGetElementURI(reader.get()), max, false));
                }
            }
            EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
        }
    }
}

// The buffer forms copy a text that needs no conversion in one move: a run of
// ASCII of every length (so ending at every offset of the eight-byte steps),
// then nothing, a two-byte character, a three-byte character found in the
// 80-9F table, or one that Windows-1252 lacks, cut at every maximum. Nothing
// is written past the terminator.
TEST(XmlReaderValues, AsciiRunsOfEveryLengthAndWhatEndsThem) {
    struct Tail {
        const char *utf8;
        const char *ansi;
        bool inNames;
    };
    const Tail tails[] = {{"", "", true},
                          {"\xC3\xA9", "\xE9", true},
                          {"\xE2\x82\xAC", "\x80", false},
                          {"\xE2\x98\x83", "?", false}};
    auto check = [](const char *what, const std::string &expected, const std::string &buffer, int32_t max) {
        const size_t end = std::strlen(buffer.c_str());
        ASSERT_EQ(std::string(buffer.c_str()), expected) << what << " max " << max;
        for (size_t i = end + 1; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], '\x7F') << what << " max " << max << ": byte " << i << " written past the end";
    };
    for (size_t length = 0; length <= 20; ++length) {
        std::string run;
        for (size_t i = 0; i < length; ++i) run += static_cast<char>('a' + (i * 7) % 26);
        for (const Tail &tail : tails) {
            const std::string value = run + tail.utf8;
            const std::string name = "n" + run + (tail.inNames ? tail.utf8 : "");
            const std::string doc = "<p:" + name + " xmlns:p='urn:u' p:" + name + "='" + value + "'>" + value +
                                    "</p:" + name + ">";
            for (const bool ansi : {true, false}) {
                const std::string valueOut = ansi ? run + tail.ansi : value;
                const std::string nameOut = ansi ? "n" + run + (tail.inNames ? tail.ansi : "") : name;
                Reader reader;
                QZ_XMLReaderSetNodeEncoding(reader.get(), ansi ? "ANSI" : "UTF-8");
                QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
                ASSERT_EQ(QZ_XMLReaderRead(reader.get()), 1) << doc;
                ASSERT_EQ(QZ_XMLReaderGetLengthName(reader.get()), static_cast<int32_t>(1 + name.size() + 1));
                ASSERT_EQ(QZ_XMLReaderGetLengthAttName(reader.get(), 1), static_cast<int32_t>(1 + name.size() + 1));
                for (int32_t max = 0; max <= static_cast<int32_t>(value.size() + name.size()) + 4; ++max) {
                    const auto m = static_cast<size_t>(max);
                    std::string buffer(m + 9, '\x7F');
                    QZ_XMLReaderGetValue(reader.get(), buffer.data(), max);
                    check("value", valueOut.substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetAttributeValue(reader.get(), buffer.data(), 1, max);
                    check("attribute value", valueOut.substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetElementName(reader.get(), buffer.data(), max);
                    check("name", ("p:" + nameOut).substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetAttributeName(reader.get(), buffer.data(), 1, max);
                    check("attribute name", ("p:" + nameOut).substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetElementLocalName(reader.get(), buffer.data(), max);
                    check("local name", nameOut.substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetAttributeLocalName(reader.get(), buffer.data(), 1, max);
                    check("attribute local name", nameOut.substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetElementPrefix(reader.get(), buffer.data(), max);
                    check("prefix", std::string("p").substr(0, m), buffer, max);
                    buffer.assign(m + 9, '\x7F');
                    QZ_XMLReaderGetAttributeURI(reader.get(), buffer.data(), 1, max);
                    check("attribute URI", std::string("urn:u").substr(0, m), buffer, max);
                }
                char found[64];
                std::snprintf(found, sizeof found, "p:%s", nameOut.c_str());
                EXPECT_EQ(QZ_XMLReaderGetAttIndex(reader.get(), found), 1);
                // The end tag has the same name parts, read from its own record.
                ASSERT_EQ(QZ_XMLReaderRead(reader.get()), 0); // simple element: nothing after it
            }
        }
    }
}

// Line feeds that LinesNormalization 2 expands stop the direct copy wherever
// they stand, and a pair that no longer fits is left out.
TEST(XmlReaderValues, LineFeedAtEveryOffsetWithExpansion) {
    for (size_t at = 0; at <= 17; ++at) {
        std::string text(18, 'x');
        text[at] = '\n';
        text = "a" + text + "z"; // kept clear of the trimmed edges
        std::string expanded = text;
        expanded.replace(at + 1, 1, "\r\n");
        for (const char *encoding : {"ANSI", "UTF-8"}) {
            Reader reader;
            QZ_XMLReaderSetNodeEncoding(reader.get(), encoding);
            QZ_XMLReaderSetLinesNormalization(reader.get(), 2);
            QZ_XMLReaderOpenFromString(reader.get(), ("<r>" + text + "</r>").c_str());
            ASSERT_EQ(QZ_XMLReaderRead(reader.get()), 1);
            for (int32_t max = 0; max <= static_cast<int32_t>(expanded.size()) + 2; ++max) {
                std::string expected = expanded.substr(0, static_cast<size_t>(max));
                if (static_cast<size_t>(max) == at + 2) expected.pop_back(); // only the CR would fit
                std::string buffer(static_cast<size_t>(max) + 1, '\x7F');
                QZ_XMLReaderGetValue(reader.get(), buffer.data(), max);
                ASSERT_EQ(std::string(buffer.c_str()), expected) << encoding << " at " << at << " max " << max;
            }
        }
    }
}
