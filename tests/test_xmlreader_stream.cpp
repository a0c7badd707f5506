// Node streams of small documents, byte for byte, and the options that shape them.

#include <expat.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "qz/qzhttprequest.h"
#include "qz/qzpgmmem.h"
#include "support/qz_test_timing.h"
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

// Only the first U+FEFF of a document is a byte order mark: the parser
// removes it, and a second one is a character where none may stand.
TEST(XmlReaderStream, OnlyTheFirstMarkIsAMark) {
    Reader twice;
    QZ_XMLReaderOpenFromString(twice.get(), "\xEF\xBB\xBF\xEF\xBB\xBF<r>x</r>");
    EXPECT_EQ(xrtest::Stream(twice.get()), "");
    EXPECT_EQ(QZ_XMLReaderErrorCode(twice.get()), XML_ERROR_INVALID_TOKEN);
    EXPECT_EQ(twice->errorKind, QZ_XMLREADER_ERRKIND_EXPAT);

    // With an encoding that the parser takes byte by byte, the reader removes
    // the mark itself, once.
    for (const char *encoding : {"ANSI", "ISO-8859-1", "UTF-8", "US-ASCII"}) {
        Reader forced;
        QZ_XMLReaderSetDocumentEncoding(forced.get(), encoding);
        QZ_XMLReaderOpenFromString(forced.get(), "\xEF\xBB\xBF<r>x</r>");
        EXPECT_EQ(xrtest::Stream(forced.get()), "E:r=x") << encoding;
        EXPECT_EQ(QZ_XMLReaderErrorCode(forced.get()), 0) << encoding;
        Reader forcedTwice;
        QZ_XMLReaderSetDocumentEncoding(forcedTwice.get(), encoding);
        QZ_XMLReaderOpenFromString(forcedTwice.get(), "\xEF\xBB\xBF\xEF\xBB\xBF<r>x</r>");
        EXPECT_EQ(xrtest::Stream(forcedTwice.get()), "") << encoding;
        EXPECT_NE(QZ_XMLReaderErrorCode(forcedTwice.get()), 0) << encoding;
    }
    // A mark alone in a first block of three bytes is still the parser's.
    Reader tiny(4, 8);
    QZ_XMLReaderOpenFromString(tiny.get(), "\xEF\xBB\xBF<r>x</r>");
    EXPECT_EQ(xrtest::Stream(tiny.get()), "E:r=x");
}

// One token far larger than a block (an attribute, a comment, a text, a
// declaration) costs time in proportion to its size.
TEST(XmlReaderStream, LongTokensCostLinearTime) {
    const std::string big(20 * 1024 * 1024, 'a');
    const std::string docs[] = {
        "<r><e v='" + big + "'/></r>",
        "<r><!--" + big + "--></r>",
        "<r>" + big + "</r>",
        "<r><?pi " + big + "?></r>",
        "<r><![CDATA[" + big + "]]></r>",
        "<!DOCTYPE r [<!ENTITY e '" + big + "'>]><r/>",
    };
    for (const std::string &doc : docs) {
        const double start = qz_test::CpuSeconds();
        Reader reader;
        QZ_XMLReaderSetSimpleElements(reader.get(), 0);
        QZ_XMLReaderOpenFromString(reader.get(), doc.c_str());
        size_t longest = 0;
        while (QZ_XMLReaderRead(reader.get())) {
            const char *v = XMLReaderGetValue(reader.get());
            if (v == nullptr) v = XMLReaderGetAttributeValue(reader.get(), 1);
            if (v != nullptr) longest = std::max(longest, std::strlen(v));
        }
        const double seconds = qz_test::CpuSeconds() - start;
        EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0) << doc.substr(0, 12);
        if (doc[1] != '!') EXPECT_EQ(longest, big.size()) << doc.substr(0, 12);
        EXPECT_LT(seconds, 1.0 * qz_test::kTimeBudgetScale) << doc.substr(0, 12);
        std::printf("%.12s...: %.3f s\n", doc.c_str(), seconds);
    }
    // The request body goes through the same feed.
    {
        const std::string body = "<r><e v='" + big + "'/></r>";
        auto request = std::make_unique<QZ_HTTP_SrvReq>();
        QZ_HTTP_SrvReq_Init(request.get());
        QZ_CStr_SetText(&request->content, body.c_str());
        request->contentLength = static_cast<int32_t>(body.size());
        const double start = qz_test::CpuSeconds();
        Reader reader;
        ASSERT_TRUE(QZ_XMLReader_OpenRequest(reader.get(), request.get()));
        ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
        ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
        EXPECT_EQ(std::strlen(XMLReaderGetAttributeValue(reader.get(), 1)), big.size());
        EXPECT_LT(qz_test::CpuSeconds() - start,
                  1.0 * qz_test::kTimeBudgetScale);
        QZ_HTTP_SrvReq_Free(request.get());
    }
    // Blocks of one byte: the feed grows all the same.
    const std::string attribute = "<r v='" + std::string(300 * 1024, 'b') + "'/>";
    const double start = qz_test::CpuSeconds();
    Reader tiny(2, 8);
    QZ_XMLReaderOpenFromString(tiny.get(), attribute.c_str());
    ASSERT_TRUE(QZ_XMLReaderRead(tiny.get()));
    EXPECT_EQ(std::strlen(XMLReaderGetAttributeValue(tiny.get(), 1)), 300u * 1024);
    EXPECT_FALSE(QZ_XMLReaderRead(tiny.get()));
    EXPECT_EQ(QZ_XMLReaderErrorCode(tiny.get()), 0);
    const double seconds = qz_test::CpuSeconds() - start;
    EXPECT_LT(seconds, 1.0 * qz_test::kTimeBudgetScale);
}

