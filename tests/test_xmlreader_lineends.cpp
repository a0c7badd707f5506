// LinesNormalization: line ends as they stand in the document (0), normalised
// (1), and normalised then handed out as CR LF (2).

#include <gtest/gtest.h>

#include <string>

#include "test_xmlreader_support.h"

using xrtest::Reader;

namespace {

std::string RawStream(const std::string &doc, int16_t lines, uint32_t block = 5120) {
    Reader reader(block, 16);
    QZ_XMLReaderSetLinesNormalization(reader.get(), lines);
    QZ_XMLReaderSetRmWhite(reader.get(), 0);
    QZ_XMLReaderSetNodeEncoding(reader.get(), "UTF-8");
    QZ_XMLReaderOpenBuffer(reader.get(), doc.data(), static_cast<uint32_t>(doc.size()));
    std::string s = xrtest::Stream(reader.get());
    if (QZ_XMLReaderErrorCode(reader.get()) != 0) s += "|error " + xrtest::ErrorText(reader.get());
    return s;
}

const std::string kDoc = "<r>a\r\nb\rc\nd<![CDATA[x\r\ny\rz\n]]><!--m\r\nn\ro--><?t\r\n d1\r\ne\rf?></r>";

} // namespace

TEST(XmlReaderLineEnds, OffKeepsTheDocumentsLineEnds) {
    EXPECT_EQ(RawStream(kDoc, 0), "E:r|T:a\r\nb\rc\nd|D:x\r\ny\rz\n|C:m\r\nn\ro|P:t=d1\r\ne\rf|/r");
}

TEST(XmlReaderLineEnds, OnNormalises) {
    EXPECT_EQ(RawStream(kDoc, 1), "E:r|T:a\nb\nc\nd|D:x\ny\nz\n|C:m\nn\no|P:t=d1\ne\nf|/r");
    // 2: the nodes hold line feeds, values are handed out with CR LF.
    EXPECT_EQ(RawStream(kDoc, 2), "E:r|T:a\r\nb\r\nc\r\nd|D:x\r\ny\r\nz\r\n|C:m\r\nn\r\no|P:t=d1\r\ne\r\nf|/r");
    Reader reader;
    QZ_XMLReaderSetLinesNormalization(reader.get(), 2);
    QZ_XMLReaderOpenFromString(reader.get(), "<r>a\r\nb</r>");
    QZ_XMLReaderRead(reader.get());
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "a\nb");
    // A CR LF pair that no longer fits is left out.
    char buffer[8];
    EXPECT_STREQ(QZ_XMLReaderGetValue(reader.get(), buffer, 2), "a");
    EXPECT_STREQ(QZ_XMLReaderGetValue(reader.get(), buffer, 3), "a\r\n");
}

TEST(XmlReaderLineEnds, CrLfSplitAcrossBlocks) {
    // Every block size puts a block boundary at every place once, among
    // them between the carriage return and the line feed of each pair.
    const std::string expected = RawStream(kDoc, 0);
    for (uint32_t block = 2; block <= 40; ++block)
        EXPECT_EQ(RawStream(kDoc, 0, block), expected) << "block " << block;
    const std::string normalised = RawStream(kDoc, 1);
    for (uint32_t block = 2; block <= 40; ++block)
        EXPECT_EQ(RawStream(kDoc, 1, block), normalised) << "block " << block;
}

TEST(XmlReaderLineEnds, ReferencesAndEntitiesAreNotLineEnds) {
    // Character references give exactly their character.
    EXPECT_EQ(RawStream("<r>a&#13;&#10;b&#10;c&#13;</r>", 0), "E:r=a\r\nb\nc\r");
    EXPECT_EQ(RawStream("<r>a&#13;&#10;b</r>", 1), "E:r=a\r\nb");
    // An internal entity's text was normalised where it was declared.
    EXPECT_EQ(RawStream("<!DOCTYPE r [<!ENTITY e 'p\r\nq'>]><r>&e;\r\n</r>", 0), "!:r|E:r=p\nq\r\n");
}

TEST(XmlReaderLineEnds, SwitchTakesEffectAtOnce) {
    Reader reader(4, 16);
    QZ_XMLReaderSetRmWhite(reader.get(), 0);
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a>1\r\n2</a><b>3\r\n4</b></r>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "1\n2");
    // <b> has not been parsed yet with blocks of 3 bytes.
    QZ_XMLReaderSetLinesNormalization(reader.get(), 0);
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "3\r\n4");
}

TEST(XmlReaderLineEnds, Utf16Documents) {
    const std::string ascii = "<r>a\r\nb<!--c\r\nd--><?p x\r\ny?></r>";
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (char c : ascii) {
        le += c;
        le += '\0';
        be += '\0';
        be += c;
    }
    EXPECT_EQ(RawStream(le, 0), "E:r|T:a\r\nb|C:c\r\nd|P:p=x\r\ny|/r");
    EXPECT_EQ(RawStream(be, 0), "E:r|T:a\r\nb|C:c\r\nd|P:p=x\r\ny|/r");
    EXPECT_EQ(RawStream(le, 1), "E:r|T:a\nb|C:c\nd|P:p=x\ny|/r");
    for (uint32_t block = 2; block <= 12; ++block)
        EXPECT_EQ(RawStream(le, 0, block), "E:r|T:a\r\nb|C:c\r\nd|P:p=x\r\ny|/r") << "block " << block;
}
