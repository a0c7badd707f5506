// Node streams of small documents, byte for byte, and the options that shape them.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "qz/qzpgmmem.h"
#include "test_xmlreader_support.h"

using xrtest::Reader;
using xrtest::StreamOf;

TEST(XmlReaderStream, SimpleElementsAreOneItem) {
    EXPECT_EQ(StreamOf("<r><a>x</a><b k='1'>y z</b></r>"), "E:r|E:a=x|E:b@k=1=y z|/r");
    // Whitespace only inside: simple, without a value.
    EXPECT_EQ(StreamOf("<r><a>  </a><e/></r>"), "E:r|E:a=|E:e=|/r");

    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a>x</a></r>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_FALSE(QZ_XMLReaderIsSimple(reader.get()));
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_TRUE(QZ_XMLReaderIsSimple(reader.get()));
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "x");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(QZ_XMLReaderGetNodeType(reader.get()), QZ_XMLNODE_ENDTAG); // past </a>, on </r>
    EXPECT_EQ(xrtest::Name(reader.get()), "r");
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
    EXPECT_TRUE(QZ_XMLReaderGetEOF(reader.get()));
}

TEST(XmlReaderStream, SimpleElementsOff) {
    Reader reader;
    QZ_XMLReaderSetSimpleElements(reader.get(), 0);
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a>x</a></r>");
    EXPECT_EQ(xrtest::Stream(reader.get()), "E:r|E:a|T:x|/a|/r");
}

TEST(XmlReaderStream, MixedContentIsNotSimple) {
    EXPECT_EQ(StreamOf("<r>text<c/>tail</r>"), "E:r|T:text|E:c=|T:tail|/r");
    EXPECT_EQ(StreamOf("<r><a>t<!--c--></a></r>"), "E:r|E:a|T:t|C:c|/a|/r");
}

TEST(XmlReaderStream, WhiteSpaceNodes) {
    const char *doc = "<r>\n <a/>\t</r>";
    EXPECT_EQ(StreamOf(doc), "E:r|E:a=|/r");
    Reader reader;
    QZ_XMLReaderSetRmWNodes(reader.get(), 0);
    QZ_XMLReaderOpenFromString(reader.get(), doc);
    EXPECT_EQ(xrtest::Stream(reader.get()), "E:r|W:\n |E:a=|W:\t|/r");
}

TEST(XmlReaderStream, ConstraintsAndTheirReset) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a>1</a><b>2</b></r>");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    QZ_XMLReaderSetNodeConstr(reader.get(), QZ_XMLNODE_ELEMENT);
    QZ_XMLReaderSetNameConstr(reader.get(), "a");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(xrtest::Name(reader.get()), "a");
    // Reset after that read: any node again.
    EXPECT_EQ(QZ_XMLReaderGetNodeConstr(reader.get()), -1);
    char buffer[10];
    EXPECT_STREQ(QZ_XMLReaderGetNameConstr(reader.get(), buffer, 9), "");

    QZ_XMLReaderSetNodeConstr(reader.get(), QZ_XMLNODE_ELEMENT);
    QZ_XMLReaderSetNameConstr(reader.get(), "a");
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get())); // on <b>
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 8);
    EXPECT_EQ(xrtest::ErrorText(reader.get()), "Unexpected node");
    EXPECT_EQ(QZ_XMLReaderGetNodeConstr(reader.get()), -1);
    EXPECT_TRUE(QZ_XMLReaderGetEOF(reader.get()));
    EXPECT_FALSE(QZ_XMLReaderRead(reader.get()));

    Reader onEnd;
    QZ_XMLReaderOpenFromString(onEnd.get(), "<r><a>1</a></r>");
    QZ_XMLReaderRead(onEnd.get());
    QZ_XMLReaderRead(onEnd.get());
    QZ_XMLReaderSetNodeConstr(onEnd.get(), QZ_XMLNODE_ELEMENT);
    QZ_XMLReaderSetNameConstr(onEnd.get(), "r");
    EXPECT_FALSE(QZ_XMLReaderRead(onEnd.get())); // the end tag </r>
    EXPECT_EQ(QZ_XMLReaderErrorCode(onEnd.get()), 8);

    Reader keep;
    QZ_XMLReaderSetResConstr(keep.get(), 0);
    QZ_XMLReaderSetNodeConstr(keep.get(), 0); // 0 means all types
    EXPECT_EQ(QZ_XMLReaderGetNodeConstr(keep.get()), -1);
    QZ_XMLReaderSetNodeConstr(keep.get(), QZ_XMLNODE_ELEMENT | QZ_XMLNODE_ENDTAG);
    QZ_XMLReaderOpenFromString(keep.get(), "<r><a>1</a></r>");
    QZ_XMLReaderRead(keep.get());
    EXPECT_EQ(QZ_XMLReaderGetNodeConstr(keep.get()), QZ_XMLNODE_ELEMENT | QZ_XMLNODE_ENDTAG);
}