// The program still sees reads of the block size, however much goes to the
// parser at once, and the reader still stops reading once a node is complete.
TEST(XmlReaderStream, ReadsKeepTheBlockSize) {
    struct Source {
        std::string text;
        size_t at = 0;
        std::vector<uint32_t> asked;
    };
    auto read = [](void *handle, char *buffer, uint32_t wanted, uint32_t *delivered) -> QZ_Flag {
        auto *s = static_cast<Source *>(handle);
        s->asked.push_back(wanted);
        const size_t n = std::min<size_t>(wanted, s->text.size() - s->at);
        std::memcpy(buffer, s->text.data() + s->at, n);
        s->at += n;
        *delivered = static_cast<uint32_t>(n);
        return 1;
    };
    auto close = [](void *) -> QZ_Flag { return 1; };
    Source source;
    source.text = "<r><a v='" + std::string(100000, 'v') + "'/>";
    for (int i = 0; i < 50000; ++i) source.text += "<b>text</b>";
    source.text += "</r>";
    Reader reader(1000, 1000);
    QZ_XMLReaderParametricOpen(reader.get(), &source, read, close, "");
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_EQ(std::strlen(XMLReaderGetAttributeValue(reader.get(), 1)), 100000u);
    for (uint32_t wanted : source.asked) EXPECT_EQ(wanted, 999u);
    // Far fewer reads than the whole document: the long token made the feed
    // grow, and once it was parsed the feed went back to one block.
    EXPECT_LT(source.at, 400000u);
    const size_t before = source.asked.size();
    ASSERT_TRUE(QZ_XMLReaderRead(reader.get()));
    EXPECT_LE(source.asked.size(), before + 1);
    int nodes = 1;
    while (QZ_XMLReaderRead(reader.get())) ++nodes;
    EXPECT_EQ(nodes, 50000 + 1); // the b elements and the end of r
    EXPECT_EQ(QZ_XMLReaderErrorCode(reader.get()), 0);
}

// Elements nested without end end the document with the reader's own error.
TEST(XmlReaderStream, NestingDepthIsLimited) {
    auto nested = [](int depth) {
        std::string doc;
        for (int i = 0; i < depth; ++i) doc += "<a>";
        for (int i = 0; i < depth; ++i) doc += "</a>";
        return doc;
    };
    Reader deep;
    EXPECT_EQ(QZ_XMLReaderGetMaxDepth(deep.get()), 10000);
    QZ_XMLReaderOpenFromString(deep.get(), nested(10000).c_str());
    int nodes = 0;
    while (QZ_XMLReaderRead(deep.get())) ++nodes;
    EXPECT_EQ(QZ_XMLReaderErrorCode(deep.get()), 0);
    EXPECT_EQ(nodes, 2 * 10000 - 1); // the innermost element is simple

    Reader deeper;
    QZ_XMLReaderOpenFromString(deeper.get(), nested(10001).c_str());
    while (QZ_XMLReaderRead(deeper.get())) {
    }
    EXPECT_EQ(QZ_XMLReaderErrorCode(deeper.get()), QZ_XMLREADER_ERR_DEPTH);
    EXPECT_EQ(xrtest::ErrorText(deeper.get()), "Elements nested too deep");

    // Raw XML of such a document ends with the error too, not with output
    // that grows with the square of the depth.
    Reader raw;
    QZ_XMLReaderSetMaxDepth(raw.get(), 50);
    EXPECT_EQ(QZ_XMLReaderGetMaxDepth(raw.get()), 50);
    std::string padding;
    while (padding.size() < 20000) padding += "<p>x</p>";
    QZ_XMLReaderOpenFromString(raw.get(), ("<r>" + padding + nested(60) + "</r>").c_str());
    ASSERT_TRUE(QZ_XMLReaderRead(raw.get()));
    EXPECT_STREQ(QZ_XMLReaderReadRawXML(raw.get()), "");
    EXPECT_EQ(QZ_XMLReaderErrorCode(raw.get()), QZ_XMLREADER_ERR_DEPTH);

    // 0 turns the limit off; a reopened document starts at depth 0.
    Reader unlimited;
    QZ_XMLReaderSetMaxDepth(unlimited.get(), 0);
    QZ_XMLReaderOpenFromString(unlimited.get(), nested(20000).c_str());
    while (QZ_XMLReaderRead(unlimited.get())) {
    }
    EXPECT_EQ(QZ_XMLReaderErrorCode(unlimited.get()), 0);
    Reader again;
    QZ_XMLReaderSetMaxDepth(again.get(), 3);
    for (int i = 0; i < 3; ++i) {
        QZ_XMLReaderOpenFromString(again.get(), nested(3).c_str());
        EXPECT_EQ(xrtest::Stream(again.get()), "E:a|E:a|E:a=|/a|/a");
    }
    EXPECT_EQ(QZ_XMLReaderErrorCode(again.get()), 0);
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