TEST(XmlReaderStream, ReadTypeMovesToTheNamedNode) {
    Reader reader;
    QZ_XMLReaderSetNodeEncoding(reader.get(), "UTF-8");
    QZ_XMLReaderOpenFromString(reader.get(),
                               "<r xmlns:p='urn:p'><!--x--><p:a>1</p:a><a>2</a><?pi d?><p:a>3</p:a></r>");
    ASSERT_TRUE(QZ_XMLReaderReadType(reader.get(), QZ_XMLNODE_ELEMENT, "a"));
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "2");
    ASSERT_TRUE(QZ_XMLReaderReadType(reader.get(), QZ_XMLNODE_ELEMENT, "p:a"));
    EXPECT_STREQ(XMLReaderGetValue(reader.get()), "3");
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
    EXPECT_FALSE(QZ_XMLReaderReadType(reader.get(), QZ_XMLNODE_COMMENT, ""));
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);

    Reader valid;
    QZ_XMLReaderOpenFromString(valid.get(), "<r><a/><b>x</b><b>y</b></r>");
    QZ_XMLReaderSetNodeConstr(valid.get(), QZ_XMLNODE_ELEMENT);
    QZ_XMLReaderSetNameConstr(valid.get(), "b");
    ASSERT_TRUE(QZ_XMLReaderReadValid(valid.get()));
    EXPECT_STREQ(XMLReaderGetValue(valid.get()), "x");
}

TEST(XmlReaderStream, CDataCommentsProcessingInstructionsDocType) {
    EXPECT_EQ(StreamOf("<!DOCTYPE r><r>a<![CDATA[<b>&]]>c<!--n--><?t d e?></r>"),
              "!:r|E:r|T:a|D:<b>&|T:c|C:n|P:t=d e|/r");
    EXPECT_EQ(StreamOf("<?t?><r/>"), "P:t=|E:r=");
}

TEST(XmlReaderStream, ChunkTextCutsLongText) {
    const std::string text(12000, 'x');
    Reader reader;
    QZ_XMLReaderSetChunkText(reader.get(), 1);
    QZ_XMLReaderOpenFromString(reader.get(), ("<r>" + text + "</r>").c_str());
    std::string lengths;
    while (QZ_XMLReaderRead(reader.get()))
        if (QZ_XMLReaderGetNodeType(reader.get()) == QZ_XMLNODE_TEXT)
            lengths += std::to_string(std::strlen(XMLReaderGetValue(reader.get()))) + ",";
    EXPECT_EQ(lengths, "5120,5120,1760,");

    // Never in the middle of a character: each chunk converts on its own.
    std::string accents;
    for (int i = 0; i < 3000; ++i) accents += "\xC3\xA9"; // 6000 bytes of e-acute
    Reader utf;
    QZ_XMLReaderSetChunkText(utf.get(), 1);
    QZ_XMLReaderOpenFromString(utf.get(), ("<r>a" + accents + "</r>").c_str());
    std::string joined;
    std::string sizes;
    while (QZ_XMLReaderRead(utf.get()))
        if (QZ_XMLReaderGetNodeType(utf.get()) == QZ_XMLNODE_TEXT) {
            sizes += std::to_string(std::strlen(XMLReaderGetValue(utf.get()))) + ",";
            joined += xrtest::Value(utf.get());
        }
    EXPECT_EQ(sizes, "5119,882,");
    EXPECT_EQ(joined, "a" + std::string(3000, '\xE9'));

    // A whitespace-only chunk that continues a text stays Text.
    Reader spaces;
    QZ_XMLReaderSetChunkText(spaces.get(), 1);
    QZ_XMLReaderSetRmWhite(spaces.get(), 0);
    QZ_XMLReaderOpenFromString(spaces.get(), ("<r>" + std::string(5120, 'y') + std::string(100, ' ') + "</r>").c_str());
    std::string types;
    while (QZ_XMLReaderRead(spaces.get())) types += std::to_string(QZ_XMLReaderGetNodeType(spaces.get())) + ",";
    EXPECT_EQ(types, "1,4,4,2,");
}

TEST(XmlReaderStream, EmptyAndMissingInput) {
    Reader empty;
    ASSERT_TRUE(QZ_XMLReaderOpenBuffer(empty.get(), "", 0));
    EXPECT_FALSE(QZ_XMLReaderRead(empty.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(empty.get()), 0);
    EXPECT_TRUE(QZ_XMLReaderGetEOF(empty.get()));

    Reader missing;
    EXPECT_FALSE(QZ_XMLReaderOpenBuffer(missing.get(), nullptr, 3));
    EXPECT_EQ(QZ_XMLReaderErrorCode(missing.get()), 4);
    EXPECT_EQ(xrtest::ErrorText(missing.get()), "Input error");

    Reader noFile;
    EXPECT_FALSE(QZ_XMLReaderOpen(noFile.get(), "/nonexistent/dir/doc.xml"));
    EXPECT_EQ(QZ_XMLReaderErrorCode(noFile.get()), 4);
    EXPECT_FALSE(QZ_XMLReaderRead(noFile.get()));
}

TEST(XmlReaderStream, ByteOrderMarkIsDropped) {
    EXPECT_EQ(StreamOf("\xEF\xBB\xBF<r>x</r>"), "E:r=x");
    // Also when the document is forced to a single-byte encoding, where the
    // three bytes would otherwise be characters before the root.
    Reader forced;
    QZ_XMLReaderSetDocumentEncoding(forced.get(), "ISO-8859-1");
    QZ_XMLReaderOpenFromString(forced.get(), "\xEF\xBB\xBF<r>x</r>");
    EXPECT_EQ(xrtest::Stream(forced.get()), "E:r=x");
    EXPECT_EQ(QZ_XMLReaderErrorCode(forced.get()), 0);
}

TEST(XmlReaderStream, SmallBlocksGiveTheSameStream) {
    const std::string doc =
        "<?xml version='1.0'?>\n<!DOCTYPE r>\n<r a='1'>\n  <x>one</x>\n  <y>t<![CDATA[c]]>u</y>\n"
        "  <!-- note -->\n  <z/>\n</r>\n";
    const std::string expected = StreamOf(doc);
    EXPECT_EQ(expected, "!:r|E:r@a=1|E:x=one|E:y|T:t|D:c|T:u|/y|C: note |E:z=|/r");
    for (uint32_t block : {2u, 3u, 7u, 16u, 64u}) {
        Reader reader(block, 4);
        QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
        EXPECT_EQ(xrtest::Stream(reader.get()), expected) << "block " << block;
        EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0) << "block " << block;
    }
}

TEST(XmlReaderStream, SkipMovesPastTheElement) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a><b>1</b><c><d/></c></a><e>2</e></r>");
    QZ_XMLReaderRead(reader.get());
    QZ_XMLReaderRead(reader.get());
    ASSERT_EQ(xrtest::Name(reader.get()), "a");
    EXPECT_TRUE(QZ_XMLReaderSkip(reader.get()));
    EXPECT_EQ(xrtest::Describe(reader.get()), "E:e=2");
    // Skip of a simple element moves past it alone.
    EXPECT_TRUE(QZ_XMLReaderSkip(reader.get()));
    EXPECT_EQ(xrtest::Describe(reader.get()), "/r");
    EXPECT_FALSE(QZ_XMLReaderSkip(reader.get())); // not on an element
}

TEST(XmlReaderStream, ReadRawXmlReserialisesTheSubtree) {
    Reader reader;
    QZ_XMLReaderOpenFromString(reader.get(), "<r><a k=\"v&amp;\"><b>t</b></a><n/></r>");
    QZ_XMLReaderRead(reader.get());
    QZ_XMLReaderRead(reader.get());
    EXPECT_STREQ(QZ_XMLReaderReadRawXML(reader.get()), "<a k=\"v&amp;\">\n\t<b>t</b>\n</a>\n");
    EXPECT_EQ(xrtest::Describe(reader.get()), "E:n=");

    Reader mixed;
    QZ_XMLReaderSetNodeEncoding(mixed.get(), "ANSI");
    QZ_XMLReaderOpenFromString(mixed.get(), "<r><a>\nx\xC3\xA9<!--c--><?p d?><![CDATA[z]]></a></r>");
    QZ_XMLReaderRead(mixed.get());
    QZ_XMLReaderRead(mixed.get());
    char buffer[200];
    EXPECT_STREQ(QZ_XMLReaderReadRawXMLBuf(mixed.get(), buffer, 199),
                 "<a>\nx\xE9<!--c-->\n<?p d?>\n<![CDATA[z]]>\n</a>\n");
    EXPECT_STREQ(QZ_XMLReaderReadRawXMLBuf(mixed.get(), buffer, 5), ""); // on </r>: not an element
}

TEST(XmlReaderStream, EverythingGoesBackToThePool) {
    QZ_MemPool *pool = QZ_GetDefaultPool();
    const uint32_t before = pool->count;
    QZ_XmlReader *reader = QZ_XMLReaderCreate();
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader), 0);
    QZ_XMLReaderSetProxyHost(reader, "proxy");
    QZ_XMLReaderOpenFromString(reader, "<!DOCTYPE r [<!NOTATION n SYSTEM 'v'><!ENTITY u SYSTEM 'x' NDATA n>]>"
                                       "<r><a>1</a>text<b/></r>");
    QZ_XMLReaderRead(reader);
    QZ_XMLReaderRead(reader);
    QZ_XMLReaderReadRawXML(reader);
    // Reopening replaces the string copy and the document.
    QZ_XMLReaderOpenFromString(reader, std::string(10000, ' ').append("<r/>").c_str());
    EXPECT_EQ(xrtest::Stream(reader), "E:r=");
    QZ_XMLReaderDestroy(reader);
    EXPECT_EQ(pool->count, before);
}
